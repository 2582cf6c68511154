#include "servicetestkit.h"

#include "support/opensslhandles.h"

#include <openssl/ssl.h>

#include <gtest/gtest.h>

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
        EXPECT_EQ(post(service, tls, "/php/feedback.php", "cmd=feedback&feedback=fine").body, "OK");
        const auto [received, ec] = bad.readUntilClosed();
        EXPECT_TRUE(endedByServer(ec)) << ec.message();
        EXPECT_EQ(received.starts_with("HTTP/1.1 400 "), c.answered) << received;
    }
    EXPECT_EQ(storedFeedback(service), cases.size());
}

TEST_P(ServiceLimits, ConnectionsAboveTheLimitAreClosedAtOnce) {
    service::ServerLimits limits;
    limits.maxConnections = 3;
    RunningService service(limits);
    std::vector<std::unique_ptr<Connection>> open;
    for (int i = 0; i < 3; ++i)
        open.push_back(
            std::make_unique<Connection>(service.port(), GetParam(), service.certificate()));
    Connection refused(service.port(), false);
    const auto [received, ec] = refused.readUntilClosed();
    EXPECT_TRUE(endedByServer(ec)) << ec.message();
    EXPECT_TRUE(received.empty());

    auto request = formRequest("/php/feedback.php", "cmd=feedback&feedback=still+served");
    EXPECT_EQ(open.front()->send(request).body, "OK");
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
