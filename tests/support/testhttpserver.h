#pragma once

#include "support/testcertificates.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

// A small HTTP and HTTPS server on 127.0.0.1, on a port the system picks, running in
// threads of the test process. One port serves both schemes: a connection whose first
// byte starts a TLS handshake is served over TLS, any other as plain HTTP. It records
// every request and answers as the test's handler says. Each connection carries one
// request and is closed after the answer.
//
//   TestHttpServer server;                          // plain and TLS on one port
//   ScopedEnv trust("SSL_CERT_FILE", server.caCertificateFile()); // support/scopedenv.h
//   ScopedEnv host("BRINDLEAF_MAKER_HOST", server.hostAndPort());
//   server.setHandler([](const TestHttpServer::Request& r) {
//       return TestHttpServer::Reply::text(200, "OK");
//   });
//   ... postToMakerService("/php/feedback.php", fields, 3000) ...
//   server.requests()[0].body, .header("Content-Type"), .secure
//
// TestHttpServer(TestHttpServer::Protocols::Plain) refuses TLS (the handshake fails, so
// an https post falls back to http); Protocols::Tls refuses plain requests.
class TestHttpServer {
public:
    enum class Protocols { Plain, Tls, Both };

    struct Request {
        QByteArray requestLine;                           // "POST /path HTTP/1.1", without CR LF
        QList<std::pair<QByteArray, QByteArray>> headers; // in order, as sent
        QByteArray body;
        bool secure = false; // arrived over TLS

        QByteArray method() const;
        QByteArray path() const;
        // The value of the first header of that name (any case); null when absent.
        QByteArray header(const QByteArray& name) const;
        bool hasHeader(const QByteArray& name) const;
        QList<QByteArray> headerNames() const; // lower case, in order
    };

    struct Reply {
        enum class Kind {
            Answer,     // status line, headers, body, then close
            Silence,    // read the request, then say nothing until the client gives up
            Trickle,    // the answer, one byte every trickleInterval
            CloseAtOnce // read the request, then close without a word
        };
        Kind kind = Kind::Answer;
        int status = 200;
        QByteArray reason; // empty: the usual phrase for the status
        QByteArray protocol = "HTTP/1.1";
        QList<std::pair<QByteArray, QByteArray>> headers; // Content-Length and Connection:
                                                          // close are added unless given
        QByteArray body;
        QByteArray raw; // when set, sent as it is instead of the parts above
        std::chrono::milliseconds trickleInterval{0};

        static Reply text(int status, QByteArray body,
                          QByteArray contentType = "text/plain; charset=utf-8");
        static Reply redirect(int status, QByteArray location);
        static Reply rawBytes(QByteArray bytes);
        static Reply silence();
        static Reply closeAtOnce();
        static Reply trickle(Reply answer, std::chrono::milliseconds interval);

        QByteArray bytes() const; // what goes on the wire
    };

    using Handler = std::function<Reply(const Request&)>;

    explicit TestHttpServer(Protocols protocols = Protocols::Both,
                            const QString& caName = QStringLiteral("Brindleaf Test CA"));
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    // Called on a connection thread, possibly on several at once. The default answers
    // 200 with the body "OK".
    void setHandler(Handler handler);

    quint16 port() const { return m_port; }
    QString hostAndPort() const; // "127.0.0.1:PORT", for BRINDLEAF_MAKER_HOST
    QString url(const QString& path, bool secure) const;
    QString caCertificateFile() const; // PEM of the authority that signed the server

    std::vector<Request> requests() const;
    int tlsConnectionCount() const;   // connections that began a TLS handshake
    int plainConnectionCount() const; // connections that began in plain text

private:
    struct State;
    void acceptLoop();
    void serve(int fd);

    QTemporaryDir m_dir;
    std::unique_ptr<State> m_state;
    quint16 m_port = 0;
    std::thread m_acceptThread;
};
