// The update offer: which reports lead to a question, what the user's store remembers, what the
// browser is given, and that the launch goes on. The download server is one the test starts; the
// question is answered through the launcher's seam (and once through the real message box); the
// browser is caught with QDesktopServices' URL handlers. The user's settings live in a temporary
// configuration directory for the whole run.
#include "app/run.h"
#include "app/target.h"
#include "fakeserver.h"
#include "support/browser.h"
#include "support/ownsettings.h"
#include "support/productdir.h"
#include "ui/launcher.h"
#include "update/checkupdate.h"
#include "update/updateinfo.h"
#include "update/updateoffer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QTranslator>

#include <memory>

namespace {

// Answers the question's text as a product's string table would.
class Strings : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (qstrcmp(context, "QObject") == 0 && qstrcmp(sourceText, "lic_update_question") == 0)
            return QStringLiteral("Open the download page now?");
        // The window's texts, so that their place markers are filled.
        if (qstrcmp(sourceText, "lic_update_link") == 0
            || qstrcmp(sourceText, "lic_product_version") == 0)
            return QStringLiteral("%1");
        return QString();
    }
};

struct Question {
    QString title;
    QString text;
    QStringList storeFileWhenAsked;
};

// The user's store of offered versions, opened as the launcher opens it.
struct Store : QSettings {
    Store()
        : QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Nimbrel"),
            QStringLiteral("Update"))
    {
    }
};

QString storedVersion(const QString& locale, const QString& product)
{
    return Store().value(locale + '/' + product + QStringLiteral("/version")).toString();
}

// The store's file, known before anything is stored.
QString storeFile;

// The lines of the store's file as they are on disk. Read directly: opening another QSettings on
// the file would write changes that are still pending.
QStringList storeFileLines()
{
    QFile file(storeFile);
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QRegExp(QStringLiteral("[\\r\\n]+")));
}

} // namespace

class tst_UpdateOffer : public QObject {
    Q_OBJECT

public:
    explicit tst_UpdateOffer(const QString& configHome)
        : configHome(configHome)
    {
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void offer_data();
    void offer();
    void downloadPage_data();
    void downloadPage();
    void noCheck_data();
    void noCheck();
    void laterRuns();
    void separateEntries();
    void messageBox_data();
    void messageBox();
    void launchGoesOn();

private:
    // The Target as the built-in settings would give it.
    std::unique_ptr<launcher::Target> makeTarget(const QString& locale = QStringLiteral("en_US"),
        const QString& product = QStringLiteral("quill"),
        const QString& version = QStringLiteral("4.10"));
    // Starts a server that reports `version` and `url` and points the check at it.
    std::unique_ptr<FakeServer> serve(const QString& version, const QString& url);
    // Runs the offer against the current server, answering the question (if any) with `answer`.
    launcher::UpdateInfo offer(
        const launcher::Target& target, QMessageBox::StandardButton answer = QMessageBox::No);

    QString configHome;
    QTemporaryDir scratch;
    Browser browser;
    Strings strings;
    QList<Question> questions;
};

void tst_UpdateOffer::initTestCase()
{
    QVERIFY(scratch.isValid());
    // Stops everything here rather than touch the real user's settings.
    Store store;
    QVERIFY2(store.fileName().startsWith(configHome + '/'), qPrintable(store.fileName()));
    storeFile = store.fileName();

    // Every scheme a hostile address might use, so that nothing ever reaches a real opener.
    for (const char* scheme :
        { "http", "https", "file", "javascript", "ftp", "data", "steam", "applications" })
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &browser, "open");
    QCoreApplication::installTranslator(&strings);
}

void tst_UpdateOffer::init()
{
    questions.clear();
    browser.opened.clear();
    QFile::remove(storeFile);
}

void tst_UpdateOffer::cleanup()
{
    launcher::setQuestionHandler(nullptr);
    launcher::setUpdateBaseUrl(QString());
}

std::unique_ptr<launcher::Target> tst_UpdateOffer::makeTarget(
    const QString& locale, const QString& product, const QString& version)
{
    const QString path = scratch.filePath(QStringLiteral("settings.ini"));
    QFile::remove(path);
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("target"));
    settings.setValue(QStringLiteral("product_name"), QStringLiteral("Pellam Author"));
    settings.setValue(QStringLiteral("product"), product);
    settings.setValue(QStringLiteral("version"), version);
    settings.setValue(QStringLiteral("locale"), locale);
    settings.setValue(QStringLiteral("name"), QStringLiteral("qpr.exe"));
    settings.endGroup();
    return std::make_unique<launcher::Target>(settings);
}

std::unique_ptr<FakeServer> tst_UpdateOffer::serve(const QString& version, const QString& url)
{
    const QByteArray body = "new_version=" + version.toUtf8() + "\r\nurl=" + url.toUtf8() + "\r\n";
    auto server = std::make_unique<FakeServer>(
        FakeServer::Answer, FakeServer::httpResponse(200, "OK", body));
    launcher::setUpdateBaseUrl(server->baseUrl());
    return server;
}

launcher::UpdateInfo tst_UpdateOffer::offer(
    const launcher::Target& target, QMessageBox::StandardButton answer)
{
    launcher::setQuestionHandler([&](const QString& title, const QString& text) {
        questions << Question { title, text, storeFileLines() };
        return answer;
    });
    launcher::UpdateInfo updateInfo;
    launcher::CheckUpdate checkUpdate;
    launcher::offerNewerVersion(checkUpdate, target, updateInfo);
    return updateInfo;
}

void tst_UpdateOffer::offer_data()
{
    QTest::addColumn<QString>("stored"); // before the run; empty: no entry
    QTest::addColumn<QString>("reportedVersion");
    QTest::addColumn<QString>("reportedUrl");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("storedAfter");
    QTest::addColumn<QString>("updateUrl"); // empty: no download page, UpdateInfo stays empty
    QTest::addColumn<bool>("opened");

    const QString page = QStringLiteral("http://dl.example/quill");
    const QString offered = QStringLiteral("http://dl.example/quill?platform=windows");

    QTest::newRow("first report, Yes")
        << ""
        << "4.11" << page << true << true << "4.11" << offered << true;
    QTest::newRow("first report, No")
        << ""
        << "4.11" << page << false << true << "4.11" << offered << false;
    QTest::newRow("already offered")
        << "4.11"
        << "4.11" << page << true << false << "4.11" << offered << false;
    QTest::newRow("another version")
        << "4.11"
        << "4.12" << page << false << true << "4.12" << offered << false;
    QTest::newRow("case differs") << "4.11-rc"
                                  << "4.11-RC" << page << false << true << "4.11-RC" << offered
                                  << false;
    // An empty stored value never counts as offered.
    QTest::newRow("empty reported version")
        << ""
        << "" << page << false << true << "" << offered << false;
    QTest::newRow("lower version") << ""
                                   << "4.9" << page << false << true << "4.9" << offered << false;
    QTest::newRow("same version as installed") << ""
                                               << "4.10" << page << true << false << ""
                                               << "" << false;
    QTest::newRow("address with a query")
        << ""
        << "4.11"
        << "http://dl.example/get?id=7&lang=de" << true << true << "4.11"
        << "http://dl.example/get?id=7&lang=de&platform=windows" << true;
    QTest::newRow("platform already there stays, ours follows")
        << ""
        << "4.11"
        << "https://dl.example/get?platform=mac" << true << true << "4.11"
        << "https://dl.example/get?platform=mac&platform=windows" << true;
    QTest::newRow("fragment") << ""
                              << "4.11"
                              << "http://dl.example/p#top" << true << true << "4.11"
                              << "http://dl.example/p?platform=windows#top" << true;
    QTest::newRow("upper-case scheme") << ""
                                       << "4.11"
                                       << "HTTPS://dl.example/Q" << true << true << "4.11"
                                       << "https://dl.example/Q?platform=windows" << true;
    QTest::newRow("tolerant parse") << ""
                                    << "4.11"
                                    << "http://dl.example/a b?q=%" << true << true << "4.11"
                                    << "http://dl.example/a b?q=%25&platform=windows" << true;
}

void tst_UpdateOffer::offer()
{
    QFETCH(QString, stored);
    QFETCH(QString, reportedVersion);
    QFETCH(QString, reportedUrl);
    QFETCH(bool, yes);
    QFETCH(bool, asked);
    QFETCH(QString, storedAfter);
    QFETCH(QString, updateUrl);
    QFETCH(bool, opened);

    if (!stored.isEmpty())
        Store().setValue("en_US/quill/version", stored);
    const auto server = serve(reportedVersion, reportedUrl);
    QVERIFY(server->isListening());
    const auto target = makeTarget();

    const launcher::UpdateInfo updateInfo
        = offer(*target, yes ? QMessageBox::Yes : QMessageBox::No);

    QCOMPARE(server->requestTargets().size(), 1);
    QCOMPARE(updateInfo.updateUrl, updateUrl);
    QCOMPARE(updateInfo.newVersion, updateUrl.isEmpty() ? QString() : reportedVersion);
    QCOMPARE(questions.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(questions.first().title, QStringLiteral("Pellam Author"));
        QCOMPARE(questions.first().text, QStringLiteral("Open the download page now?"));
        QVERIFY2(questions.first().storeFileWhenAsked.contains("quill\\version=" + reportedVersion),
            "the version was not written before the question");
    }
    QCOMPARE(storedVersion("en_US", "quill"), storedAfter);
    QCOMPARE(browser.opened, opened ? QStringList { updateUrl } : QStringList());
}

// The reported address comes from an unauthenticated answer, so only web pages get through: the
// desktop's opener (through the question's Yes, or a click on the window's link) is only ever
// handed an http or https address, and every other address means no download page at all.
void tst_UpdateOffer::downloadPage_data()
{
    QTest::addColumn<QString>("reportedUrl");
    QTest::addColumn<QString>("updateUrl"); // empty: no download page

    QTest::newRow("http") << "http://dl.example/q"
                          << "http://dl.example/q?platform=windows";
    QTest::newRow("https, upper-case scheme") << "HTTPS://dl.example/Q"
                                              << "https://dl.example/Q?platform=windows";
    QTest::newRow("HTTP, upper-case scheme") << "HTTP://dl.example/q"
                                             << "http://dl.example/q?platform=windows";
    // Quotes and angle brackets come out percent-encoded, so the address cannot close the link's
    // attribute and add a link of its own.
    QTest::newRow("markup in the address")
        << "http://dl.example/a\"><a href=\"file:///etc/passwd\">x</a>"
        << "http://dl.example/a%22%3E%3Ca href=%22file:///etc/passwd%22%3Ex%3C/a%3E"
           "?platform=windows";
    for (const char* address : { "file:///etc/passwd", "FILE:///home/user/.bashrc",
             "file://localhost/etc/passwd", "javascript:alert(1)", "JaVaScRiPt:alert(1)",
             "javascript:alert(1)//http://dl.example/", "/usr/share/applications/evil.desktop",
             "evil.desktop", "applications:evil.desktop", "ftp://dl.example/quill",
             "data:text/html,<b>x</b>", "steam://run/1", " http://dl.example/",
             "\thttp://dl.example/", "\x0bhttp://dl.example/", "//dl.example/q" })
        QTest::newRow(
            qPrintable(QString::fromLatin1(address).replace('\t', "\\t").replace('\v', "\\v")))
            << address << "";
}

void tst_UpdateOffer::downloadPage()
{
    QFETCH(QString, reportedUrl);
    QFETCH(QString, updateUrl);

    const auto server = serve("4.11", reportedUrl);
    QVERIFY(server->isListening());
    auto target = makeTarget();
    const launcher::UpdateInfo updateInfo = offer(*target, QMessageBox::Yes);

    QCOMPARE(updateInfo.updateUrl, updateUrl);
    QCOMPARE(updateInfo.newVersion, updateUrl.isEmpty() ? QString() : QStringLiteral("4.11"));
    QCOMPARE(questions.size(), updateUrl.isEmpty() ? 0 : 1);
    QCOMPARE(browser.opened, updateUrl.isEmpty() ? QStringList() : QStringList { updateUrl });
    QCOMPARE(storedVersion("en_US", "quill"), updateUrl.isEmpty() ? QString() : "4.11");

    // The window built from what the offer left: no link at all, or one to the same web page.
    launcher::Launcher window(nullptr, Qt::Dialog, target.get(), &updateInfo);
    auto* link = window.findChild<QLabel*>("updateLinkLabel");
    QVERIFY(link);
    QTextDocument document;
    document.setHtml(link->text());
    QStringList anchors;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            if (fragment.fragment().charFormat().isAnchor())
                anchors << fragment.fragment().charFormat().anchorHref();
        }
    }
    if (updateUrl.isEmpty()) {
        QVERIFY2(link->isHidden(), qPrintable("a link is shown: " + link->text()));
        QCOMPARE(anchors, QStringList());
        return;
    }
    QVERIFY(!link->isHidden());
    QCOMPARE(anchors, QStringList { updateUrl });

    // A click on the link reaches the desktop's opener with that address.
    browser.opened.clear();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect text = link->contentsRect();
    QTest::mouseClick(link, Qt::LeftButton, {},
        QPoint(text.center().x(), text.bottom() - link->fontMetrics().height() / 2));
    QCOMPARE(browser.opened, QStringList { updateUrl });
}

void tst_UpdateOffer::noCheck_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("version");

    QTest::newRow("no version") << "en_US"
                                << "";
    QTest::newRow("no locale") << ""
                               << "4.10";
    QTest::newRow("neither") << ""
                             << "";
}

void tst_UpdateOffer::noCheck()
{
    QFETCH(QString, locale);
    QFETCH(QString, version);

    const auto server = serve("4.11", "http://dl.example/quill");
    QVERIFY(server->isListening());
    const auto target = makeTarget(locale, "quill", version);
    const launcher::UpdateInfo updateInfo = offer(*target, QMessageBox::Yes);

    QTest::qWait(100);
    QCOMPARE(server->connectionCount(), 0);
    QVERIFY(updateInfo.newVersion.isEmpty() && updateInfo.updateUrl.isEmpty());
    QVERIFY(questions.isEmpty());
    QVERIFY(browser.opened.isEmpty());
}

// One start after another: asked once per reported version, the link still there in between.
void tst_UpdateOffer::laterRuns()
{
    const auto target = makeTarget();
    const QString offered = QStringLiteral("http://dl.example/q?platform=windows");
    const struct {
        const char* reported;
        int questionsSoFar;
    } runs[] = { { "4.11", 1 }, { "4.11", 1 }, { "4.12", 2 }, { "4.12", 2 }, { "4.11", 3 } };
    for (const auto& run : runs) {
        const auto server = serve(run.reported, "http://dl.example/q");
        const launcher::UpdateInfo updateInfo = offer(*target, QMessageBox::No);
        QCOMPARE(updateInfo.newVersion, QString::fromLatin1(run.reported));
        QCOMPARE(updateInfo.updateUrl, offered);
        QVERIFY2(questions.size() == run.questionsSoFar,
            qPrintable(QStringLiteral("%1 questions after reporting %2")
                           .arg(questions.size())
                           .arg(run.reported)));
        QCOMPARE(storedVersion("en_US", "quill"), QString::fromLatin1(run.reported));
    }

    // An empty reported version is asked about at every start.
    for (int start = 1; start <= 2; ++start) {
        const auto server = serve("", "http://dl.example/q");
        questions.clear();
        offer(*target, QMessageBox::No);
        QVERIFY2(questions.size() == 1, qPrintable(QStringLiteral("start %1").arg(start)));
    }
}

void tst_UpdateOffer::separateEntries()
{
    const auto server = serve("4.11", "http://dl.example/q");
    for (const auto& pair : { std::make_pair("en_US", "quill"), std::make_pair("de_DE", "quill"),
             std::make_pair("en_US", "ink") }) {
        const auto target = makeTarget(pair.first, pair.second);
        const int before = questions.size();
        offer(*target);
        QVERIFY2(questions.size() == before + 1,
            qPrintable(QStringLiteral("%1/%2 was not asked").arg(pair.first, pair.second)));
    }

    Store store;
    QStringList keys = store.allKeys();
    keys.sort();
    QCOMPARE(
        keys, QStringList({ "de_DE/quill/version", "en_US/ink/version", "en_US/quill/version" }));
    // The locale is a group, the product a group inside it.
    QCOMPARE(store.childGroups(), QStringList({ "de_DE", "en_US" }));
}

void tst_UpdateOffer::messageBox_data()
{
    QTest::addColumn<bool>("clickYes");
    QTest::newRow("Yes") << true;
    QTest::newRow("Escape") << false;
}

// The real question box, answered as a person would.
void tst_UpdateOffer::messageBox()
{
    QFETCH(bool, clickYes);

    const auto server = serve("4.11", "http://dl.example/q");
    const auto target = makeTarget();
    QString problem = QStringLiteral("no message box was shown");
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        answerer.stop();
        problem.clear();
        if (box->icon() != QMessageBox::Information)
            problem += QStringLiteral(" icon %1;").arg(box->icon());
        if (box->standardButtons() != (QMessageBox::Yes | QMessageBox::No))
            problem += QStringLiteral(" buttons %1;").arg(int(box->standardButtons()));
        if (static_cast<QAbstractButton*>(box->defaultButton()) != box->button(QMessageBox::Yes))
            problem += QStringLiteral(" Yes is not the default;");
        if (box->windowTitle() != QLatin1String("Pellam Author"))
            problem += QStringLiteral(" title \"%1\";").arg(box->windowTitle());
        if (box->text() != QLatin1String("Open the download page now?"))
            problem += QStringLiteral(" text \"%1\";").arg(box->text());
        if (box->parentWidget())
            problem += QStringLiteral(" has a parent;");
        if (clickYes)
            box->button(QMessageBox::Yes)->click();
        else
            QTest::keyClick(box, Qt::Key_Escape);
    });
    answerer.start(20);

    launcher::UpdateInfo updateInfo;
    launcher::CheckUpdate checkUpdate;
    launcher::offerNewerVersion(checkUpdate, *target, updateInfo);

    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(browser.opened,
        clickYes ? QStringList { "http://dl.example/q?platform=windows" } : QStringList());
    QCOMPARE(storedVersion("en_US", "quill"), QStringLiteral("4.11"));
}

// The whole launch sequence: the question answered Yes, the page opened, and the product is
// still started, with the result of a direct start.
void tst_UpdateOffer::launchGoesOn()
{
    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addRecorder());
    const auto server = serve("4.11", "http://dl.example/q");
    auto target = makeTarget();
    target->name = product.filePath(QStringLiteral("qpr.exe"));
    target->arguments << QStringLiteral("-x");
    launcher::setQuestionHandler([this](const QString& title, const QString& text) {
        questions << Question { title, text, QStringList() };
        return QMessageBox::Yes;
    });

    QCOMPARE(launcher::run(*target, QString(), false), 1);

    QCOMPARE(questions.size(), 1);
    QCOMPARE(browser.opened, QStringList { "http://dl.example/q?platform=windows" });
    const QList<QStringList> runs = product.recordedRuns(1);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first().value(1), QStringLiteral("-x"));
}

int main(int argc, char* argv[]) { return execWithOwnSettings<tst_UpdateOffer>(argc, argv); }

#include "tst_updateoffer.moc"
