#pragma once
// Helpers shared by the service's tests: the service running in this process on a free
// loopback port, a small HTTP(S) client with time limits, and reads of the database.

#include "service/certificate.h"
#include "service/routes.h"
#include "service/server.h"
#include "service/store.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <sqlite3.h>

#include <QTemporaryDir>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace servicetest {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using error_code = boost::system::error_code;

// Long enough for a loaded machine and a sanitizer build; reached only when a test fails.
inline constexpr std::chrono::seconds clientTimeout{30};

inline const service::Release testRelease{"1.5", "https://example.test/download/brindleaf-1.5"};
// Most tests post more than a client may; the limits have tests of their own.
inline constexpr service::PostLimits noPostLimits{0, 0};

// The service with its own folder, database and self-signed certificate.
class RunningService {
public:
    explicit RunningService(service::ServerLimits limits = {},
                            service::Release release = testRelease,
                            service::PostLimits posts = noPostLimits,
                            service::StoreOptions storeOptions = {}) {
        if (!folder_.isValid())
            throw std::runtime_error("no temporary folder");
        files_ = service::ensureSelfSignedCertificate(path(), {});
        store_ = std::make_unique<service::Store>(database(), storeOptions);
        routes_ = std::make_unique<service::Routes>(*store_, std::move(release), posts);
        service::ServerConfig config;
        config.certificate = files_.certificate;
        config.privateKey = files_.privateKey;
        config.limits = limits;
        server_ = std::make_unique<service::Server>(config, [this](const service::Request& request,
                                                                   const service::Client& client,
                                                                   service::Respond respond) {
            routes_->handle(request, client, std::move(respond));
        });
        port_ = server_->port();
        server_->start();
    }
    ~RunningService() { stop(); }

    unsigned short port() const { return port_; }
    std::filesystem::path path() const { return folder_.path().toStdString(); }
    std::filesystem::path database() const { return path() / "service.db"; }
    const std::filesystem::path& certificate() const { return files_.certificate; }
    void stop() { server_->stop(); }

private:
    QTemporaryDir folder_;
    service::CertificateFiles files_;
    std::unique_ptr<service::Store> store_;
    std::unique_ptr<service::Routes> routes_;
    std::unique_ptr<service::Server> server_;
    unsigned short port_ = 0;
};

struct Reply {
    unsigned status = 0;
    std::string body;
    std::string contentType;
    bool keepAlive = false;
    std::string retryAfter;
};

// One client connection, plain or TLS (trusting only the given certificate and checking
// that it names 127.0.0.1), from 127.0.0.1 or another loopback address. Every step runs on
// the client's own io_context with a time limit.
class Connection {
public:
    Connection(unsigned short port, bool tls, const std::filesystem::path& certificate = {},
               const char* from = "127.0.0.1")
        : tls_(ssl::context::tls_client) {
        tcp::socket socket(ioc_);
        socket.open(tcp::v4());
        socket.bind(tcp::endpoint(net::ip::make_address(from), 0));
        socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
        if (!tls) {
            plain_ = std::make_unique<beast::tcp_stream>(std::move(socket));
            return;
        }
        tls_.load_verify_file(certificate.string());
        tls_.set_verify_mode(ssl::verify_peer);
        secure_ = std::make_unique<beast::ssl_stream<beast::tcp_stream>>(
            beast::tcp_stream(std::move(socket)), tls_);
        secure_->set_verify_callback(ssl::host_name_verification("127.0.0.1"));
        error_code ec;
        lowest().expires_after(clientTimeout);
        secure_->async_handshake(ssl::stream_base::client, [&](error_code e) { ec = e; });
        run();
        if (ec)
            throw std::runtime_error("TLS handshake failed: " + ec.message());
    }

    template <class Body> Reply send(http::request<Body>& request) {
        request.prepare_payload();
        error_code ec;
        lowest().expires_after(clientTimeout);
        withStream([&](auto& stream) {
            http::async_write(stream, request, [&](error_code e, std::size_t) { ec = e; });
        });
        run();
        if (ec)
            throw std::runtime_error("sending failed: " + ec.message());
        return receive(request.method() == http::verb::head);
    }

    // headOnly: the reply to HEAD, which announces a body it does not carry.
    Reply receive(bool headOnly = false) {
        http::response_parser<http::string_body> parser;
        parser.skip(headOnly);
        parser.body_limit(16 * 1024 * 1024);
        error_code ec;
        lowest().expires_after(clientTimeout);
        withStream([&](auto& stream) {
            http::async_read(stream, buffer_, parser, [&](error_code e, std::size_t) { ec = e; });
        });
        run();
        if (ec)
            throw std::runtime_error("receiving failed: " + ec.message());
        const auto& response = parser.get();
        return Reply{response.result_int(), response.body(),
                     std::string(response[http::field::content_type]), response.keep_alive(),
                     std::string(response[http::field::retry_after])};
    }

    // Raw bytes, as a misbehaving client would send them.
    void write(std::string_view bytes) {
        error_code ec;
        lowest().expires_after(clientTimeout);
        withStream([&](auto& stream) {
            net::async_write(stream, net::buffer(bytes),
                             [&](error_code e, std::size_t) { ec = e; });
        });
        run();
        if (ec)
            throw std::runtime_error("writing failed: " + ec.message());
    }

    // Everything the server sends until it ends the connection, and how it ended:
    // end of stream or reset; a time-out means the server kept the connection open.
    std::pair<std::string, error_code> readUntilClosed() {
        std::string received(static_cast<const char*>(buffer_.data().data()), buffer_.size());
        buffer_.consume(buffer_.size());
        std::array<char, 4096> chunk{};
        for (;;) {
            error_code ec;
            std::size_t n = 0;
            lowest().expires_after(clientTimeout);
            withStream([&](auto& stream) {
                stream.async_read_some(net::buffer(chunk), [&](error_code e, std::size_t count) {
                    ec = e;
                    n = count;
                });
            });
            run();
            received.append(chunk.data(), n);
            if (ec)
                return {received, ec};
        }
    }

private:
    beast::tcp_stream& lowest() { return plain_ ? *plain_ : beast::get_lowest_layer(*secure_); }
    template <class F> void withStream(F&& f) {
        if (plain_)
            f(*plain_);
        else
            f(*secure_);
    }
    void run() {
        ioc_.restart();
        ioc_.run();
    }

    net::io_context ioc_;
    ssl::context tls_;
    std::unique_ptr<beast::tcp_stream> plain_;
    std::unique_ptr<beast::ssl_stream<beast::tcp_stream>> secure_;
    beast::flat_buffer buffer_;
};

inline http::request<http::string_body> formRequest(const std::string& target,
                                                    const std::string& body) {
    http::request<http::string_body> request{http::verb::post, target, 11};
    request.set(http::field::host, "127.0.0.1");
    request.set(http::field::content_type, "application/x-www-form-urlencoded");
    request.body() = body;
    return request;
}

inline Reply post(const RunningService& service, bool tls, const std::string& target,
                  const std::string& body, const char* from = "127.0.0.1") {
    Connection connection(service.port(), tls, service.certificate(), from);
    auto request = formRequest(target, body);
    return connection.send(request);
}

inline Reply get(const RunningService& service, bool tls, const std::string& target,
                 http::verb method = http::verb::get, const char* from = "127.0.0.1") {
    Connection connection(service.port(), tls, service.certificate(), from);
    http::request<http::string_body> request{method, target, 11};
    request.set(http::field::host, "127.0.0.1");
    return connection.send(request);
}

using Row = std::vector<std::optional<std::string>>;

// The rows of a query, read through a connection of its own as an administrator would.
inline std::vector<Row> query(const std::filesystem::path& database, const std::string& sql) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(database.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    if (rc != SQLITE_OK)
        throw std::runtime_error("cannot open " + database.string());
    sqlite3_stmt* rawStatement = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &rawStatement, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.get()));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(rawStatement,
                                                                          sqlite3_finalize);
    std::vector<Row> rows;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        Row row;
        for (int column = 0; column < sqlite3_column_count(statement.get()); ++column) {
            const auto* text = sqlite3_column_text(statement.get(), column);
            if (text)
                row.emplace_back(std::string(reinterpret_cast<const char*>(text),
                                             sqlite3_column_bytes(statement.get(), column)));
            else
                row.emplace_back(std::nullopt);
        }
        rows.push_back(std::move(row));
    }
    if (step != SQLITE_DONE)
        throw std::runtime_error(sqlite3_errmsg(db.get()));
    return rows;
}

// A check's row is written after its reply: the query's rows once there are at least count
// of them, or whatever there is after a generous wait.
inline std::vector<Row> queryAtLeast(const std::filesystem::path& database, const std::string& sql,
                                     std::size_t count) {
    const auto giveUp = std::chrono::steady_clock::now() + clientTimeout;
    for (;;) {
        std::vector<Row> rows = query(database, sql);
        if (rows.size() >= count || std::chrono::steady_clock::now() > giveUp)
            return rows;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace servicetest
