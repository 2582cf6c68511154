#include "support/testhttpserver.h"

#include "support/opensslhandles.h"

#include <QFile>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <mutex>
#include <set>
#include <stdexcept>

namespace {

// Owns a file descriptor.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

void require(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("test server: ") + what);
}

QByteArray reasonFor(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

openssl::Context makeContext(const TestCertificates& certs) {
    openssl::Context ctx(SSL_CTX_new(TLS_server_method()));
    require(ctx != nullptr, "TLS context");
    const openssl::Bio certBio(BIO_new_mem_buf(certs.serverCertificatePem.constData(),
                                               int(certs.serverCertificatePem.size())));
    const openssl::Certificate cert(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
    const openssl::Bio keyBio(
        BIO_new_mem_buf(certs.serverKeyPem.constData(), int(certs.serverKeyPem.size())));
    const openssl::Key key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    require(cert && key && SSL_CTX_use_certificate(ctx.get(), cert.get()) == 1 &&
                SSL_CTX_use_PrivateKey(ctx.get(), key.get()) == 1,
            "server certificate");
    return ctx;
}

// One accepted connection, plain or TLS.
class Stream {
public:
    Stream(int fd, SSL* ssl) : m_fd(fd), m_ssl(ssl) {}

    // Bytes read, 0 at the end or on an error.
    int read(char* buffer, int size) {
        if (m_ssl)
            return std::max(0, SSL_read(m_ssl.get(), buffer, size));
        return int(std::max<ssize_t>(0, ::recv(m_fd, buffer, size_t(size), 0)));
    }

    bool write(const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const int chunk = int(std::min<qsizetype>(bytes.size() - done, 1 << 16));
            const int sent =
                m_ssl ? SSL_write(m_ssl.get(), bytes.constData() + done, chunk)
                      : int(::send(m_fd, bytes.constData() + done, size_t(chunk), MSG_NOSIGNAL));
            if (sent <= 0)
                return false;
            done += sent;
        }
        return true;
    }

    // Ends a TLS session with its close notice, so a reply that runs to the end of the
    // connection reads as complete.
    void finish() {
        if (m_ssl)
            SSL_shutdown(m_ssl.get());
    }

private:
    int m_fd;
    openssl::Connection m_ssl;
};

bool readRequest(Stream& stream, TestHttpServer::Request& request) {
    QByteArray data;
    char buffer[16384];
    qsizetype headEnd = -1;
    while ((headEnd = data.indexOf("\r\n\r\n")) < 0) {
        const int n = stream.read(buffer, sizeof buffer);
        if (n <= 0 || data.size() > (1 << 20))
            return false;
        data.append(buffer, n);
    }
    const QList<QByteArray> lines = data.left(headEnd).split('\n');
    request.requestLine = lines.first().chopped(lines.first().endsWith('\r') ? 1 : 0);
    qsizetype contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon);
        const QByteArray value = line.mid(colon + 1).trimmed();
        request.headers.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            contentLength = value.toLongLong();
    }
    request.body = data.mid(headEnd + 4);
    while (request.body.size() < contentLength) {
        const int n = stream.read(buffer, sizeof buffer);
        if (n <= 0)
            return false;
        request.body.append(buffer, n);
    }
    return true;
}

} // namespace

struct TestHttpServer::State {
    Protocols protocols = Protocols::Both;
    Fd listenFd;
    Fd stopFd{::eventfd(0, EFD_CLOEXEC)};
    openssl::Context tls;

    mutable std::mutex mutex;
    Handler handler;
    std::vector<Request> requests;
    int tlsConnections = 0;
    int plainConnections = 0;
    std::set<int> openFds;
    std::vector<std::thread> connectionThreads;

    explicit State(int fd) : listenFd(fd) {}

    // Waits until fd is readable (true) or the server stops (false).
    bool waitReadable(int fd) const {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd.get(), POLLIN, 0}};
        while (::poll(fds, 2, -1) < 0) {
        }
        return (fds[1].revents & POLLIN) == 0;
    }

    // Sleeps for interval unless the server stops first (false).
    bool pause(std::chrono::milliseconds interval) const {
        pollfd stop{stopFd.get(), POLLIN, 0};
        return ::poll(&stop, 1, int(interval.count())) == 0;
    }
};

QByteArray TestHttpServer::Request::method() const {
    return requestLine.left(requestLine.indexOf(' '));
}

QByteArray TestHttpServer::Request::path() const {
    const QList<QByteArray> parts = requestLine.split(' ');
    return parts.size() > 1 ? parts[1] : QByteArray();
}

QByteArray TestHttpServer::Request::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value.isNull() ? QByteArray("") : value;
    }
    return {};
}

bool TestHttpServer::Request::hasHeader(const QByteArray& name) const {
    return !header(name).isNull();
}

QList<QByteArray> TestHttpServer::Request::headerNames() const {
    QList<QByteArray> names;
    for (const auto& header : headers)
        names.append(header.first.toLower());
    return names;
}

TestHttpServer::Reply TestHttpServer::Reply::text(int status, QByteArray body,
                                                  QByteArray contentType) {
    Reply reply;
    reply.status = status;
    reply.body = std::move(body);
    if (!contentType.isEmpty())
        reply.headers.append({"Content-Type", std::move(contentType)});
    return reply;
}

TestHttpServer::Reply TestHttpServer::Reply::redirect(int status, QByteArray location) {
    Reply reply;
    reply.status = status;
    reply.headers.append({"Location", std::move(location)});
    return reply;
}

TestHttpServer::Reply TestHttpServer::Reply::rawBytes(QByteArray bytes) {
    Reply reply;
    reply.raw = std::move(bytes);
    return reply;
}

TestHttpServer::Reply TestHttpServer::Reply::silence() {
    Reply reply;
    reply.kind = Kind::Silence;
    return reply;
}

TestHttpServer::Reply TestHttpServer::Reply::closeAtOnce() {
    Reply reply;
    reply.kind = Kind::CloseAtOnce;
    return reply;
}

TestHttpServer::Reply TestHttpServer::Reply::trickle(Reply answer,
                                                     std::chrono::milliseconds interval) {
    answer.kind = Kind::Trickle;
    answer.trickleInterval = interval;
    return answer;
}

QByteArray TestHttpServer::Reply::bytes() const {
    if (!raw.isEmpty())
        return raw;
    QByteArray out = protocol + ' ' + QByteArray::number(status) + ' ' +
                     (reason.isEmpty() ? reasonFor(status) : reason) + "\r\n";
    bool hasLength = false;
    bool hasConnection = false;
    for (const auto& [name, value] : headers) {
        out += name + ": " + value + "\r\n";
        hasLength |= name.compare("Content-Length", Qt::CaseInsensitive) == 0;
        hasConnection |= name.compare("Connection", Qt::CaseInsensitive) == 0;
    }
    if (!hasLength)
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (!hasConnection)
        out += "Connection: close\r\n";
    return out + "\r\n" + body;
}

TestHttpServer::TestHttpServer(Protocols protocols, const QString& caName) {
    // A client that hangs up mid-answer must not kill the test process.
    std::signal(SIGPIPE, SIG_IGN);

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    m_state = std::make_unique<State>(fd);
    require(fd >= 0 && m_state->stopFd.get() >= 0, "socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    require(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(fd, 64) == 0,
            "bind");
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);

    const TestCertificates certs = TestCertificates::make(caName);
    m_state->tls = makeContext(certs);
    QFile ca(m_dir.filePath(QStringLiteral("ca.pem")));
    require(ca.open(QIODevice::WriteOnly) && ca.write(certs.caCertificatePem) > 0, "CA file");
    ca.close();

    m_state->protocols = protocols;
    m_state->handler = [](const Request&) { return Reply::text(200, "OK"); };
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
    const quint64 one = 1;
    [[maybe_unused]] const auto written = ::write(m_state->stopFd.get(), &one, sizeof one);
    m_acceptThread.join();
    {
        // Wakes every connection that is blocked reading.
        const std::lock_guard lock(m_state->mutex);
        for (const int fd : m_state->openFds)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& thread : m_state->connectionThreads)
        thread.join();
}

void TestHttpServer::setHandler(Handler handler) {
    const std::lock_guard lock(m_state->mutex);
    m_state->handler = std::move(handler);
}

QString TestHttpServer::hostAndPort() const {
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QString TestHttpServer::url(const QString& path, bool secure) const {
    return (secure ? QStringLiteral("https://") : QStringLiteral("http://")) + hostAndPort() + path;
}

QString TestHttpServer::caCertificateFile() const {
    return m_dir.filePath(QStringLiteral("ca.pem"));
}

std::vector<TestHttpServer::Request> TestHttpServer::requests() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->requests;
}

int TestHttpServer::tlsConnectionCount() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->tlsConnections;
}

int TestHttpServer::plainConnectionCount() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->plainConnections;
}

void TestHttpServer::acceptLoop() {
    while (m_state->waitReadable(m_state->listenFd.get())) {
        const int fd = ::accept4(m_state->listenFd.get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const std::lock_guard lock(m_state->mutex);
        m_state->openFds.insert(fd);
        m_state->connectionThreads.emplace_back([this, fd] { serve(fd); });
    }
}

void TestHttpServer::serve(int fd) {
    State& state = *m_state;
    {
        char first = 0;
        const bool isTls = ::recv(fd, &first, 1, MSG_PEEK) == 1 && first == 0x16;
        SSL* ssl = nullptr;
        bool accepted = false;
        {
            const std::lock_guard lock(state.mutex);
            (isTls ? state.tlsConnections : state.plainConnections) += 1;
            accepted =
                state.protocols == Protocols::Both || (state.protocols == Protocols::Tls) == isTls;
            if (accepted && isTls)
                ssl = SSL_new(state.tls.get());
        }
        Stream stream(fd, ssl);
        if (ssl != nullptr) {
            SSL_set_fd(ssl, fd);
            accepted = SSL_accept(ssl) == 1;
            ERR_clear_error();
        }

        Request request;
        request.secure = isTls;
        if (accepted && readRequest(stream, request)) {
            Handler handler;
            {
                const std::lock_guard lock(state.mutex);
                state.requests.push_back(request);
                handler = state.handler;
            }
            const Reply reply = handler(request);
            switch (reply.kind) {
            case Reply::Kind::Answer:
                if (stream.write(reply.bytes()))
                    stream.finish();
                break;
            case Reply::Kind::Silence:
                // Until the client closes (the socket turns readable) or the server stops.
                state.waitReadable(fd);
                break;
            case Reply::Kind::Trickle:
                for (const char byte : reply.bytes()) {
                    if (!stream.write(QByteArray(1, byte)) || !state.pause(reply.trickleInterval))
                        break;
                }
                stream.finish();
                break;
            case Reply::Kind::CloseAtOnce:
                break;
            }
        }
        ERR_clear_error();
    }
    const std::lock_guard lock(state.mutex);
    state.openFds.erase(fd);
    ::close(fd);
}
