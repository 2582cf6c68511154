#include "service/server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/core/detect_ssl.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <array>
#include <atomic>
#include <iostream>
#include <iterator>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace service {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using error_code = boost::system::error_code;

// How much a closing connection reads and throws away, so that a reply sent before the
// client finished sending is not lost to a reset.
constexpr std::size_t lingerBytes = 1024 * 1024;
// How long a closing connection waits for the client's end, at most.
constexpr std::chrono::milliseconds lingerTimeout{2000};

class Connection;

} // namespace

// What the server and its connections share. It outlives every connection: the server
// joins its threads, which hold the last references to connections, before freeing it.
struct Server::State {
    net::io_context ioc;
    ssl::context tls{ssl::context::tls_server};
    tcp::acceptor acceptor{net::make_strand(ioc)};
    net::steady_timer acceptRetry{acceptor.get_executor()};
    Handler handler;
    ServerLimits limits;
    std::atomic<bool> stopping{false};
    std::mutex mutex;
    std::unordered_map<const Connection*, std::weak_ptr<Connection>> connections;

    void accept();
    void add(const std::shared_ptr<Connection>& connection) {
        const std::lock_guard lock(mutex);
        connections.emplace(connection.get(), connection);
    }
    void remove(const Connection* connection) {
        const std::lock_guard lock(mutex);
        connections.erase(connection);
    }
    std::size_t connectionCount() {
        const std::lock_guard lock(mutex);
        return connections.size();
    }
};

namespace {

class Connection : public std::enable_shared_from_this<Connection> {
public:
    explicit Connection(Server::State& state) : state_(state) {}
    virtual ~Connection() { state_.remove(this); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Called when the server stops: ends the connection unless a request is under way.
    virtual void closeIfIdle() = 0;

protected:
    Server::State& state_;
};

template <class Stream> constexpr bool isTls = !std::is_same_v<Stream, beast::tcp_stream>;

// One connection after its scheme is known: reads requests and writes replies until the
// client or the server ends it.
template <class Stream> class HttpConnection : public Connection {
public:
    HttpConnection(Server::State& state, beast::tcp_stream&& stream, beast::flat_buffer&& buffer)
        : Connection(state), stream_(makeStream(std::move(stream), state.tls)),
          buffer_(std::move(buffer)) {}

    void start() {
        if constexpr (isTls<Stream>) {
            phase_ = Phase::Handshake;
            lowest().expires_after(state_.limits.timeout);
            // The detection already read the start of the handshake into the buffer.
            stream_.async_handshake(ssl::stream_base::server, buffer_.data(),
                                    [self = self()](error_code ec, std::size_t used) {
                                        if (ec)
                                            return self->closeNow();
                                        self->buffer_.consume(used);
                                        self->readHeader();
                                    });
        } else {
            readHeader();
        }
    }

    void closeIfIdle() override {
        net::post(stream_.get_executor(), [self = self()] {
            const bool waiting = self->phase_ == Phase::ReadingHeader &&
                                 self->buffer_.size() == 0 && !self->parser_->got_some();
            if (waiting || self->phase_ == Phase::Handshake || self->phase_ == Phase::Closing)
                self->closeNow();
        });
    }

private:
    enum class Phase { Handshake, ReadingHeader, Busy, Closing, Closed };

    static Stream makeStream(beast::tcp_stream&& stream, ssl::context& tls) {
        if constexpr (isTls<Stream>)
            return Stream(std::move(stream), tls);
        else
            return Stream(std::move(stream));
    }

    std::shared_ptr<HttpConnection> self() {
        return std::static_pointer_cast<HttpConnection>(shared_from_this());
    }
    beast::tcp_stream& lowest() { return beast::get_lowest_layer(stream_); }

    void readHeader() {
        // While stopping, a kept-alive connection with nothing more sent is done.
        if (state_.stopping && buffer_.size() == 0)
            return closeGracefully();
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(state_.limits.maxHeaderBytes));
        parser_->body_limit(state_.limits.maxBodyBytes);
        phase_ = Phase::ReadingHeader;
        lowest().expires_after(state_.limits.timeout);
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = self()](error_code ec, std::size_t) {
                                    self->phase_ = Phase::Busy;
                                    self->onHeader(ec);
                                });
    }

    void onHeader(error_code ec) {
        if (ec)
            return onReadError(ec);
        const auto& header = parser_->get();
        const auto fields = static_cast<std::size_t>(std::distance(header.begin(), header.end()));
        if (fields > state_.limits.maxHeaderFields)
            return replyError(http::status::bad_request, "Too many header fields\n");
        if (beast::iequals(header[http::field::expect], "100-continue")) {
            interim_.emplace(http::status::continue_, header.version());
            lowest().expires_after(state_.limits.timeout);
            return http::async_write(stream_, *interim_,
                                     [self = self()](error_code ec, std::size_t) {
                                         if (ec)
                                             return self->closeNow();
                                         self->readBody();
                                     });
        }
        readBody();
    }

    void readBody() {
        lowest().expires_after(state_.limits.timeout);
        http::async_read(stream_, buffer_, *parser_, [self = self()](error_code ec, std::size_t) {
            if (ec)
                return self->onReadError(ec);
            self->serve();
        });
    }

    void onReadError(error_code ec) {
        if (ec == http::error::body_limit)
            return replyError(http::status::payload_too_large, "Request body too large\n");
        if (ec == http::error::header_limit)
            return replyError(http::status::request_header_fields_too_large,
                              "Request header too large\n");
        // A malformed request gets a reply; an ended, failed or timed-out connection none.
        if (ec.category() == make_error_code(http::error::need_more).category() &&
            ec != http::error::end_of_stream && ec != http::error::partial_message)
            return replyError(http::status::bad_request, "Malformed request\n");
        closeNow();
    }

    void serve() {
        const Request& request = parser_->get();
        Response response;
        try {
            response = state_.handler(request, isTls<Stream>);
        } catch (const std::exception& error) {
            std::cerr << "brindleaf-service: " << error.what() << std::endl;
            response = textResponse(http::status::internal_server_error, "Internal error\n");
        }
        ++served_;
        response.version(request.version());
        const bool keepAlive = request.keep_alive() && !state_.stopping &&
                               served_ < state_.limits.maxRequestsPerConnection;
        reply(std::move(response), keepAlive);
    }

    void replyError(http::status status, const char* text) {
        Response response = textResponse(status, text);
        response.version(11);
        reply(std::move(response), false);
    }

    void reply(Response&& response, bool keepAlive) {
        response.keep_alive(keepAlive);
        response_ = std::move(response);
        phase_ = Phase::Busy;
        lowest().expires_after(state_.limits.timeout);
        http::async_write(stream_, *response_,
                          [self = self(), keepAlive](error_code ec, std::size_t) {
                              self->response_.reset();
                              if (ec)
                                  return self->closeNow();
                              if (keepAlive)
                                  return self->readHeader();
                              self->closeGracefully();
                          });
    }

    void closeGracefully() {
        phase_ = Phase::Closing;
        lowest().expires_after(
            std::min<std::chrono::milliseconds>(state_.limits.timeout, lingerTimeout));
        if constexpr (isTls<Stream>) {
            stream_.async_shutdown([self = self()](error_code) { self->closeNow(); });
        } else {
            error_code ignored;
            lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
            drain();
        }
    }

    void drain() {
        lowest().async_read_some(net::buffer(scratch_),
                                 [self = self()](error_code ec, std::size_t n) {
                                     self->drained_ += n;
                                     if (ec || self->drained_ > lingerBytes)
                                         return self->closeNow();
                                     self->drain();
                                 });
    }

    void closeNow() {
        phase_ = Phase::Closed;
        error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        lowest().close();
    }

    Stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::optional<http::response<http::empty_body>> interim_;
    std::optional<Response> response_;
    std::array<char, 4096> scratch_{};
    std::size_t drained_ = 0;
    unsigned served_ = 0;
    Phase phase_ = Phase::Handshake;
};

// A new connection until its first bytes show whether it speaks TLS.
class Detector : public Connection {
public:
    Detector(Server::State& state, tcp::socket&& socket)
        : Connection(state), stream_(std::move(socket)) {}

    void start() {
        net::dispatch(stream_.get_executor(), [self = self()] {
            self->stream_.expires_after(self->state_.limits.timeout);
            beast::async_detect_ssl(self->stream_, self->buffer_,
                                    [self](error_code ec, bool tls) { self->handOver(ec, tls); });
        });
    }

    void closeIfIdle() override {
        net::post(stream_.get_executor(), [self = self()] {
            if (!self->handedOver_ && self->buffer_.size() == 0)
                self->stream_.close();
        });
    }

private:
    std::shared_ptr<Detector> self() {
        return std::static_pointer_cast<Detector>(shared_from_this());
    }

    void handOver(error_code ec, bool tls) {
        if (ec)
            return; // garbage, time-out or closed: the socket closes with this object
        handedOver_ = true;
        if (tls)
            run(std::make_shared<HttpConnection<beast::ssl_stream<beast::tcp_stream>>>(
                state_, std::move(stream_), std::move(buffer_)));
        else
            run(std::make_shared<HttpConnection<beast::tcp_stream>>(state_, std::move(stream_),
                                                                    std::move(buffer_)));
    }

    template <class C> void run(const std::shared_ptr<C>& connection) {
        state_.add(connection);
        connection->start();
    }

    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    bool handedOver_ = false;
};

} // namespace

void Server::State::accept() {
    acceptor.async_accept(net::make_strand(ioc), [this](error_code ec, tcp::socket socket) {
        if (!acceptor.is_open())
            return;
        if (ec) {
            // Out of descriptors and the like: try again shortly instead of spinning.
            std::cerr << "brindleaf-service: accept failed: " << ec.message() << std::endl;
            acceptRetry.expires_after(std::chrono::milliseconds(100));
            acceptRetry.async_wait([this](error_code waitError) {
                if (!waitError)
                    accept();
            });
            return;
        }
        if (connectionCount() < limits.maxConnections && !stopping) {
            auto detector = std::make_shared<Detector>(*this, std::move(socket));
            add(detector);
            detector->start();
        }
        accept();
    });
}

Server::Server(const ServerConfig& config, Handler handler)
    : state_(std::make_unique<State>()), threadCount_(std::max(1U, config.threads)) {
    state_->handler = std::move(handler);
    state_->limits = config.limits;

    ssl::context& tls = state_->tls;
    tls.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                    ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                    ssl::context::single_dh_use);
    tls.use_certificate_chain_file(config.certificate.string());
    tls.use_private_key_file(config.privateKey.string(), ssl::context::pem);

    tcp::acceptor& acceptor = state_->acceptor;
    const tcp::endpoint endpoint(net::ip::make_address(config.bindAddress), config.port);
    acceptor.open(endpoint.protocol());
    acceptor.set_option(net::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(net::socket_base::max_listen_connections);
}

Server::~Server() {
    stop();
}

unsigned short Server::port() const {
    return state_->acceptor.local_endpoint().port();
}

void Server::start() {
    if (!threads_.empty() || stopped_)
        return;
    state_->accept();
    for (unsigned i = 0; i < threadCount_; ++i) {
        threads_.emplace_back([state = state_.get()] {
            for (;;) {
                try {
                    state->ioc.run();
                    return;
                } catch (const std::exception& error) {
                    std::cerr << "brindleaf-service: " << error.what() << std::endl;
                }
            }
        });
    }
}

void Server::stop() {
    if (stopped_)
        return;
    stopped_ = true;
    std::vector<std::shared_ptr<Connection>> open;
    {
        const std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        for (const auto& [key, connection] : state_->connections) {
            if (auto alive = connection.lock())
                open.push_back(std::move(alive));
        }
    }
    net::post(state_->acceptor.get_executor(), [state = state_.get()] {
        error_code ignored;
        state->acceptor.close(ignored);
        state->acceptRetry.cancel();
    });
    for (const auto& connection : open)
        connection->closeIfIdle();
    open.clear();
    if (threads_.empty()) {
        // Never started: run what is queued (the close above) so no handler is left behind.
        state_->ioc.run();
    }
    for (auto& thread : threads_)
        thread.join();
    threads_.clear();
}

} // namespace service
