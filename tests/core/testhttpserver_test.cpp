// The loopback test server that the web tests rely on, checked with Qt's own sockets.
#include "support/testhttpserver.h"

#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

const QByteArray request = "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n"
                           "X-Mixed-Case: Value\r\n\r\nhello";

// Sends the request and reads until the server closes; empty when TLS fails.
QByteArray exchange(const TestHttpServer& server, bool secure) {
    QSslSocket socket;
    if (secure) {
        QSslConfiguration config = socket.sslConfiguration();
        config.setCaCertificates(QSslCertificate::fromPath(server.caCertificateFile()));
        socket.setSslConfiguration(config);
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), server.port());
        if (!socket.waitForEncrypted(5000))
            return {};
    } else {
        socket.connectToHost(QStringLiteral("127.0.0.1"), server.port());
        if (!socket.waitForConnected(5000))
            return {};
    }
    socket.write(request);
    QByteArray reply;
    while (socket.waitForReadyRead(5000))
        reply += socket.readAll();
    return reply + socket.readAll();
}

TEST(TestHttpServer, RecordsAndAnswersBothSchemesOnOnePort) {
    if (!QSslSocket::supportsSsl())
        GTEST_SKIP() << "Qt has no TLS backend here";
    TestHttpServer server;
    server.setHandler([](const TestHttpServer::Request& r) {
        return TestHttpServer::Reply::text(201, "got " + r.body, "text/plain");
    });
    for (const bool secure : {false, true}) {
        SCOPED_TRACE(secure);
        const QByteArray reply = exchange(server, secure);
        EXPECT_TRUE(reply.startsWith("HTTP/1.1 201 Status\r\n")) << reply.constData();
        EXPECT_TRUE(reply.endsWith("\r\n\r\ngot hello")) << reply.constData();
    }
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].secure);
    EXPECT_TRUE(requests[1].secure);
    EXPECT_EQ(requests[1].requestLine, "POST /echo HTTP/1.1");
    EXPECT_EQ(requests[1].path(), "/echo");
    EXPECT_EQ(requests[1].header("x-mixed-case"), "Value");
    EXPECT_EQ(requests[1].headerNames(),
              (QList<QByteArray>{"host", "content-length", "x-mixed-case"}));
    EXPECT_EQ(requests[1].body, "hello");
    EXPECT_EQ(server.tlsConnectionCount(), 1);
    EXPECT_EQ(server.plainConnectionCount(), 1);
}

TEST(TestHttpServer, PlainOnlyServerRefusesTls) {
    if (!QSslSocket::supportsSsl())
        GTEST_SKIP() << "Qt has no TLS backend here";
    TestHttpServer server(TestHttpServer::Protocols::Plain);
    EXPECT_TRUE(exchange(server, true).isEmpty());
    EXPECT_TRUE(exchange(server, false).startsWith("HTTP/1.1 200 OK"));
    EXPECT_EQ(server.tlsConnectionCount(), 1);
    EXPECT_EQ(server.requests().size(), 1u);
}

} // namespace
