// The launcher window in-process: its form as style sheets and harnesses see it, its texts from
// the installed translator, the launch frame, the modal result and the centring arithmetic.
#include "app/target.h"
#include "support/productdir.h"
#include "ui/launcher.h"
#include "update/updateinfo.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMetaMethod>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSpacerItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QTranslator>
#include <QWindow>

using launcher::Launcher;
using launcher::Target;
using launcher::UpdateInfo;

namespace {

// Answers a text id only in the context where the window must ask for it, so a lookup in the
// wrong context shows up as the raw id.
class IdTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
        int n) const override
    {
        Q_UNUSED(disambiguation)
        Q_UNUSED(n)
        return texts.value(QLatin1String(context) + QLatin1Char('|') + QLatin1String(sourceText));
    }
    bool isEmpty() const override { return false; }

    QHash<QString, QString> texts {
        { "launcher::Launcher|lic_product_version", "Version %1" },
        { "launcher::Launcher|lic_quit_btn", "Quit" },
        { "launcher::Launcher|lic_update_link", "Get %1 now" },
        { "LauncherClass|lic_launch_btn", "Start the product" },
        { "LauncherClass|lic_update_link", "form link text" },
        { "LauncherClass|Launcher", "form title" },
    };
};

const Qt::WindowFlags runFlags
    = Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::MSWindowsFixedSizeDialogHint;

// A Target as main() builds it, from an empty settings file, with the fields a test needs.
struct Fixture {
    QTemporaryDir dir;
    QSettings settings { dir.filePath("empty.ini"), QSettings::IniFormat };
    Target target { settings };
    UpdateInfo updateInfo;

    Fixture()
    {
        target.productName = QStringLiteral("Pellam Author");
        target.version = QStringLiteral("4.10");
    }
};

// How a test ends the window's modal run.
enum class Ending { LaunchButton, CloseButton, Escape, WindowSystemClose };

} // namespace

Q_DECLARE_METATYPE(Ending)

class tst_Launcher : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void widgetTree_data();
    void widgetTree();
    void layoutItems_data();
    void layoutItems();
    void formDetails();
    void texts_data();
    void texts();
    void updateLink_data();
    void updateLink();
    void launchFrame_data();
    void launchFrame();
    void result_data();
    void result();
    void centredPosition_data();
    void centredPosition();
    void shownCentred();

private:
    IdTranslator translator;
};

void tst_Launcher::initTestCase() { QVERIFY(QCoreApplication::installTranslator(&translator)); }

void tst_Launcher::cleanupTestCase() { QCoreApplication::removeTranslator(&translator); }

void tst_Launcher::cleanup()
{
    QStringList left;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        left << QString::fromLatin1(widget->metaObject()->className()) + QLatin1Char(' ')
                + widget->objectName();
    QVERIFY2(left.isEmpty(), qPrintable("top-level windows left over: " + left.join(", ")));
}

void tst_Launcher::widgetTree_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName"); // a layout's parent is its widget or outer layout

    const QList<QStringList> tree {
        { "verticalLayout", "QVBoxLayout", "LauncherClass" },
        { "groupBox", "QGroupBox", "LauncherClass" },
        { "verticalLayout_2", "QVBoxLayout", "groupBox" },
        { "horizontalLayout_5", "QHBoxLayout", "verticalLayout_2" },
        { "appImageLabel", "QLabel", "groupBox" },
        { "verticalLayout_7", "QVBoxLayout", "horizontalLayout_5" },
        { "titleLabel", "QLabel", "groupBox" },
        { "versionLabel", "QLabel", "groupBox" },
        { "updateLinkLabel", "QLabel", "groupBox" },
        { "label_2", "QLabel", "groupBox" },
        { "frame", "QFrame", "LauncherClass" },
        { "verticalLayout_8", "QVBoxLayout", "frame" },
        { "launchFrame", "QFrame", "frame" },
        { "verticalLayout_9", "QVBoxLayout", "launchFrame" },
        { "launchLayout", "QHBoxLayout", "verticalLayout_9" },
        { "launchButton", "QPushButton", "launchFrame" },
        { "bottomFrame", "QFrame", "frame" },
        { "verticalLayout_11", "QVBoxLayout", "bottomFrame" },
        { "horizontalLayout_3", "QHBoxLayout", "verticalLayout_11" },
        { "buttonBox", "QDialogButtonBox", "bottomFrame" },
    };
    for (const QStringList& row : tree)
        QTest::newRow(qPrintable(row[0])) << row[0] << row[1] << row[2];
}

void tst_Launcher::widgetTree()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);

    Fixture fixture;
    Launcher window(nullptr, runFlags, &fixture.target, &fixture.updateInfo);
    QCOMPARE(window.objectName(), QStringLiteral("LauncherClass"));
    QCOMPARE(window.metaObject()->className(), "launcher::Launcher");

    const QList<QObject*> found = window.findChildren<QObject*>(name);
    QVERIFY2(
        found.size() == 1, qPrintable(QString("%1 objects named %2").arg(found.size()).arg(name)));
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
    QVERIFY(found.first()->parent());
    QCOMPARE(found.first()->parent()->objectName(), parentName);
}

void tst_Launcher::layoutItems_data()
{
    QTest::addColumn<QString>("layoutName");
    QTest::addColumn<QStringList>("items"); // object names in order; "spacer" for a spacer item

    QTest::newRow("verticalLayout") << "verticalLayout" << QStringList { "groupBox", "frame" };
    QTest::newRow("verticalLayout_2") << "verticalLayout_2" << QStringList { "horizontalLayout_5" };
    QTest::newRow("horizontalLayout_5")
        << "horizontalLayout_5" << QStringList { "appImageLabel", "verticalLayout_7", "label_2" };
    QTest::newRow("verticalLayout_7")
        << "verticalLayout_7" << QStringList { "titleLabel", "versionLabel", "updateLinkLabel" };
    QTest::newRow("verticalLayout_8")
        << "verticalLayout_8" << QStringList { "launchFrame", "bottomFrame" };
    QTest::newRow("verticalLayout_9") << "verticalLayout_9" << QStringList { "launchLayout" };
    QTest::newRow("launchLayout") << "launchLayout" << QStringList { "launchButton" };
    QTest::newRow("verticalLayout_11")
        << "verticalLayout_11" << QStringList { "spacer", "horizontalLayout_3" };
    QTest::newRow("horizontalLayout_3") << "horizontalLayout_3" << QStringList { "buttonBox" };
}

void tst_Launcher::layoutItems()
{
    QFETCH(QString, layoutName);
    QFETCH(QStringList, items);

    Fixture fixture;
    Launcher window(nullptr, runFlags, &fixture.target, &fixture.updateInfo);
    const auto* layout = window.findChild<QLayout*>(layoutName);
    QVERIFY2(layout, qPrintable("no layout " + layoutName));

    QStringList actual;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget())
            actual << item->widget()->objectName();
        else if (item->layout())
            actual << item->layout()->objectName();
        else if (item->spacerItem())
            actual << QStringLiteral("spacer");
    }
    QCOMPARE(actual, items);
}

// The properties a vendor's style sheet or a screen reader notices when they are wrong.
void tst_Launcher::formDetails()
{
    Fixture fixture;
    Launcher window(nullptr, runFlags, &fixture.target, &fixture.updateInfo);

    QCOMPARE(window.windowFlags(), runFlags | Qt::Dialog);

    // What a harness reaching in through the meta-object finds: two private slots, nothing else.
    const QMetaObject& meta = Launcher::staticMetaObject;
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        QVERIFY2(
            method.methodType() == QMetaMethod::Slot && method.access() == QMetaMethod::Private,
            method.methodSignature().constData());
        methods << QString::fromLatin1(method.methodSignature());
    }
    QCOMPARE(methods, QStringList({ "launchStandard()", "update()" }));
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
    const QImage application(QStringLiteral(":/launcher/bitmaps/application.png"));
    const QImage tools(QStringLiteral(":/launcher/bitmaps/tools.png"));
    QVERIFY(!application.isNull() && !tools.isNull());
    QVERIFY2(!window.windowIcon().isNull(), "no window icon");
    // Both through QPixmap, whose premultiplied pixels differ slightly from the file's.
    QCOMPARE(window.windowIcon().pixmap(application.size()).toImage(),
        QPixmap::fromImage(application).toImage());

    const QList<QPair<QString, QImage>> pictures { { "appImageLabel", tools },
        { "label_2", application } };
    for (const auto& picture : pictures) {
        const auto* label = window.findChild<QLabel*>(picture.first);
        QVERIFY(label);
        const QPixmap shown = label->pixmap(Qt::ReturnByValue);
        QVERIFY2(!shown.isNull() && label->hasScaledContents(),
            qPrintable(picture.first + " shows no scaled picture"));
        QCOMPARE(label->maximumSize(), QSize(50, 50));
        QCOMPARE(shown.toImage(), QPixmap::fromImage(picture.second).toImage());
    }

    const auto* title = window.findChild<QLabel*>("titleLabel");
    const auto* launchButton = window.findChild<QPushButton*>("launchButton");
    QVERIFY(title && launchButton);
    QCOMPARE(title->font().pointSize(), 12);
    QCOMPARE(launchButton->font().pointSize(), 12);
    QCOMPARE(title->alignment(), Qt::AlignCenter);
    const auto* link = window.findChild<QLabel*>("updateLinkLabel");
    QVERIFY(link);
    QCOMPARE(link->alignment(), Qt::AlignHCenter | Qt::AlignBottom);
    QVERIFY2(link->openExternalLinks(), "a click on the link would not open the browser");

    const auto* buttonBox = window.findChild<QDialogButtonBox*>("buttonBox");
    QVERIFY(buttonBox);
    QCOMPARE(buttonBox->standardButtons(), QDialogButtonBox::Close);
    QCOMPARE(buttonBox->buttonRole(buttonBox->buttons().value(0)), QDialogButtonBox::RejectRole);

    const auto* launchLayout = window.findChild<QLayout*>("launchLayout");
    QVERIFY(launchLayout);
    QCOMPARE(launchLayout->contentsMargins().left(), 15);
    QCOMPARE(launchLayout->contentsMargins().right(), 15);
    QCOMPARE(window.layout()->contentsMargins(), QMargins());
    QCOMPARE(window.layout()->spacing(), 0);

    const auto* bottom = window.findChild<QLayout*>("verticalLayout_11");
    QVERIFY(bottom && bottom->count() > 0 && bottom->itemAt(0)->spacerItem());
    QSpacerItem* spacer = bottom->itemAt(0)->spacerItem();
    QCOMPARE(spacer->sizeHint(), QSize(20, 10));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::MinimumExpanding);
}

void tst_Launcher::texts_data()
{
    QTest::addColumn<QString>("productName");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("versionText");

    QTest::newRow("installed version") << "Pellam Author"
                                       << "4.10"
                                       << "Version 4.10";
    QTest::newRow("empty name and version") << ""
                                            << ""
                                            << "Version ";
    QTest::newRow("marker in the version is kept") << "P %1"
                                                   << "%2"
                                                   << "Version %2";
}

void tst_Launcher::texts()
{
    QFETCH(QString, productName);
    QFETCH(QString, version);
    QFETCH(QString, versionText);

    Fixture fixture;
    fixture.target.productName = productName;
    fixture.target.version = version;
    Launcher window(nullptr, runFlags, &fixture.target, &fixture.updateInfo);

    QVERIFY2(window.windowTitle().isEmpty(), qPrintable("title: " + window.windowTitle()));
    QCOMPARE(window.findChild<QLabel*>("titleLabel")->text(), productName);
    QCOMPARE(window.findChild<QLabel*>("versionLabel")->text(), versionText);
    QCOMPARE(window.findChild<QPushButton*>("launchButton")->text(),
        QStringLiteral("Start the product"));
    const auto* buttonBox = window.findChild<QDialogButtonBox*>("buttonBox");
    QVERIFY(buttonBox->button(QDialogButtonBox::Close));
    QCOMPARE(buttonBox->button(QDialogButtonBox::Close)->text(), QStringLiteral("Quit"));
}

void tst_Launcher::updateLink_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("newVersion");
    QTest::addColumn<QString>("linkText");

    QTest::newRow("address with a query") << "http://127.0.0.1/dl/quill?x=1&platform=windows"
                                          << "4.11"
                                          << "Get 4.11 now";
    QTest::newRow("markers in the address") << "http://h/a%1b%2c?q=%20"
                                            << "4.11"
                                            << "Get 4.11 now";
    QTest::newRow("marker in the version") << "http://h/d"
                                           << "%1"
                                           << "Get %1 now";
    QTest::newRow("empty version") << "http://h/d"
                                   << ""
                                   << "Get  now";
}

void tst_Launcher::updateLink()
{
    QFETCH(QString, url);
    QFETCH(QString, newVersion);
    QFETCH(QString, linkText);

    Fixture fixture;
    fixture.updateInfo.updateUrl = url;
    fixture.updateInfo.newVersion = newVersion;
    Launcher window(nullptr, runFlags, &fixture.target, &fixture.updateInfo);
    const auto* link = window.findChild<QLabel*>("updateLinkLabel");
    QVERIFY(link);
    QVERIFY2(!link->isHidden(), "the link is hidden although an address was reported");
    QCOMPARE(link->text(), QString("<a href=\"%1\">%2</a>").arg(url, linkText));

    // Read back as the label's rich text engine reads it: one anchor to the unchanged address.
    QTextDocument document;
    document.setHtml(link->text());
    QCOMPARE(document.toPlainText(), linkText.simplified()); // HTML collapses blanks
    const QTextBlock block = document.firstBlock();
    QVERIFY(block.begin() != block.end());
    QCOMPARE(block.begin().fragment().charFormat().anchorHref(), url);
}

void tst_Launcher::launchFrame_data()
{
    QTest::addColumn<QString>("entry"); // what lies under the name: "file", "dir" or nothing
    QTest::addColumn<QString>("nameForm"); // "absolute", "relative" (to the launcher), "backslash"
    QTest::addColumn<bool>("shown");

    QTest::newRow("file, absolute name") << "file"
                                         << "absolute" << true;
    QTest::newRow("file, relative name") << "file"
                                         << "relative" << true;
    QTest::newRow("file, backslashes") << "file"
                                       << "backslash" << true;
    QTest::newRow("missing file") << ""
                                  << "absolute" << false;
    QTest::newRow("missing file, relative name") << ""
                                                 << "relative" << false;
    QTest::newRow("directory of that name") << "dir"
                                            << "absolute" << false;
    QTest::newRow("empty name (-s)") << ""
                                     << "empty" << false;
}

void tst_Launcher::launchFrame()
{
    QFETCH(QString, entry);
    QFETCH(QString, nameForm);
    QFETCH(bool, shown);

    Fixture fixture;
    const QString path = fixture.dir.filePath("bin/qpr.exe");
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    if (entry == "file") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (entry == "dir") {
        QVERIFY(QDir().mkpath(path));
    }
    // Relative names are taken from the launcher's directory, here the test's own.
    const QString relative = QDir(QCoreApplication::applicationDirPath()).relativeFilePath(path);
    if (nameForm == "absolute")
        fixture.target.name = path;
    else if (nameForm == "relative")
        fixture.target.name = relative;
    else if (nameForm == "backslash")
        fixture.target.name = QString(relative).replace('/', '\\');

    Launcher window(nullptr, runFlags, &fixture.target, &fixture.updateInfo);
    auto* launchFrame = window.findChild<QFrame*>("launchFrame");
    auto* launchButton = window.findChild<QPushButton*>("launchButton");
    QVERIFY(launchFrame && launchButton);
    QCOMPARE(!launchFrame->isHidden(), shown);
    QVERIFY(!launchButton->isHidden());

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(launchButton->isVisible(), shown);
    // The 100-pixel request leaves the window as short as its contents allow, at its form width.
    QCOMPARE(window.size(), QSize(310, window.minimumSizeHint().height()));
    window.close();
}

void tst_Launcher::result_data()
{
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("starts");
    QTest::addColumn<int>("finishedSignals"); // only the dialog's own reject() emits finished()

    QTest::newRow("launch button") << Ending::LaunchButton << 1 << 1 << 0;
    QTest::newRow("Close button") << Ending::CloseButton << 0 << 0 << 0;
    QTest::newRow("Escape") << Ending::Escape << 0 << 0 << 1;
    QTest::newRow("window-system close") << Ending::WindowSystemClose << 0 << 0 << 0;
}

void tst_Launcher::result()
{
    QFETCH(Ending, ending);
    QFETCH(int, expected);
    QFETCH(int, starts);
    QFETCH(int, finishedSignals);

    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addRecorder());
    Fixture fixture;
    fixture.target.name = product.filePath("qpr.exe");
    fixture.target.arguments = QStringList { "one", "t w o" };

    Launcher window(nullptr, runFlags, &fixture.target, &fixture.updateInfo);
    QSignalSpy finished(&window, &QDialog::finished);
    bool acted = false;
    QTimer::singleShot(0, &window, [&] {
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        acted = true;
        switch (ending) {
        case Ending::LaunchButton:
            QTest::mouseClick(window.findChild<QPushButton*>("launchButton"), Qt::LeftButton);
            break;
        case Ending::CloseButton:
            QTest::mouseClick(
                window.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Close),
                Qt::LeftButton);
            break;
        case Ending::Escape:
            QTest::keyClick(window.focusWidget() ? window.focusWidget() : &window, Qt::Key_Escape);
            break;
        case Ending::WindowSystemClose: {
            // What the platform delivers when the title bar's close button is pressed.
            QVERIFY(window.windowHandle());
            QCloseEvent close;
            QCoreApplication::sendEvent(window.windowHandle(), &close);
            break;
        }
        }
    });
    // Ends a run that the action failed to end, with a result no real ending gives.
    QTimer::singleShot(10000, &window, [&] { window.done(99); });

    const int result = window.exec();
    QVERIFY2(acted, "the window's modal run ended before the test acted");
    QCOMPARE(result, expected);
    QVERIFY(window.isHidden());
    QCOMPARE(finished.count(), finishedSignals);

    if (starts) {
        const QList<QStringList> runs = product.recordedRuns(starts);
        QCOMPARE(runs.size(), starts);
        const QString launcherPath
            = QDir(product.path()).relativeFilePath(QCoreApplication::applicationFilePath());
        QCOMPARE(runs.first(), QStringList({ "?launcher=" + launcherPath, "one", "t w o" }));
    }
    QCOMPARE(product.settledRunCount(), starts);
}

void tst_Launcher::centredPosition_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("expected");

    const QRect fullHd(0, 0, 1920, 1040);
    QTest::newRow("312 x 140 on 1920 x 1040")
        << QRect(0, 0, 312, 140) << fullHd << QPoint(804, 450);
    QTest::newRow("313 x 141 on 1920 x 1040")
        << QRect(0, 0, 313, 141) << fullHd << QPoint(803, 449);
    QTest::newRow("only the frame's size counts")
        << QRect(-70, 9000, 312, 140) << fullHd << QPoint(804, 450);
    QTest::newRow("larger than the area")
        << QRect(0, 0, 1000, 700) << QRect(0, 0, 800, 560) << QPoint(0, 0);
    QTest::newRow("area not at the origin (task bar left and top)")
        << QRect(0, 0, 200, 100) << QRect(100, 50, 800, 600) << QPoint(400, 300);
    QTest::newRow("odd area not at the origin")
        << QRect(0, 0, 201, 101) << QRect(101, 51, 799, 599) << QPoint(400, 300);
    QTest::newRow("too wide only: x clamped, y centred")
        << QRect(0, 0, 1000, 100) << QRect(0, 0, 800, 560) << QPoint(0, 230);
    QTest::newRow("too tall only: y clamped, x centred")
        << QRect(0, 0, 100, 700) << QRect(0, 0, 800, 560) << QPoint(350, 0);
    QTest::newRow("area left of the origin")
        << QRect(0, 0, 300, 100) << QRect(-1920, 0, 1920, 1080) << QPoint(0, 490);
    // The corner sums overflow 32 bits here.
    QTest::newRow("area far from the origin")
        << QRect(0, 0, 312, 140) << QRect(2000000000, 2000000000, 100000000, 100000000)
        << QPoint(2049999844, 2049999930);
}

void tst_Launcher::centredPosition()
{
    QFETCH(QRect, frame);
    QFETCH(QRect, available);
    QFETCH(QPoint, expected);

    QCOMPARE(launcher::centredPosition(frame, available), expected);
}

void tst_Launcher::shownCentred()
{
    Fixture fixture;
    Launcher window(nullptr, runFlags, &fixture.target, &fixture.updateInfo);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect frame = window.frameGeometry();
    QCOMPARE(frame.topLeft(), launcher::centredPosition(frame, available));
    const QPoint offset = frame.center() - available.center();
    QVERIFY2(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1,
        qPrintable(QString("frame centre %1,%2 off the area's centre by %3,%4")
                       .arg(frame.center().x())
                       .arg(frame.center().y())
                       .arg(offset.x())
                       .arg(offset.y())));
    window.close();
}

QTEST_MAIN(tst_Launcher)
#include "tst_launcher.moc"
