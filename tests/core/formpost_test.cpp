// The form post against real HTTP and HTTPS servers on loopback.
#include "core/apperror.h"
#include "core/formpost.h"
#include "core/maker.h"
#include "support/qtprinters.h"
#include "support/scopedenv.h"
#include "support/testhttpserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using Reply = TestHttpServer::Reply;
using Request = TestHttpServer::Request;
using namespace std::chrono_literals;

constexpr int normalTimeout = 10000;

struct Result {
    std::optional<QString> text; // set when the call returned
    QString error;               // the error's message when it raised
};

Result post(const QString& url, const QStringList& fields, int timeoutMs = normalTimeout) {
    try {
        return {formPost(url, fields, timeoutMs), {}};
    } catch (const AppError& e) {
        return {std::nullopt, e.message()};
    }
}

Result postToMaker(const QString& path, int timeoutMs = normalTimeout) {
    try {
        return {postToMakerService(path, {QStringLiteral("cmd=check")}, timeoutMs), {}};
    } catch (const AppError& e) {
        return {std::nullopt, e.message()};
    }
}

// Every test starts without the machine's proxy settings, trusting its server's authority.
class FormPost : public ::testing::Test {
protected:
    ScopedEnv noHttpProxy{"http_proxy"};
    ScopedEnv noHttpsProxy{"https_proxy"};
    ScopedEnv noHttpsProxyUpper{"HTTPS_PROXY"};
    ScopedEnv noAllProxy{"all_proxy"};
    ScopedEnv noAllProxyUpper{"ALL_PROXY"};
    ScopedEnv noNoProxy{"no_proxy"};
    ScopedEnv noNoProxyUpper{"NO_PROXY"};
    ScopedEnv noCaDir{"SSL_CERT_DIR"};
    TestHttpServer server;
    ScopedEnv trust{"SSL_CERT_FILE", server.caCertificateFile()};
};

// A value with every kind of character the encoding treats apart.
const QString edgeValue = QStringLiteral(u"a b+c&d=e%f~g\r\nh\u00E9*-._Z9");
const QByteArray edgeEncoded = "a+b%2Bc%26d%3De%25f%7Eg%0D%0Ah%C3%A9*-._Z9";

struct WireCase {
    bool secure;
    QByteArray requestLine;
    QList<QByteArray> headerNames;
    QByteArray contentType;
    QByteArray connection;
};

TEST_F(FormPost, PutsEachPathsRequestOnTheWire) {
    const WireCase cases[] = {
        {true,
         "POST /php/feedback.php HTTP/1.1",
         {"host", "content-type", "connection", "content-length"},
         "application/x-www-form-urlencoded; charset=utf-8",
         "close"},
        {false,
         "POST /php/feedback.php HTTP/1.0",
         {"host", "content-type", "connection", "accept", "content-length"},
         "application/x-www-form-urlencoded",
         "keep-alive"},
    };
    const QStringList fields = {"cmd=feedback", "feedback=" + edgeValue, "email="};
    for (const WireCase& c : cases) {
        SCOPED_TRACE(c.secure);
        const size_t before = server.requests().size();
        EXPECT_EQ(post(server.url("/php/feedback.php", c.secure), fields).text, "OK");
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), before + 1);
        const Request& r = requests.back();
        EXPECT_EQ(r.secure, c.secure);
        EXPECT_EQ(r.requestLine, c.requestLine);
        QList<QByteArray> names = r.headerNames();
        std::sort(names.begin(), names.end());
        QList<QByteArray> expectedNames = c.headerNames;
        std::sort(expectedNames.begin(), expectedNames.end());
        EXPECT_EQ(names, expectedNames);
        EXPECT_EQ(r.header("Host"), server.hostAndPort().toLatin1());
        EXPECT_EQ(r.header("Content-Type"), c.contentType);
        EXPECT_EQ(r.header("Connection"), c.connection);
        if (!c.secure) {
            EXPECT_EQ(r.header("Accept"),
                      "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
        }
        EXPECT_EQ(r.body, "cmd=feedback&feedback=" + edgeEncoded + "&email=");
        EXPECT_EQ(r.header("Content-Length"), QByteArray::number(r.body.size()));
    }
}

TEST_F(FormPost, ChoosesThePathByTheLowerCasedScheme) {
    const struct {
        QString scheme;
        bool secure;
    } cases[] = {{"https://", true},
                 {"HTTPS://", true},
                 {"HtTpS://", true},
                 {"http://", false},
                 {"HTTP://", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scheme.toStdString());
        const QString url = c.scheme + server.hostAndPort() + "/x";
        EXPECT_EQ(post(url, {"a=1"}).text, "OK");
        const Request r = server.requests().back();
        EXPECT_EQ(r.secure, c.secure);
        EXPECT_TRUE(r.requestLine.endsWith(c.secure ? "HTTP/1.1" : "HTTP/1.0"));
    }
}

TEST_F(FormPost, SecurePathReturnsErrorStatusesAsTextAndPlainPathFailsOnThem) {
    const struct {
        bool secure;
        Reply reply;
        std::optional<QString> text;
        QString error;
    } cases[] = {
        {true, Reply::text(500, "server busy"), "server busy", {}},
        {true, Reply::text(404, "no such page"), "no such page", {}},
        {false, Reply::text(201, "made"), "made", {}},
        {false, Reply::text(404, "no such page"), std::nullopt, "HTTP/1.1 404 Not Found"},
        {false, Reply::redirect(302, "/elsewhere"), std::nullopt, "HTTP/1.1 302 Found"},
        {false, Reply::text(500, "oops"), std::nullopt, "HTTP/1.1 500 Internal Server Error"},
        {false, Reply::rawBytes("HTTP/1.0 403 Go Away\r\nContent-Length: 0\r\n\r\n"), std::nullopt,
         "HTTP/1.0 403 Go Away"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.bytes().left(40).toStdString());
        server.setHandler([&](const Request&) { return c.reply; });
        const size_t before = server.requests().size();
        const Result result = post(server.url("/php/check2.php", c.secure), {"cmd=check"});
        EXPECT_EQ(result.text, c.text);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(server.requests().size(), before + 1); // nothing followed, nothing retried
    }
}

TEST_F(FormPost, SecurePathFollowsFiveRedirectionsAndFailsOnTheSixth) {
    const int hops = 6;
    // /hop/N sends on to /hop/N+1 until the last, which answers.
    server.setHandler([](const Request& r) {
        const int n = r.path().mid(5).toInt();
        if (n < hops)
            return Reply::redirect(n % 2 ? 307 : 308, "/hop/" + QByteArray::number(n + 1));
        return Reply::text(200, "arrived");
    });
    EXPECT_EQ(post(server.url("/hop/1", true), {"a=1"}).text, "arrived"); // 5 redirections
    EXPECT_EQ(server.requests().size(), 6u);
    for (const Request& r : server.requests()) // 307 and 308 keep the method and body
        EXPECT_EQ(r.method() + ' ' + r.body, "POST a=1");
    EXPECT_EQ(server.requests().back().path(), "/hop/6");

    const Result tooMany = post(server.url("/hop/0", true), {"a=1"});
    EXPECT_FALSE(tooMany.text);
    EXPECT_FALSE(tooMany.error.isEmpty());
    EXPECT_EQ(server.requests().size(), 12u); // /hop/0 to /hop/5; the sixth not followed
    EXPECT_EQ(server.requests().back().path(), "/hop/5");
}

TEST_F(FormPost, SecurePathNeverRedirectsToPlainHttp) {
    server.setHandler([&](const Request& r) {
        if (r.secure)
            return Reply::redirect(302, server.url("/plain", false).toLatin1());
        return Reply::text(200, "plain");
    });
    const Result result = post(server.url("/start", true), {"a=1"});
    EXPECT_FALSE(result.text);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(server.plainConnectionCount(), 0);
}

TEST_F(FormPost, FailsWhenTheServerFallsSilentOrHangsUp) {
    const int timeout = 400;
    for (const bool secure : {true, false}) {
        SCOPED_TRACE(secure);
        server.setHandler([](const Request&) { return Reply::silence(); });
        const auto start = std::chrono::steady_clock::now();
        const Result silent = post(server.url("/x", secure), {"a=1"}, timeout);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(silent.text);
        EXPECT_EQ(silent.error, "The server did not answer within 400 ms (waiting for the reply).");
        EXPECT_GE(elapsed, std::chrono::milliseconds(timeout));
        EXPECT_LT(elapsed, 30s); // bounded, with a wide margin for a loaded machine

        server.setHandler([](const Request&) { return Reply::closeAtOnce(); });
        const Result hungUp = post(server.url("/x", secure), {"a=1"}, timeout);
        EXPECT_FALSE(hungUp.text);
        EXPECT_FALSE(hungUp.error.isEmpty());
    }
}

TEST_F(FormPost, BoundsTheWholeCallWhenTheServerTrickles) {
    // A byte every 100 ms never leaves a 400 ms gap, but the whole reply would take
    // minutes; the call gives up when its 400 ms are over, before even the status line
    // has arrived whole.
    for (const bool secure : {true, false}) {
        SCOPED_TRACE(secure);
        server.setHandler([](const Request&) {
            return Reply::trickle(Reply::text(200, QByteArray(2000, 'x')), 100ms);
        });
        const auto start = std::chrono::steady_clock::now();
        const Result result = post(server.url("/x", secure), {"a=1"}, 400);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(result.text);
        EXPECT_EQ(result.error, "The server did not answer within 400 ms (waiting for the reply).");
        EXPECT_GE(elapsed, 400ms);
        // The bound itself, with room for a loaded machine to finish its last step.
        EXPECT_LT(elapsed, 1400ms);
    }
}

TEST_F(FormPost, ASlowButSteadyReplyWithinTheBoundsArrives) {
    server.setHandler([](const Request&) {
        return Reply::trickle(Reply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n"
                                              "Connection: close\r\n\r\nOK"),
                              10ms);
    });
    for (const bool secure : {true, false})
        EXPECT_EQ(post(server.url("/x", secure), {"a=1"}, 5000).text, "OK") << secure;
}

TEST_F(FormPost, CapsTheReplyAtOneMebibyte) {
    const qsizetype cap = 1 << 20;
    const QString tooLarge = QStringLiteral("The reply is larger than 1048576 bytes.");
    const struct {
        const char* name;
        Reply reply;
        bool arrives;
    } cases[] = {
        {"exactly the cap", Reply::text(200, QByteArray(cap, 'a')), true},
        {"one byte more", Reply::text(200, QByteArray(cap + 1, 'a')), false},
        {"more, without a length",
         Reply::rawBytes("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" +
                         QByteArray(cap + 4096, 'a')),
         false},
    };
    for (const bool secure : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (secure ? " secure" : " plain"));
            server.setHandler([&](const Request&) { return c.reply; });
            const Result result = post(server.url("/x", secure), {"a=1"});
            if (c.arrives) {
                ASSERT_TRUE(result.text) << result.error.toStdString();
                EXPECT_EQ(result.text->size(), cap);
            } else {
                EXPECT_FALSE(result.text);
                EXPECT_EQ(result.error, tooLarge);
            }
        }
    }
}

TEST_F(FormPost, DecodesTheReplyByItsDeclaredCharset) {
    const struct {
        bool secure;
        QByteArray contentType;
        QByteArray body;
        std::optional<QString> text; // nullopt: the call fails
    } cases[] = {
        {true, "text/plain; charset=windows-1251", "\xCF\xF0\xE8", QStringLiteral(u"При")},
        {true, "text/plain; charset=\"ISO-8859-1\"", "caf\xE9", QStringLiteral(u"café")},
        {true, "text/plain", "caf\xC3\xA9", QStringLiteral(u"café")},
        {true, "", "caf\xC3\xA9", QStringLiteral(u"café")},
        // A meta tag counts only on the plain path.
        {true, "text/html", "<meta charset=\"koi8-r\">\xC3\xA9",
         QStringLiteral(u"<meta charset=\"koi8-r\">é")},
        {true, "text/plain; charset=x-no-such-set", "OK", std::nullopt},
        {false, "text/plain", "caf\xE9", QStringLiteral(u"café")},
        {false, "text/plain; charset=utf-8", "caf\xC3\xA9", QStringLiteral(u"café")},
        {false, "text/html", "<meta charset=\"utf-8\">\xC3\xA9",
         QStringLiteral(u"<meta charset=\"utf-8\">é")},
        {false, "application/xml", "<?xml version=\"1.0\" encoding=\"windows-1251\"?><r>\xCF</r>",
         QStringLiteral(u"<?xml version=\"1.0\" encoding=\"windows-1251\"?><r>П</r>")},
        {false, "text/plain; charset=x-no-such-set", "caf\xE9", QStringLiteral(u"café")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contentType.toStdString() + (c.secure ? " secure" : " plain"));
        server.setHandler([&](const Request&) { return Reply::text(200, c.body, c.contentType); });
        const Result result = post(server.url("/x", c.secure), {"a=1"});
        EXPECT_EQ(result.text, c.text);
        EXPECT_EQ(result.error.isEmpty(), c.text.has_value()) << result.error.toStdString();
    }
}

TEST_F(FormPost, RefusesACertificateFromAnUntrustedAuthority) {
    const TestHttpServer other(TestHttpServer::Protocols::Both, QStringLiteral("Other Test CA"));
    {
        ScopedEnv wrongAuthority("SSL_CERT_FILE", other.caCertificateFile());
        const Result result = post(server.url("/x", true), {"a=1"});
        EXPECT_FALSE(result.text);
        EXPECT_TRUE(result.error.contains("certificate")) << result.error.toStdString();
    }
    {
        ScopedEnv systemStoreOnly("SSL_CERT_FILE");
        EXPECT_FALSE(post(server.url("/x", true), {"a=1"}).text);
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(FormPost, TrustsAnAuthorityFolderNamedBySslCertDir) {
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty())
        GTEST_SKIP() << "the openssl tool is needed to name the folder's certificates";
    QTemporaryDir folder;
    ASSERT_TRUE(QFile::copy(server.caCertificateFile(), folder.filePath("test-ca.pem")));
    ASSERT_EQ(QProcess::execute(openssl, {"rehash", folder.path()}), 0);
    ScopedEnv noFile("SSL_CERT_FILE");
    ScopedEnv dir("SSL_CERT_DIR", folder.path());
    EXPECT_EQ(post(server.url("/x", true), {"a=1"}).text, "OK");
}

TEST_F(FormPost, SecurePathUsesTheProxyFromTheEnvironmentAndPlainPathNone) {
    TestHttpServer proxy(TestHttpServer::Protocols::Plain);
    proxy.setHandler([](const Request&) { return Reply::text(403, "no tunnels here"); });
    ScopedEnv httpsProxy("https_proxy", "http://" + proxy.hostAndPort());
    ScopedEnv httpProxy("http_proxy", "http://" + proxy.hostAndPort());

    EXPECT_FALSE(post(server.url("/x", true), {"a=1"}).text);
    ASSERT_EQ(proxy.requests().size(), 1u);
    EXPECT_EQ(proxy.requests()[0].requestLine,
              "CONNECT " + server.hostAndPort().toLatin1() + " HTTP/1.1");

    EXPECT_EQ(post(server.url("/x", false), {"a=1"}).text, "OK");
    EXPECT_EQ(proxy.requests().size(), 1u);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(FormPost, TwoThreadsPostAtOnce) {
    // Each request is held until both are in the server, so both calls are in flight
    // together; each must get its own answer.
    std::mutex mutex;
    std::condition_variable bothArrived;
    int arrived = 0;
    server.setHandler([&](const Request& r) {
        std::unique_lock lock(mutex);
        ++arrived;
        bothArrived.notify_all();
        const bool together = bothArrived.wait_for(lock, 8s, [&] { return arrived == 2; });
        return Reply::text(200, (together ? "together " : "alone ") + r.body);
    });
    Result secureResult;
    Result plainResult;
    std::thread secureCall([&] { secureResult = post(server.url("/x", true), {"who=secure"}); });
    std::thread plainCall([&] { plainResult = post(server.url("/x", false), {"who=plain"}); });
    secureCall.join();
    plainCall.join();
    EXPECT_EQ(secureResult.text, "together who=secure");
    EXPECT_EQ(plainResult.text, "together who=plain");
}

TEST_F(FormPost, MakerServiceTakesTheFirstReplyOverHttps) {
    ScopedEnv host("BRINDLEAF_MAKER_HOST", server.hostAndPort());
    server.setHandler([](const Request&) { return Reply::text(500, "busy"); });
    EXPECT_EQ(postToMaker(maker::checkPath).text, "busy");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(server.requests()[0].secure);
    EXPECT_EQ(server.requests()[0].path(), "/php/check2.php");
    EXPECT_EQ(server.plainConnectionCount(), 0);
}

TEST_F(FormPost, MakerServiceFallsBackToHttpOnceWhenHttpsFails) {
    ScopedEnv host("BRINDLEAF_MAKER_HOST", server.hostAndPort());
    server.setHandler([](const Request& r) {
        return r.secure ? Reply::silence() : Reply::text(200, "plain answer");
    });
    for (const bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent over https" : "untrusted certificate");
        std::optional<ScopedEnv> untrusted;
        if (!silent)
            untrusted.emplace("SSL_CERT_FILE");
        const int tlsBefore = server.tlsConnectionCount();
        const size_t before = server.requests().size();
        EXPECT_EQ(postToMaker(maker::feedbackPath, silent ? 400 : normalTimeout).text,
                  "plain answer");
        EXPECT_EQ(server.tlsConnectionCount(), tlsBefore + 1);
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), before + (silent ? 2 : 1));
        EXPECT_FALSE(requests.back().secure);
        EXPECT_EQ(requests.back().requestLine, "POST /php/feedback.php HTTP/1.0");
    }
}

TEST_F(FormPost, MakerServiceRaisesTheHttpErrorWhenBothFail) {
    TestHttpServer plainOnly(TestHttpServer::Protocols::Plain);
    plainOnly.setHandler([](const Request&) { return Reply::text(404, "gone"); });
    ScopedEnv host("BRINDLEAF_MAKER_HOST", plainOnly.hostAndPort());
    const Result result = postToMaker(maker::checkPath);
    EXPECT_FALSE(result.text);
    EXPECT_EQ(result.error, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(plainOnly.tlsConnectionCount(), 1);
    EXPECT_EQ(plainOnly.requests().size(), 1u);
}

} // namespace
