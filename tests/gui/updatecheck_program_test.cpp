#include "core/settingsstore.h"
#include "core/versioninfo.h"
#include "platform/machineid.h"
#include "platform/osdescription.h"
#include "support/formfields.h"
#include "support/qtprinters.h"
#include "support/tempconfighome.h"
#include "support/testhttpserver.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

// The real program on a private X server, its update check pointed at a loopback service.
namespace {

const QString program = QStringLiteral(BRINDLEAF_BIN_DIR "/brindleaf");

// Ends a started process when the test ends, whichever way it ends.
class ProcessGuard {
public:
    explicit ProcessGuard(QProcess& process) : m_process(process) {}
    ProcessGuard(const ProcessGuard&) = delete;
    ProcessGuard& operator=(const ProcessGuard&) = delete;
    ~ProcessGuard() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess& m_process;
};

// Polls a condition until it holds or the deadline passes, without touching an event loop.
template <typename Condition> bool waitFor(Condition condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    return true;
}

QString runTool(const QString& tool, const QStringList& arguments) {
    QProcess process;
    process.start(tool, arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

} // namespace

TEST(UpdateCheckProgram, AsksOnceStoresTheRunAndShowsTheNotice) {
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    const QString xwininfo = QStandardPaths::findExecutable("xwininfo");
    ASSERT_FALSE(xvfb.isEmpty()) << "Xvfb is missing: run scripts/install-deps";
    ASSERT_FALSE(xwininfo.isEmpty()) << "xwininfo is missing: run scripts/install-deps";
    const ProductIdentity product = readProductIdentity(program);

    TestHttpServer server;
    server.setHandler([](const TestHttpServer::Request&) {
        return TestHttpServer::Reply::text(
            200, "<version>99.1</version>\n<url>https://d.example/brindleaf.deb</url>\n\n"
                 "<result>1</result>\n");
    });

    // Xvfb picks a free display and names it on its standard output.
    QProcess display;
    display.start(xvfb,
                  {"-displayfd", "1", "-ac", "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
    const ProcessGuard displayGuard(display);
    ASSERT_TRUE(display.waitForStarted(10000));
    ASSERT_TRUE(waitFor(
        [&display] {
            display.waitForReadyRead(100);
            return display.canReadLine();
        },
        30000))
        << "Xvfb named no display";
    const QString displayName =
        QLatin1Char(':') + QString::fromLatin1(display.readLine().trimmed());

    QTemporaryDir home;
    const QString configHome = home.filePath("config");
    QProcessEnvironment environment;
    environment.insert("PATH", "/usr/bin:/bin");
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", configHome);
    environment.insert("XDG_DATA_HOME", home.filePath("data"));
    environment.insert("XDG_RUNTIME_DIR", home.path());
    environment.insert("DISPLAY", displayName);
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("LANG", "de_DE.UTF-8");
    environment.insert("BRINDLEAF_MAKER_HOST", server.hostAndPort());
    environment.insert("SSL_CERT_FILE", server.caCertificateFile());
    QProcess app;
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(program, {});
    const ProcessGuard appGuard(app);
    ASSERT_TRUE(app.waitForStarted(10000));

    // One request, about a second after the window appears, with the exact fields.
    ASSERT_TRUE(waitFor([&server] { return !server.requests().empty(); }, 60000))
        << "no request reached the service";
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].secure);
    EXPECT_EQ(requests[0].path(), "/php/check2.php");
    EXPECT_EQ(
        decodeFormLines(requests[0].body),
        QStringList({"cmd=check", "appname=" + product.fullTitle, "version=" + product.versionText,
                     "os=" + platform::operatingSystemDescription(), "local=de-DE",
                     "guid=" + platform::machineIdentifier().value, "howmany=1"}));

    // The notice: 320 x 68, 5 pixels from the top and right edges of the 1280 x 800 screen.
    static const QRegularExpression noticeWindow(
        QStringLiteral(R"((0x[0-9a-f]+) .*\b320x68\+955\+5\b)"));
    const bool shown = waitFor(
        [&] {
            const QString tree = runTool(xwininfo, {"-display", displayName, "-root", "-tree"});
            auto matches = noticeWindow.globalMatch(tree);
            while (matches.hasNext()) {
                const QString id = matches.next().captured(1);
                const QString info = runTool(xwininfo, {"-display", displayName, "-id", id});
                if (info.contains("Map State: IsViewable"))
                    return true;
            }
            return false;
        },
        30000);
    EXPECT_TRUE(shown) << "no update notice in the top right corner";

    // The run is stored for the next start.
    const QString settingsFile = configHome + "/SOFTWARE/Microsoft/VS/ServiceModules/" +
                                 settings::settingsKeyName(product.fullTitle) + ".ini";
    const QString text = readTextFile(settingsFile);
    EXPECT_TRUE(text.contains("\nHowMany=1\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nInstalledVersion=" + product.versionText + "\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("\nLastUpdateCheckCount=1\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nCurrentVersion=99.1\n")) << text.toStdString();
    const QLocale german(QStringLiteral("de_DE"));
    const QDate today = QDate::currentDate();
    EXPECT_TRUE(
        text.contains("\nLastUpdateCheck=" + german.toString(today, QLocale::ShortFormat)) ||
        text.contains("\nLastUpdateCheck=" +
                      german.toString(today.addDays(-1), QLocale::ShortFormat)))
        << text.toStdString();
    EXPECT_EQ(app.state(), QProcess::Running) << "the program ended early";
}
