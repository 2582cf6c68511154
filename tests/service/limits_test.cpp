#include "servicetestkit.h"

#include "support/opensslhandles.h"

#include <openssl/ssl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <thread>

using namespace servicetest;

namespace {

service::ServerLimits smallLimits() {
    service::ServerLimits limits;
    limits.maxBodyBytes = 1024;
    // Short, so connections that never complete a request end within the test.
    limits.timeout = std::chrono::seconds(2);
    return limits;
}

std::string requestHead(const std::string& extraFields) {
    return "POST /php/feedback.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\n" +
           extraFields + "\r\n";
}

bool endedByServer(const error_code& ec) {
    return ec == net::error::eof || ec == net::error::connection_reset ||
           ec == ssl::error::stream_truncated;
}

// The first half of a real TLS ClientHello: a handshake that never completes.
std::string halfClientHello() {
    const openssl::Context context(SSL_CTX_new(TLS_client_method()));
    const openssl::Connection ssl(SSL_new(context.get()));
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    SSL_set_bio(ssl.get(), in, out); // owned by ssl from here on
    SSL_set_connect_state(ssl.get());
    SSL_do_handshake(ssl.get());
    char* data = nullptr;
    const long size = BIO_get_mem_data(out, &data);
    return std::string(data, static_cast<std::size_t>(size / 2));
}

std::size_t storedFeedback(const RunningService& service) {
    return query(service.database(), "SELECT id FROM feedback").size();
}

class ServiceLimits : public ::testing::TestWithParam<bool> {};

} // namespace

TEST_P(ServiceLimits, BodiesAboveTheLimitGet413) {
    RunningService service(smallLimits());
    const bool tls = GetParam();
    const std::string atLimit = "cmd=feedback&feedback=" + std::string(1024 - 22, 'x');
    EXPECT_EQ(post(service, tls, "/php/feedback.php", atLimit).body, "OK");

    {
        Connection announced(service.port(), tls, service.certificate());
        announced.write(requestHead("Content-Length: 1025\r\n"));
        const Reply reply = announced.receive();
        EXPECT_EQ(reply.status, 413U);
        EXPECT_FALSE(reply.keepAlive);
    }
    {
        Connection chunked(service.port(), tls, service.certificate());
        const std::string chunk(700, 'y');
        chunked.write(requestHead("Transfer-Encoding: chunked\r\n") + "2BC\r\n" + chunk +
                      "\r\n2BC\r\n" + chunk + "\r\n0\r\n\r\n");
        EXPECT_EQ(chunked.receive().status, 413U);
    }
    EXPECT_EQ(storedFeedback(service), 1U);
}

TEST_P(ServiceLimits, HeadersAboveTheLimitsAreRefused) {
    RunningService service;
    const bool tls = GetParam();
    std::string manyFields;
    for (int i = 0; i < 65; ++i)
        manyFields += "X-Filler-" + std::to_string(i) + ": 1\r\n";
    struct Case {
        const char* what;
        std::string fields;
        unsigned status;
    };
    const std::vector<Case> cases{
        {"65 fields", manyFields, 400},
        {"one field of 20000 bytes", "X-Filler: " + std::string(20000, 'z') + "\r\n", 431},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Connection connection(service.port(), tls, service.certificate());
        connection.write(requestHead(c.fields + "Content-Length: 22\r\n") +
                         "cmd=feedback&feedback=x");
        EXPECT_EQ(connection.receive().status, c.status);
    }
    EXPECT_EQ(storedFeedback(service), 0U);
}

TEST_P(ServiceLimits, TheLongestFeedbackOfTheProgramFits) {
    RunningService service;
    // The feedback window takes up to 10000 characters; CJK text triples in UTF-8 and
    // triples again when percent-encoded.
    std::string encoded;
    std::string expected;
    for (int i = 0; i < 10000; ++i) {
        encoded += "%E6%BC%A2";
        expected += "\xE6\xBC\xA2";
    }
    EXPECT_EQ(post(service, GetParam(), "/php/feedback.php",
                   "cmd=feedback&appname=A&version=1.4&feedback=" + encoded +
                       "&email=someone%40example.org")
                  .body,
              "OK");
    EXPECT_EQ(query(service.database(), "SELECT feedback FROM feedback"),
              (std::vector<Row>{{expected}}));
}

TEST_P(ServiceLimits, ExpectContinueGetsTheInterimReply) {
    RunningService service;
    Connection connection(service.port(), GetParam(), service.certificate());
    const std::string body = "cmd=feedback&feedback=after+the+interim+reply";
    connection.write(requestHead(
        "Expect: 100-continue\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"));
    EXPECT_EQ(connection.receive().status, 100U);
    connection.write(body);
    EXPECT_EQ(connection.receive().body, "OK");
    EXPECT_EQ(storedFeedback(service), 1U);
}

TEST_P(ServiceLimits, BadBytesEndOnlyTheirOwnConnection) {
    RunningService service(smallLimits());
    const bool tls = GetParam();
    struct Case {
        const char* what;
        std::string bytes;
        bool answered; // a plain-text 400 before closing
    };
    const std::vector<Case> cases{
        {"text that is not HTTP", "HELLO THERE\r\n\r\n", true},
        {"binary junk", std::string("\x01\xff\x00\x7f\r\n\r\n", 8), true},
        {"a client hello of nonsense",
         std::string("\x16\x03\x01\x00\x40\x01\x00\x00\x3c", 9) + std::string(60, 'j'), false},
        {"half a TLS handshake", halfClientHello(), false},
        {"nothing at all", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Connection bad(service.port(), false);
        if (!c.bytes.empty())
            bad.write(c.bytes);
        // Another client is served while the bad connection is still open.
        EXPECT_EQ(post(service, tls, "/php/feedback.php",
                       std::string("cmd=feedback&feedback=fine+beside+") + c.what)
                      .body,
                  "OK");
        const auto [received, ec] = bad.readUntilClosed();
        EXPECT_TRUE(endedByServer(ec)) << ec.message();
        EXPECT_EQ(received.starts_with("HTTP/1.1 400 "), c.answered) << received;
    }
    EXPECT_EQ(storedFeedback(service), cases.size());
}

// A connection that has sent part of a request is never dropped to make room; one that
// has sent nothing is, so that a full server still takes a new client.
TEST_P(ServiceLimits, AFullServerDropsSilentConnectionsFirst) {
    service::ServerLimits limits;
    limits.maxConnections = 3;
    limits.firstByteTimeout = clientTimeout; // only making room may end a silent connection
    RunningService service(limits);
    const bool tls = GetParam();
    const std::string body = "cmd=feedback&feedback=begun+before+the+server+was+full";
    const std::string head = requestHead("Content-Length: " + std::to_string(body.size()) + "\r\n");

    std::vector<std::unique_ptr<Connection>> begun;
    for (int i = 0; i < 3; ++i) {
        begun.push_back(std::make_unique<Connection>(service.port(), tls, service.certificate()));
        begun.back()->write(head);
    }
    // Let the server see the headers, so that none of these counts as silent.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    Connection refused(service.port(), false, {}, "127.0.0.2");
    const auto [received, ec] = refused.readUntilClosed();
    EXPECT_TRUE(endedByServer(ec)) << ec.message();
    EXPECT_TRUE(received.empty());
    for (auto& connection : begun) {
        connection->write(body);
        EXPECT_EQ(connection->receive().body, "OK");
    }
    begun.clear();

    std::vector<std::unique_ptr<Connection>> silent;
    for (int i = 0; i < 3; ++i)
        silent.push_back(std::make_unique<Connection>(service.port(), tls, service.certificate()));
    EXPECT_EQ(
        post(service, tls, "/php/feedback.php", "cmd=feedback&feedback=newcomer", "127.0.0.2").body,
        "OK");
    int dropped = 0;
    for (auto& connection : silent) {
        auto request = formRequest("/php/feedback.php", "cmd=feedback&feedback=silent+one");
        try {
            connection->send(request);
        } catch (const std::runtime_error&) {
            ++dropped;
        }
    }
    EXPECT_GE(dropped, 1);
}

// One address holding thousands of idle connections, opening new ones as fast as they are
// closed, while a client from another address is served within 2 s: once because one
// address may hold only so many, once because the idle ones make room when the server is full.
TEST(ServiceSiege, IdleConnectionsOfOneAddressLockNobodyOut) {
    struct Case {
        const char* what;
        std::size_t maxConnections;
        std::size_t maxConnectionsPerAddress;
    };
    const std::vector<Case> cases{
        {"bounded per address", 1024, 32},
        {"silent connections make room", 256, 100000},
    };
    constexpr std::size_t siege = 2000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        service::ServerLimits limits;
        limits.maxConnections = c.maxConnections;
        limits.maxConnectionsPerAddress = c.maxConnectionsPerAddress;
        RunningService service(limits);

        std::atomic<bool> besieging{true};
        std::atomic<std::size_t> held{0};
        std::thread attacker([&] {
            net::io_context ioc;
            std::deque<tcp::socket> sockets;
            const tcp::endpoint target(net::ip::make_address("127.0.0.1"), service.port());
            while (besieging) {
                tcp::socket socket(ioc);
                error_code ec;
                socket.connect(target, ec);
                if (!ec)
                    sockets.push_back(std::move(socket));
                // Keep the newest ones: the oldest were most likely closed by the server.
                if (sockets.size() > siege)
                    sockets.pop_front();
                held = sockets.size();
                if (sockets.size() == siege)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        while (held < siege)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));

        for (const bool tls : {true, false}) {
            SCOPED_TRACE(tls ? "https" : "http");
            const auto started = std::chrono::steady_clock::now();
            try {
                const Reply page = get(service, tls, "/", http::verb::get, "127.0.0.2");
                const Reply feedback =
                    post(service, tls, "/php/feedback.php",
                         std::string("cmd=feedback&feedback=through+the+siege+") +
                             (tls ? "tls" : "plain"),
                         "127.0.0.2");
                EXPECT_EQ(page.status, 200U);
                EXPECT_EQ(feedback.body, "OK");
            } catch (const std::exception& error) {
                ADD_FAILURE() << "the other address was not served: " << error.what();
            }
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        }
        besieging = false;
        attacker.join();
    }
}

// A connection gets little time for its first byte and much more for a slow request.
TEST_P(ServiceLimits, SilenceEndsSoonerThanASlowRequest) {
    service::ServerLimits limits;
    limits.firstByteTimeout = std::chrono::milliseconds(600);
    limits.timeout = std::chrono::seconds(20);
    RunningService service(limits);
    const bool tls = GetParam();

    Connection silent(service.port(), tls, service.certificate());
    const auto opened = std::chrono::steady_clock::now();
    const auto [received, ec] = silent.readUntilClosed();
    EXPECT_TRUE(endedByServer(ec)) << ec.message();
    EXPECT_TRUE(received.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - opened, std::chrono::seconds(5));

    // Every pause is longer than the wait for a first byte.
    Connection slow(service.port(), tls, service.certificate());
    const std::string body = "cmd=feedback&feedback=slowly+but+surely";
    slow.write(requestHead("Content-Length: " + std::to_string(body.size()) + "\r\n"));
    for (std::size_t at = 0; at < body.size(); at += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(900));
        slow.write(body.substr(at, 10));
    }
    EXPECT_EQ(slow.receive().body, "OK");
    EXPECT_EQ(storedFeedback(service), 1U);
}

// One address may hold only so many connections and requests in progress; another address
// is not affected.
TEST_P(ServiceLimits, OneAddressHasItsShare) {
    service::ServerLimits limits;
    limits.maxConnectionsPerAddress = 3;
    limits.maxRequestsPerAddress = 2;
    RunningService service(limits);
    const bool tls = GetParam();
    const std::string body = "cmd=feedback&feedback=in+progress";
    const std::string head = requestHead("Content-Length: " + std::to_string(body.size()) + "\r\n");

    std::vector<std::unique_ptr<Connection>> inProgress;
    for (int i = 0; i < 2; ++i) {
        inProgress.push_back(
            std::make_unique<Connection>(service.port(), tls, service.certificate()));
        inProgress.back()->write(head);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    {
        Connection third(service.port(), tls, service.certificate());
        auto request = formRequest("/php/feedback.php", "cmd=feedback&feedback=one+too+many");
        const Reply reply = third.send(request);
        EXPECT_EQ(reply.status, 429U);
        EXPECT_EQ(reply.retryAfter, "1");

        Connection fourth(service.port(), false);
        const auto [received, ec] = fourth.readUntilClosed();
        EXPECT_TRUE(endedByServer(ec)) << ec.message();
        EXPECT_TRUE(received.empty());

        EXPECT_EQ(
            post(service, tls, "/php/feedback.php", "cmd=feedback&feedback=elsewhere", "127.0.0.2")
                .body,
            "OK");
    }
    for (auto& connection : inProgress) {
        connection->write(body);
        EXPECT_EQ(connection->receive().body, "OK");
    }
    inProgress.clear();
    EXPECT_EQ(post(service, tls, "/php/feedback.php", "cmd=feedback&feedback=later").body, "OK");
    EXPECT_EQ(query(service.database(), "SELECT feedback FROM feedback ORDER BY feedback"),
              (std::vector<Row>{{"elsewhere"}, {"in progress"}, {"later"}}));
}

// Posts beyond an address's rate or daily quota get 429 with the time to wait, and are not
// stored; another address posts on.
TEST_P(ServiceLimits, PostsBeyondTheRateOrQuotaOfAnAddressGet429) {
    const bool tls = GetParam();
    struct Case {
        const char* what;
        service::PostLimits limits;
        std::size_t accepted;
        int minWait; // seconds
        int maxWait;
    };
    const std::vector<Case> cases{
        {"three a minute", {3, 0}, 3, 19, 20},
        {"1000 bytes a day", {0, 1000}, 2, 1, 86400},
    };
    const std::string padding(400, 'p');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunningService service({}, testRelease, c.limits);
        for (std::size_t i = 0; i < c.accepted; ++i) {
            EXPECT_EQ(post(service, tls, "/php/feedback.php",
                           "cmd=feedback&feedback=" + std::to_string(i) + padding)
                          .body,
                      "OK");
        }
        const Reply refused =
            post(service, tls, "/php/feedback.php", "cmd=feedback&feedback=refused" + padding);
        EXPECT_EQ(refused.status, 429U);
        EXPECT_GE(std::stoi(refused.retryAfter), c.minWait);
        EXPECT_LE(std::stoi(refused.retryAfter), c.maxWait);
        const Reply check =
            post(service, tls, "/php/check2.php", "cmd=check&version=1.4&os=" + padding);
        EXPECT_EQ(check.status, 429U);
        EXPECT_TRUE(check.body.starts_with("ERROR")) << check.body;
        EXPECT_EQ(post(service, tls, "/php/feedback.php", "cmd=feedback&feedback=other" + padding,
                       "127.0.0.2")
                      .body,
                  "OK");
        EXPECT_EQ(storedFeedback(service), c.accepted + 1);
    }
}

TEST(ServiceStop, AnswersTheRequestUnderWayAndClosesIdleConnections) {
    RunningService service;
    Connection idle(service.port(), true, service.certificate());
    Connection busy(service.port(), false);
    const std::string body = "cmd=feedback&feedback=sent+while+stopping";
    busy.write(requestHead("Content-Length: " + std::to_string(body.size()) + "\r\n"));
    // Let the server read the header before it is told to stop.
    EXPECT_EQ(post(service, false, "/php/feedback.php", "cmd=feedback&feedback=before").body, "OK");

    std::thread stopping([&service] { service.stop(); });
    const auto [received, ec] = idle.readUntilClosed();
    EXPECT_TRUE(endedByServer(ec)) << ec.message();
    EXPECT_TRUE(received.empty());

    busy.write(body);
    const Reply reply = busy.receive();
    EXPECT_EQ(reply.body, "OK");
    EXPECT_FALSE(reply.keepAlive);
    stopping.join();

    EXPECT_THROW(Connection(service.port(), false), boost::system::system_error);
    EXPECT_EQ(query(service.database(), "SELECT feedback FROM feedback ORDER BY id"),
              (std::vector<Row>{{"before"}, {"sent while stopping"}}));
}

INSTANTIATE_TEST_SUITE_P(BothSchemes, ServiceLimits, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "https" : "http"; });
