#include "core/checker.h"
#include "core/identity.h"
#include "core/settingsstore.h"
#include "gui/appform.h"
#include "gui/messagebox.h"
#include "gui/newver.h"
#include "support/openedaddresses.h"
#include "support/qtprinters.h"
#include "support/scopedenv.h"
#include "support/tempconfighome.h"
#include "support/testhttpserver.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <chrono>

namespace {

QByteArray reply(const char* version) {
    return QByteArray("<version>") + version +
           "</version>\r\n<url>https://d.example/brindleaf.deb</url>\r\n\r\n<result>1</result>\r\n";
}

// The main window's side of the update check: the timer that starts and watches the
// worker, the notification switch and the notice, against a loopback service.
class UpdateCheckTest : public ::testing::Test {
protected:
    UpdateCheckTest() {
        // A modal message box would stop the test, so any message the window shows is
        // recorded here instead.
        setMessageSink([this](const ShownMessage& message) { messages << message.text; });
        form = std::make_unique<TAppForm>();
    }
    ~UpdateCheckTest() override {
        form.reset();
        setMessageSink({});
    }

    QString settingsFile() const {
        return settings::keyFilePath(settings::settingsKeyName("QUENLOW - Brindleaf"));
    }
    QString stored(const QString& name) const {
        return SettingsStore(settings::settingsKeyName("QUENLOW - Brindleaf")).readString(name);
    }
    QAction* switchItem() const { return form->findChild<QAction*>("UpdateNotifications1"); }
    QTimer* checkTimer() const { return form->findChild<QTimer*>("TimerChecker"); }
    static TNewVer* notice() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<TNewVer*>(window))
                return found;
        }
        return nullptr;
    }

    // The first tick starts the worker; a tick after it has finished acts on its results.
    void runCheck() {
        ASSERT_TRUE(checkTimer()->isActive());
        form->TimerCheckerTimer();
        QTRY_VERIFY_WITH_TIMEOUT(form->checkResults().finished.load(std::memory_order_acquire),
                                 30000);
        form->TimerCheckerTimer();
    }

    TemporaryConfigHome home;
    TestHttpServer server;
    ScopedEnv trust{"SSL_CERT_FILE", server.caCertificateFile()};
    ScopedEnv host{"BRINDLEAF_MAKER_HOST", server.hostAndPort()};
    OpenedAddresses opened;
    QStringList messages;
    std::unique_ptr<TAppForm> form;
};

} // namespace

TEST_F(UpdateCheckTest, SwitchIsDisabledUntilTheCheckHasRun) {
    EXPECT_TRUE(switchItem()->isChecked());
    EXPECT_FALSE(switchItem()->isEnabled());
    EXPECT_EQ(checkTimer()->interval(), 1000);
    EXPECT_TRUE(checkTimer()->isActive());
}

TEST_F(UpdateCheckTest, StoredSettingDecidesTheCheckMarkAndTheSwitchWritesIt) {
    const struct {
        const char* stored;
        bool checked;
        bool requested;
    } cases[] = {{"0", false, false}, {"1", true, true}, {"2", true, true}};
    server.setHandler([](const TestHttpServer::Request&) {
        return TestHttpServer::Reply::text(200, reply("1.4"));
    });
    for (const auto& c : cases) {
        const size_t before = server.requests().size();
        writeTextFile(settingsFile(), QStringLiteral("[Settings]\nShowUpdate=%1\n").arg(c.stored));
        form = std::make_unique<TAppForm>();
        runCheck();
        EXPECT_FALSE(checkTimer()->isActive()) << c.stored;
        EXPECT_TRUE(switchItem()->isEnabled()) << c.stored;
        EXPECT_EQ(switchItem()->isChecked(), c.checked) << c.stored;
        EXPECT_EQ(server.requests().size() - before, c.requested ? 1u : 0u) << c.stored;
        EXPECT_EQ(notice(), nullptr) << c.stored;

        // Choosing the item flips the mark and stores the new setting for the next start.
        switchItem()->trigger();
        EXPECT_EQ(switchItem()->isChecked(), !c.checked) << c.stored;
        EXPECT_EQ(stored("ShowUpdate"), c.checked ? "0" : "1") << c.stored;
        switchItem()->trigger();
        EXPECT_EQ(switchItem()->isChecked(), c.checked) << c.stored;
        EXPECT_EQ(stored("ShowUpdate"), c.checked ? "1" : "0") << c.stored;
        EXPECT_EQ(form->checkResults().showUpdate, QString(c.stored).toInt())
            << "the run's copy stays";
    }
}

TEST_F(UpdateCheckTest, NewVersionBringsUpTheNoticeOnce) {
    server.setHandler([](const TestHttpServer::Request&) {
        return TestHttpServer::Reply::text(200, reply("1.5"));
    });
    runCheck();
    EXPECT_FALSE(checkTimer()->isActive());
    EXPECT_TRUE(switchItem()->isEnabled());
    EXPECT_TRUE(switchItem()->isChecked());
    TNewVer* shown = notice();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->findChild<QLabel*>("Label2")->text(), "Click to download Brindleaf 1.5");
    QTRY_VERIFY(shown->isVisible());
    // A further tick makes no second notice.
    form->TimerCheckerTimer();
    int notices = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        notices += qobject_cast<TNewVer*>(window) != nullptr ? 1 : 0;
    EXPECT_EQ(notices, 1);

    auto* link = shown->findChild<QLabel*>("Label2");
    const QPoint at = link->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(link->mapToGlobal(at)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), QPointF(link->mapToGlobal(at)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(link, &press);
    QApplication::sendEvent(link, &release);
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl("https://d.example/brindleaf.deb")});
    EXPECT_FALSE(shown->isVisible());
}

TEST_F(UpdateCheckTest, SameVersionShowsNoNotice) {
    server.setHandler([](const TestHttpServer::Request&) {
        return TestHttpServer::Reply::text(200, reply("1.4"));
    });
    runCheck();
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(switchItem()->isEnabled());
    EXPECT_EQ(notice(), nullptr);
}

TEST_F(UpdateCheckTest, ClosingTheWindowDuringACheckNeitherWaitsNorCrashes) {
    server.setHandler(
        [](const TestHttpServer::Request&) { return TestHttpServer::Reply::silence(); });
    form->TimerCheckerTimer();
    QTRY_VERIFY_WITH_TIMEOUT(!server.requests().empty(), 30000);

    // The worker is waiting for a reply that never comes; the window, which owns the check,
    // goes as the program ends.
    const auto start = std::chrono::steady_clock::now();
    form.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(server.requests().size(), 1u);
}
