#include "core/apperror.h"
#include "core/checker.h"
#include "core/settingsstore.h"
#include "core/urlscrambler.h"
#include "support/formfields.h"
#include "support/qtprinters.h"
#include "support/scopedenv.h"
#include "support/tempconfighome.h"
#include "support/testhttpserver.h"

#include <QDir>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>

namespace {

const QString title = QStringLiteral("QUENLOW - Brindleaf");
const QString today = QStringLiteral("10/12/2026");
const QString yesterday = QStringLiteral("09/12/2026");

QByteArray reply(const QString& version, const QString& url = QStringLiteral("http://d.example/x"),
                 const QString& result = QStringLiteral("1")) {
    return QStringLiteral(
               "<version>%1</version>\r\n<url>%2</url>\r\nnews\r\n<result>%3</result>\r\n")
        .arg(version, url, result)
        .toUtf8();
}

CheckInputs testInputs() {
    CheckInputs inputs;
    inputs.fullTitle = [] { return title; };
    inputs.versionText = [] { return QStringLiteral("1.4"); };
    inputs.today = [] { return today; };
    inputs.localeName = [] { return QStringLiteral("en-GB"); };
    inputs.machineId = [] { return QStringLiteral("0123456789abcdef0123456789abcdef"); };
    inputs.osDescription = [] {
        return QStringLiteral("Test OS 1 (Version 6.1, Build 0, 64-bit Edition)");
    };
    inputs.timeoutMs = 10000;
    return inputs;
}

const QStringList expectedFields = {
    "cmd=check",   "appname=QUENLOW - Brindleaf",
    "version=1.4", "os=Test OS 1 (Version 6.1, Build 0, 64-bit Edition)",
    "local=en-GB", "guid=0123456789abcdef0123456789abcdef",
};

using Values = std::map<QString, QString>;

class CheckNowTest : public ::testing::Test {
protected:
    TemporaryConfigHome home;
    TestHttpServer server;
    ScopedEnv trust{"SSL_CERT_FILE", server.caCertificateFile()};
    ScopedEnv host{"BRINDLEAF_MAKER_HOST", server.hostAndPort()};
    CheckInputs inputs = testInputs();
    CheckResults results;

    QString settingsFile() const { return settings::keyFilePath(settings::settingsKeyName(title)); }

    void store(const Values& values) {
        QString text = QStringLiteral("[Settings]\n");
        for (const auto& [name, value] : values)
            text += name + QLatin1Char('=') + value + QLatin1Char('\n');
        writeTextFile(settingsFile(), text);
    }

    QString stored(const QString& name) const {
        return SettingsStore(settings::settingsKeyName(title)).readString(name);
    }

    void answer(QByteArray body) {
        server.setHandler([body](const TestHttpServer::Request&) {
            return TestHttpServer::Reply::text(200, body);
        });
    }

    void run() {
        CheckNow(results, inputs);
        ASSERT_TRUE(results.finished.load(std::memory_order_acquire));
    }
};

} // namespace

TEST(CheckReply, LinesSplitAtAnyLineBreak) {
    const struct {
        QString reply;
        QStringList lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n", {"a"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"\n", {""}},
        {"\r\r\n", {"", ""}},
        {QStringLiteral("a\nb") + QChar(0) + "\nc", {"a", "b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(checker::splitReplyLines(c.reply), c.lines) << c.reply.toStdString();
}

TEST(CheckReply, TagValueNeedsTheWholeLine) {
    const struct {
        const char* line;
        const char* value;
    } cases[] = {
        {"<version>1.5</version>", "1.5"},
        {"<version></version>", ""},
        {"<version>a<b>c</version>", "a<b>c"},
        {" <version>1.5</version>", ""},
        {"<version>1.5</version> ", ""},
        {"<VERSION>1.5</VERSION>", ""},
        {"<version>1.5", ""},
        {"<version>", ""},
        {"<version></version", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(checker::tagValue(c.line, "version"), QLatin1String(c.value)) << c.line;
}

TEST(CheckReply, VersionNumbersWithoutDots) {
    const struct {
        const char* text;
        bool number;
    } cases[] = {
        {"15", true},
        {"013", true},
        {"  15", true},
        {"-15", true},
        {"+15", true},
        {"2147483647", true},
        {"-2147483648", true},
        {"$1F", true},
        {"x1f", true},
        {"X1F", true},
        {"0x1F", true},
        {"0XFFFFFFFF", true},
        {"", false},
        {"  ", false},
        {"-", false},
        {"15 ", false},
        {"beta", false},
        {"1a", false},
        {"2147483648", false},
        {"12345678901", false},
        {"-2147483649", false},
        {"0x", false},
        {"$", false},
        {"0x100000000", false},
        {"\u0661\u0662", false}, // Arabic-Indic digits are not decimal digits here
        {"1,5", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(checker::isInt32Text(QString::fromUtf8(c.text)), c.number) << c.text;
}

TEST(CheckRequest, FieldsInOrderAndLocaleLeftOutWhenItFails) {
    CheckInputs inputs = testInputs();
    CheckLog log;
    EXPECT_EQ(checker::requestFields(inputs, "0123456789abcdef0123456789abcdef", 7, log),
              expectedFields + QStringList{"howmany=7"});
    EXPECT_FALSE(log.hasError());

    inputs.localeName = []() -> QString { throw AppError("no locale"); };
    QStringList withoutLocale = expectedFields + QStringList{"howmany=7"};
    withoutLocale.removeAll("local=en-GB");
    EXPECT_EQ(checker::requestFields(inputs, "0123456789abcdef0123456789abcdef", 7, log),
              withoutLocale);
    EXPECT_EQ(log.text(), "Error: LocaleName2 problem!");
}

TEST_F(CheckNowTest, FirstRunCreatesTheStoreAndAsksOnce) {
    answer(reply("1.5", "https://d.example/brindleaf-1.5.deb"));
    ASSERT_FALSE(QDir(home.path() + "/SOFTWARE").exists());
    run();
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].secure);
    EXPECT_EQ(requests[0].path(), "/php/check2.php");
    EXPECT_EQ(decodeFormLines(requests[0].body), expectedFields + QStringList{"howmany=1"});
    EXPECT_EQ(stored("HowMany"), "1");
    EXPECT_EQ(stored("InstalledVersion"), "1.4");
    EXPECT_EQ(stored("LastUpdateCheck"), today);
    EXPECT_EQ(stored("LastUpdateCheckCount"), "1");
    EXPECT_EQ(stored("CurrentVersion"), "1.5");
    EXPECT_EQ(urlscrambler::unscramble(stored("CurrentURL")),
              "https://d.example/brindleaf-1.5.deb");
    EXPECT_NE(stored("CurrentURL"), "https://d.example/brindleaf-1.5.deb");
    EXPECT_EQ(stored("ShowUpdate"), QString()) << "only the switch writes it";
    EXPECT_TRUE(results.newVersion);
    EXPECT_EQ(results.offeredVersion, "1.5");
    EXPECT_EQ(results.downloadAddress, "https://d.example/brindleaf-1.5.deb");
    EXPECT_EQ(results.showUpdate, 1);
    EXPECT_EQ(results.log.text(), QString());
}

TEST_F(CheckNowTest, RunCounterRestartsWithAnotherVersion) {
    const struct {
        Values before;
        const char* howMany;
    } cases[] = {
        {{{"HowMany", "7"}, {"InstalledVersion", "1.4"}}, "8"},
        {{{"HowMany", "7"}, {"InstalledVersion", "1.3"}}, "1"},
        {{{"HowMany", "7"}, {"InstalledVersion", "\"1.4 \""}},
         "1"}, // quoted: INI trims bare values
        {{{"HowMany", "-3"}, {"InstalledVersion", "1.4"}}, "1"},
        {{{"HowMany", "abc"}, {"InstalledVersion", "1.4"}}, "1"},
    };
    answer(reply("1.4"));
    for (const auto& c : cases) {
        store(c.before);
        run();
        EXPECT_EQ(stored("HowMany"), QLatin1String(c.howMany));
        EXPECT_EQ(stored("InstalledVersion"), "1.4");
        EXPECT_EQ(decodeFormLines(server.requests().back().body).last(),
                  QStringLiteral("howmany=") + c.howMany);
    }
}

TEST_F(CheckNowTest, ShowUpdateDecidesRequestAndNotice) {
    const struct {
        const char* stored; // nullptr: not stored
        int value;
        bool requested;
        bool notice;
    } cases[] = {
        {nullptr, 1, true, true}, {"1", 1, true, true},    {"0", 0, false, false},
        {"2", 2, true, false},    {"-1", -1, true, false}, {"@ByteArray(0)", 1, true, true},
        {"0, 0", 1, true, true},  {"off", 1, true, true},
    };
    answer(reply("1.5"));
    for (const auto& c : cases) {
        const size_t before = server.requests().size();
        Values values{{"HowMany", "2"},
                      {"InstalledVersion", "1.4"},
                      {"CurrentURL", urlscrambler::scramble("http://old.example/")}};
        if (c.stored != nullptr)
            values["ShowUpdate"] = c.stored;
        store(values);
        run();
        const char* label = c.stored != nullptr ? c.stored : "(none)";
        EXPECT_EQ(results.showUpdate, c.value) << label;
        EXPECT_EQ(server.requests().size() - before, c.requested ? 1u : 0u) << label;
        EXPECT_EQ(results.newVersion, c.notice) << label;
        EXPECT_EQ(stored("HowMany"), "3") << label << ": counted whether or not it asks";
        EXPECT_EQ(stored("LastUpdateCheck"), c.requested ? today : QString()) << label;
        EXPECT_EQ(results.downloadAddress,
                  c.requested ? QStringLiteral("http://d.example/x") : "http://old.example/")
            << label;
    }
}

TEST_F(CheckNowTest, FiveRequestsADayNoticeOnlyFromTheFirstThree) {
    const struct {
        QString lastCheck;
        const char* count;
        bool requested;
        const char* countAfter;
        bool notice;
    } cases[] = {
        {QString(), "", true, "1", true},
        {today, "1", true, "2", true},
        {today, "2", true, "3", true},
        {today, "3", true, "4", false},
        {today, "4", true, "5", false},
        {today, "5", false, "5", false},
        {today, "9", false, "9", false},
        {yesterday, "5", true, "1", true},
        {yesterday, "2", true, "1", true},
        {today, "-4", true, "-3", true},
        {today, "@ByteArray(5)", true, "1", true},
    };
    answer(reply("1.5"));
    for (const auto& c : cases) {
        const size_t before = server.requests().size();
        store({{"LastUpdateCheck", c.lastCheck}, {"LastUpdateCheckCount", c.count}});
        run();
        const std::string label = (c.lastCheck + " " + c.count).toStdString();
        EXPECT_EQ(server.requests().size() - before, c.requested ? 1u : 0u) << label;
        EXPECT_EQ(stored("LastUpdateCheckCount"), QLatin1String(c.countAfter)) << label;
        EXPECT_EQ(stored("LastUpdateCheck"), c.requested ? today : c.lastCheck) << label;
        EXPECT_EQ(results.newVersion, c.notice) << label;
        EXPECT_EQ(stored("CurrentVersion"), c.requested ? "1.5" : "") << label;
    }
}

TEST_F(CheckNowTest, OfferedVersionDecidesTheNotice) {
    const struct {
        const char* offered;
        bool notice;
    } cases[] = {
        {"1.5", true},   {"1.3", true},   {"1.4", false},          {"", false},
        {"beta", false}, {"1.4.0", true}, {"1234.5678901", false}, {"2.0-rc1", false},
        {"1.4 ", false},
    };
    for (const auto& c : cases) {
        answer(reply(c.offered));
        store({});
        run();
        EXPECT_EQ(results.newVersion, c.notice) << c.offered;
        EXPECT_EQ(results.offeredVersion, QLatin1String(c.offered)) << c.offered;
        EXPECT_EQ(stored("CurrentVersion"), QLatin1String(c.offered)) << c.offered;
        EXPECT_EQ(results.log.text(), QString()) << c.offered;
    }
}

TEST_F(CheckNowTest, ReplyFormsAndTheirValidity) {
    const struct {
        const char* name;
        QByteArray body;
        bool valid;
        const char* version; // taken from a valid reply
        const char* url;
    } cases[] = {
        {"valid, result 0", reply("1.5", "http://d.example/x", "0"), true, "1.5",
         "http://d.example/x"},
        {"blank before the tag", " <version>1.5</version>\n<url>u</url>\n\n<result>1</result>\n",
         true, "", "u"},
        {"url line without its tag", "<version>1.5</version>\nu\n\n<result>1</result>", true, "1.5",
         ""},
        {"LF only, eight lines",
         "<version>1.5</version>\n<url>u</url>\n\n<result>1</result>\n5\n6\n7\n8", true, "1.5",
         "u"},
        {"ERROR first", "ERROR database down\n<url>u</url>\n\n<result>1</result>", false, "", ""},
        {"three lines", "<version>1.5</version>\n<url>u</url>\nnews\n", false, "", ""},
        {"result 2", reply("1.5", "u", "2"), false, "", ""},
        {"result empty", reply("1.5", "u", ""), false, "", ""},
        {"empty reply", "", false, "", ""},
        {"HTML page", "<html><body>Not here</body></html>", false, "", ""},
    };
    for (const auto& c : cases) {
        answer(c.body);
        store({{"CurrentURL", urlscrambler::scramble("http://old.example/")},
               {"CurrentVersion", "1.0"}});
        run();
        EXPECT_EQ(results.log.text(), c.valid ? QString() : QStringLiteral("INVALIDSERVERRESPONSE"))
            << c.name;
        EXPECT_EQ(results.newVersion, c.valid && QLatin1String(c.version) == "1.5") << c.name;
        EXPECT_EQ(stored("CurrentVersion"),
                  c.valid ? QString::fromUtf8(c.version) : QStringLiteral("1.0"))
            << c.name;
        const QString address = c.valid ? QString::fromUtf8(c.url) : "http://old.example/";
        EXPECT_EQ(results.downloadAddress, address) << c.name;
        EXPECT_EQ(urlscrambler::unscramble(stored("CurrentURL")), address) << c.name;
    }
}

TEST_F(CheckNowTest, HttpsFailingFallsBackToHttp) {
    TestHttpServer plainOnly(TestHttpServer::Protocols::Plain);
    const ScopedEnv plainHost("BRINDLEAF_MAKER_HOST", plainOnly.hostAndPort());
    plainOnly.setHandler([](const TestHttpServer::Request&) {
        return TestHttpServer::Reply::text(200, reply("1.5"));
    });
    run();
    EXPECT_EQ(plainOnly.tlsConnectionCount(), 1);
    const auto requests = plainOnly.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].secure);
    EXPECT_EQ(decodeFormLines(requests[0].body), expectedFields + QStringList{"howmany=1"});
    EXPECT_EQ(results.log.text(), QString()) << "the HTTPS failure is forgotten";
    EXPECT_FALSE(results.log.hasError());
    EXPECT_TRUE(results.newVersion);
    EXPECT_EQ(stored("CurrentVersion"), "1.5");
}

TEST_F(CheckNowTest, BothSchemesFailingAreBothLogged) {
    // A port that was just free: nothing listens there.
    quint16 closedPort = 0;
    {
        TestHttpServer gone;
        closedPort = gone.port();
    }
    const ScopedEnv deadHost("BRINDLEAF_MAKER_HOST",
                             QStringLiteral("127.0.0.1:%1").arg(closedPort));
    store({{"CurrentURL", urlscrambler::scramble("http://old.example/")}});
    run();
    const QString log = results.log.text();
    EXPECT_TRUE(log.startsWith("HTTPS Response:\r")) << log.toStdString();
    const qsizetype plainEntry = log.indexOf("\r\rHTTP Response:\r");
    EXPECT_GT(plainEntry, 16) << log.toStdString();
    EXPECT_GT(log.size(), plainEntry + 17) << "the failure's message follows";
    EXPECT_FALSE(log.contains("INVALIDSERVERRESPONSE"));
    EXPECT_FALSE(results.newVersion);
    EXPECT_EQ(results.downloadAddress, "http://old.example/");
    EXPECT_EQ(stored("LastUpdateCheckCount"), "1") << "a failed attempt counts";
}

TEST_F(CheckNowTest, EarlierLogEntriesMakeTheReplyUnused) {
    answer(reply("1.5"));
    inputs.localeName = []() -> QString { throw AppError("no locale"); };
    inputs.machineId = []() -> QString { throw AppError("unreadable"); };
    run();
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(
        decodeFormLines(server.requests()[0].body),
        QStringList({"cmd=check", "appname=QUENLOW - Brindleaf", "version=1.4",
                     "os=Test OS 1 (Version 6.1, Build 0, 64-bit Edition)", "guid=", "howmany=1"}));
    EXPECT_EQ(results.log.text(), "Error: GUID generate problem!\r\rError: LocaleName2 problem!");
    EXPECT_FALSE(results.newVersion);
    EXPECT_EQ(stored("CurrentVersion"), QString());
}

TEST_F(CheckNowTest, StoreFailuresStillFinishTheRun) {
    const struct {
        const char* name;
        std::function<void(const QString& configHome, const QString& settingsFile)> arrange;
        const char* logStart;
    } cases[] = {
        {"HowMany of another type",
         [](const QString&, const QString& file) {
             writeTextFile(file, "[Settings]\nHowMany=@ByteArray(3)\n");
         },
         "AppError Error:\r"},
        {"settings file cannot be written",
         [](const QString&, const QString& file) { ASSERT_TRUE(QDir().mkpath(file)); },
         "AppError Error:\r"},
        {"settings folder cannot be made",
         [](const QString& configHome, const QString&) {
             writeTextFile(configHome + "/SOFTWARE", "not a folder");
         },
         "Error: Registry open problem!\r\rAppError Error:\r"},
    };
    answer(reply("1.5"));
    for (const auto& c : cases) {
        const TemporaryConfigHome caseHome;
        c.arrange(caseHome.path(), settingsFile());
        run();
        EXPECT_TRUE(results.log.text().startsWith(QLatin1String(c.logStart)))
            << c.name << ": " << results.log.text().toStdString();
        EXPECT_FALSE(results.newVersion) << c.name;
        EXPECT_TRUE(server.requests().empty()) << c.name;
    }
}

TEST_F(CheckNowTest, WorkerThreadPublishesByTheFinishedFlag) {
    answer(reply("1.5", "https://d.example/new"));
    results.finished.store(true);
    const TChecker worker(results, inputs);
    // The flag is cleared before the thread runs, so an earlier run's flag never counts.
    while (!results.finished.load(std::memory_order_acquire))
        QThread::yieldCurrentThread();
    EXPECT_TRUE(results.newVersion);
    EXPECT_EQ(results.offeredVersion, "1.5");
    EXPECT_EQ(results.downloadAddress, "https://d.example/new");
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(CheckNowTest, EndingTheWorkerCutsAWaitingCheckShort) {
    server.setHandler(
        [](const TestHttpServer::Request&) { return TestHttpServer::Reply::silence(); });
    auto worker = std::make_unique<TChecker>(results, inputs);
    while (server.requests().empty())
        QThread::msleep(10);

    // The post would wait 10 s for each scheme; the owner going away must not.
    const auto start = std::chrono::steady_clock::now();
    worker.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    EXPECT_TRUE(results.finished.load(std::memory_order_acquire));
    EXPECT_TRUE(results.log.text().startsWith(QLatin1String("HTTPS Response:\r")))
        << results.log.text().toStdString();
    EXPECT_FALSE(results.log.text().contains(QLatin1String("HTTP Response:")))
        << "no second attempt once stopped";
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_FALSE(results.newVersion);
}

TEST_F(CheckNowTest, OverlongVersionOrAddressIsNoOffer) {
    const QString longestVersion = "1." + QString(30, QLatin1Char('0'));
    const QString longestAddress = "https://d.example/" + QString(2048 - 18, QLatin1Char('a'));
    const struct {
        const char* name;
        QString version;
        QString address;
        bool taken;
        bool notice;
    } cases[] = {
        {"version of 32 characters", longestVersion, "https://d.example/x", true, false},
        {"version of 33 characters", longestVersion + "0", "https://d.example/x", false, false},
        {"address of 2,048 characters", "1.5", longestAddress, true, true},
        {"address of 2,049 characters", "1.5", longestAddress + "a", false, false},
        {"version of 900 KB", "1." + QString(900 * 1024, QLatin1Char('5')), "https://d.example/x",
         false, false},
    };
    for (const auto& c : cases) {
        const TemporaryConfigHome caseHome;
        store({{"CurrentURL", urlscrambler::scramble("http://old.example/")}});
        answer(reply(c.version, c.address));
        run();
        EXPECT_EQ(results.newVersion, c.notice) << c.name;
        EXPECT_EQ(results.log.text(), QString()) << c.name;
        if (c.taken) {
            EXPECT_EQ(results.offeredVersion, c.version) << c.name;
            EXPECT_EQ(results.downloadAddress, c.address) << c.name;
            EXPECT_EQ(stored("CurrentVersion"), c.version) << c.name;
            EXPECT_EQ(urlscrambler::unscramble(stored("CurrentURL")), c.address) << c.name;
        } else {
            EXPECT_EQ(results.offeredVersion, QString()) << c.name;
            EXPECT_EQ(results.downloadAddress, "http://old.example/") << c.name;
            EXPECT_EQ(stored("CurrentVersion"), QString()) << c.name << ": not kept";
            EXPECT_EQ(urlscrambler::unscramble(stored("CurrentURL")), "http://old.example/")
                << c.name << ": not kept";
        }
    }
}

TEST_F(CheckNowTest, OverlongStoredAddressIsNotUsed) {
    store({{"CurrentURL", urlscrambler::scramble("https://d.example/" + QString(2031, 'a'))}});
    answer("ERROR busy\r\n");
    run();
    EXPECT_EQ(results.downloadAddress, QString());
}
