// The launcher window in-process: how each way of ending it ends, what its header and its link
// show (a reported version or address is text, never markup), the launch frame, the centring.
#include "app/target.h"
#include "ui/launcher.h"
#include "update/updateinfo.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QTranslator>
#include <QWindow>

class Texts : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char*, int) const override
    {
        const QString id = QString::fromLatin1(source);
        return QByteArray(context) != "launcher::Launcher" ? QString()
            : id == "lic_update_link"                      ? "Get %1"
            : id == "lic_product_version"                  ? "Version %1"
                                                           : QString();
    }
    bool isEmpty() const override { return false; }
};

class tst_Launcher : public QObject {
    Q_OBJECT

public slots:
    void open(const QUrl& url) { opened << url.toString(); }

private slots:
    void window_data();
    void window();
    void centring_data();
    void centring();

private:
    QStringList opened;
};

void tst_Launcher::window_data()
{
    QTest::addColumn<QString>("product"); // the executable's name in a throw-away directory
    QTest::addColumn<QString>("version"); // reported, with the download page `url`
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("end"); // how the window is ended
    QTest::addColumn<QString>("link"); // the link as shown; empty: hidden
    QTest::addColumn<int>("result"); // also the number of starts of the product

    const QString page = "http://d.example/?a=1&platform=windows";
    QTest::newRow("launch button") << "p.sh"
                                   << ""
                                   << ""
                                   << "launch"
                                   << "" << 1;
    QTest::newRow("launch button twice at once") << "p.sh"
                                                 << ""
                                                 << ""
                                                 << "launch launch"
                                                 << "" << 1;
    QTest::newRow("Close") << "p.sh"
                           << ""
                           << ""
                           << "close button"
                           << "" << 0;
    QTest::newRow("Escape") << "p.sh"
                            << ""
                            << ""
                            << "escape"
                            << "" << 0;
    QTest::newRow("closed by the window system") << "p.sh"
                                                 << ""
                                                 << ""
                                                 << "close"
                                                 << "" << 0;
    QTest::newRow("newer version") << "p.sh"
                                   << "4.11" << page << "close"
                                   << "Get 4.11" << 0;
    QTest::newRow("markup in the version")
        << "p.sh"
        << "4.11</a><br><a href=\"file:///bin/sh\">Install" << page << "close"
        << "Get 4.11</a><br><a href=\"file:///bin/sh\">Install" << 0;
    QTest::newRow("a picture in the version") << "p.sh"
                                              << "<img src=\"/dev/zero\">" << page << "close"
                                              << "Get <img src=\"/dev/zero\">" << 0;
    QTest::newRow("a quote in the address") << "p.sh"
                                            << "5" << page + "\"><b>x"
                                            << "close"
                                            << "Get 5" << 0;
    QTest::newRow("a link that is no web page") << "p.sh"
                                                << "5"
                                                << "file:///bin/sh"
                                                << "close"
                                                << "Get 5" << 0;
    QTest::newRow("missing product") << "missing"
                                     << ""
                                     << ""
                                     << "close"
                                     << "" << 0;
    QTest::newRow("a directory where the product goes") << "."
                                                        << ""
                                                        << ""
                                                        << "close"
                                                        << "" << 0;
    QTest::newRow("no product (-s)") << ""
                                     << ""
                                     << ""
                                     << "close"
                                     << "" << 0;
}

void tst_Launcher::window()
{
    QFETCH(QString, product);
    QFETCH(QString, url);
    QFETCH(QString, end);
    QFETCH(QString, link);
    QTemporaryDir dir;
    QFile script(dir.filePath("p.sh")); // leaves a file per start
    QVERIFY(script.open(QIODevice::WriteOnly)
        && script.write("#!/bin/sh\nmktemp \"$0.XXXX\" >/dev/null\n")
        && script.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    script.close();
    QSettings none(dir.filePath("none.ini"), QSettings::IniFormat);
    launcher::Target target(none);
    target.name = product.isEmpty() ? product : dir.filePath(product);
    target.productName = "Pellam Author";
    target.version = "4.10";
    QFETCH(QString, version);
    const launcher::UpdateInfo updateInfo { version, url };
    QCoreApplication::installTranslator(new Texts);

    launcher::Launcher window(nullptr, Qt::WindowTitleHint, &target, &updateInfo);
    window.show();
    QCOMPARE(window.findChild<QLabel*>("titleLabel")->text(), QString("Pellam Author"));
    QCOMPARE(window.findChild<QLabel*>("versionLabel")->text(), QString("Version 4.10"));
    QCOMPARE(window.findChild<QWidget*>("launchFrame")->isVisible(), product == "p.sh");
    QLabel* label = window.findChild<QLabel*>("updateLinkLabel");
    QCOMPARE(label->isVisible(), !link.isEmpty());
    QTextDocument shown;
    shown.setHtml(label->text());
    QStringList anchors;
    for (QTextBlock block = shown.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor()
                && !anchors.contains(it.fragment().charFormat().anchorHref()))
                anchors << it.fragment().charFormat().anchorHref();
    if (!link.isEmpty()) {
        QCOMPARE(shown.toPlainText(), link);
        QCOMPARE(anchors, QStringList { url });
        // A click on the link reaches the browser only with a web page.
        for (const char* scheme : { "http", "https", "file" })
            QDesktopServices::setUrlHandler(scheme, this, "open");
        opened.clear();
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
        QCOMPARE(
            opened, url.startsWith("http") ? QStringList { QUrl(url).toString() } : QStringList());
    }

    QTimer::singleShot(0, &window, [&] {
        QPushButton* button = window.findChild<QPushButton*>("launchButton");
        for (int i = 0; i < end.count("launch"); ++i) // clicks that arrive together
            QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
        if (end == "close button")
            window.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close)->click();
        if (end == "escape")
            QTest::keyClick(&window, Qt::Key_Escape);
        if (end == "close")
            window.windowHandle()->close();
    });
    QTEST(window.exec(), "result");
    QTest::qWait(300);
    QTEST(QDir(dir.path()).entryList({ "p.sh.*" }).size(), "result");
}

void tst_Launcher::centring_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("position");
    QTest::newRow("even") << QRect(7, 9, 312, 140) << QRect(0, 0, 1920, 1040) << QPoint(804, 450);
    QTest::newRow("odd") << QRect(0, 0, 313, 141) << QRect(0, 0, 1920, 1040) << QPoint(803, 449);
    QTest::newRow("larger than the area")
        << QRect(0, 0, 1000, 700) << QRect(0, 0, 800, 560) << QPoint(0, 0);
    QTest::newRow("area left of the origin")
        << QRect(0, 0, 100, 100) << QRect(-1920, 40, 1920, 1000) << QPoint(0, 490);
    QTest::newRow("far from the origin")
        << QRect(0, 0, 2, 2) << QRect(2147483000, 0, 600, 2) << QPoint(2147483299, 0);
}

void tst_Launcher::centring()
{
    QFETCH(QRect, frame);
    QFETCH(QRect, available);
    QTEST(launcher::centredPosition(frame, available), "position");
}

QTEST_MAIN(tst_Launcher)
#include "tst_launcher.moc"
