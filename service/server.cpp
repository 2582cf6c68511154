#include "service/server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/core/detect_ssl.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <linux/filter.h>
#include <sys/socket.h>

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
using Clock = std::chrono::steady_clock;

// How much a closing connection reads and throws away, so that a reply sent before the
// client finished sending is not lost to a reset.
constexpr std::size_t lingerBytes = 1024 * 1024;
// How long a closing connection waits for the client's end, at most.
constexpr std::chrono::milliseconds lingerTimeout{2000};
// How much is read at once while waiting for a request.
constexpr std::size_t readChunk = 4096;

class Connection;

// Whom the per-client limits count: an IPv4 address, or the /64 network of an IPv6 address
// (one household or machine usually holds a whole /64).
std::string clientAddress(const net::ip::address& address) {
    if (!address.is_v6())
        return address.to_string();
    const net::ip::address_v6 v6 = address.to_v6();
    if (v6.is_v4_mapped())
        return net::ip::make_address_v4(net::ip::v4_mapped, v6).to_string();
    net::ip::address_v6::bytes_type bytes = v6.to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return net::ip::address_v6(bytes).to_string() + "/64";
}

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

    struct Peer {
        std::size_t connections = 0;
        std::size_t requests = 0;
    };
    std::mutex mutex;
    std::unordered_map<const Connection*, std::weak_ptr<Connection>> connections;
    std::unordered_map<std::string, Peer> peers;

    void accept();
    void admit(tcp::socket&& socket);
    void stopAccepting();
    // A detector hands its place, with its address's count, to the connection it made.
    void replace(const Connection* old, const std::shared_ptr<Connection>& successor) {
        const std::lock_guard lock(mutex);
        connections.erase(old);
        connections.emplace(successor.get(), successor);
    }
    void remove(const Connection* connection, const std::string& address) {
        const std::lock_guard lock(mutex);
        if (connections.erase(connection) == 0)
            return;
        const auto peer = peers.find(address);
        if (peer != peers.end() && --peer->second.connections == 0 && peer->second.requests == 0)
            peers.erase(peer);
    }
    bool beginRequest(const std::string& address) {
        const std::lock_guard lock(mutex);
        Peer& peer = peers[address];
        if (peer.requests >= limits.maxRequestsPerAddress)
            return false;
        ++peer.requests;
        return true;
    }
    void endRequest(const std::string& address) {
        const std::lock_guard lock(mutex);
        const auto peer = peers.find(address);
        if (peer != peers.end() && --peer->second.requests == 0 && peer->second.connections == 0)
            peers.erase(peer);
    }

    // The time a connection gets for the first byte of a request, and for any other step.
    std::chrono::milliseconds idleWait() const {
        return stopping ? std::min(limits.firstByteTimeout, limits.stopIdleGrace)
                        : limits.firstByteTimeout;
    }
    std::chrono::milliseconds stepWait() const {
        return stopping ? std::min(limits.timeout, limits.stopGrace) : limits.timeout;
    }
};

namespace {

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(Server::State& state, const net::any_io_executor& executor, std::string address)
        : state_(state), address_(std::move(address)), executor_(executor), timer_(executor) {}
    virtual ~Connection() { state_.remove(this, address_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Both may be called from any thread.
    // The server stops: cut the time left to what a stopping server grants.
    virtual void onStop() = 0;
    // The server is full and chose this connection to make room: it closes unless a
    // request has begun in the meantime.
    virtual void evict() = 0;

    // Nothing of a request has arrived yet; cleared by whoever claims the connection to
    // make room. The longest idle goes first: a real client is idle for moments only.
    std::atomic<bool> idle{false};
    std::atomic<Clock::rep> idleSince{0};
    void becomeIdle() {
        idleSince = Clock::now().time_since_epoch().count();
        idle = true;
    }

protected:
    // One deadline for whatever the connection is waiting for; on expiry it closes.
    void arm(std::chrono::milliseconds wait) {
        deadline_ = Clock::now() + wait;
        timer_.expires_at(deadline_);
        timer_.async_wait([weak = weak_from_this()](error_code ec) {
            if (ec)
                return;
            if (const auto self = weak.lock())
                self->onTimeout();
        });
    }
    void shorten(std::chrono::milliseconds wait) {
        if (Clock::now() + wait < deadline_)
            arm(wait);
    }
    void disarm() {
        timer_.cancel();
        deadline_ = Clock::time_point::max();
    }
    virtual void onTimeout() = 0;

    Server::State& state_;
    const std::string address_;
    // The connection's strand. Kept apart from the stream, which a detector moves away on
    // its own strand while another thread may be asking it to stop or make room.
    const net::any_io_executor executor_;

private:
    net::steady_timer timer_;
    Clock::time_point deadline_ = Clock::time_point::max();
};

template <class Stream> constexpr bool isTls = !std::is_same_v<Stream, beast::tcp_stream>;

// One connection after its scheme is known: reads requests and writes replies until the
// client or the server ends it.
template <class Stream> class HttpConnection : public Connection {
public:
    HttpConnection(Server::State& state, beast::tcp_stream&& stream, beast::flat_buffer&& buffer,
                   const std::string& address)
        : Connection(state, stream.get_executor(), address),
          stream_(makeStream(std::move(stream), state.tls)), buffer_(std::move(buffer)) {}
    ~HttpConnection() override {
        if (inRequest_)
            state_.endRequest(address_);
    }

    void start() {
        if constexpr (isTls<Stream>) {
            phase_ = Phase::Handshake;
            arm(state_.stepWait());
            // The detection already read the start of the handshake into the buffer.
            stream_.async_handshake(ssl::stream_base::server, buffer_.data(),
                                    [self = self()](error_code ec, std::size_t used) {
                                        if (ec)
                                            return self->closeNow();
                                        self->buffer_.consume(used);
                                        self->waitForRequest();
                                    });
        } else {
            waitForRequest();
        }
    }

    void onStop() override {
        net::post(executor_, [self = self()] {
            switch (self->phase_) {
            case Phase::Idle:
                return self->shorten(self->state_.limits.stopIdleGrace);
            case Phase::Handshake:
            case Phase::Reading:
            case Phase::Writing:
                return self->shorten(self->state_.limits.stopGrace);
            case Phase::Handling: // the handler answers in bounded time
            case Phase::Closing:  // bounded by the linger time
            case Phase::Closed:
                return;
            }
        });
    }

    void evict() override {
        net::post(executor_, [self = self()] {
            if (self->phase_ == Phase::Idle && !self->requestPending())
                self->closeNow();
        });
    }

private:
    enum class Phase { Handshake, Idle, Reading, Handling, Writing, Closing, Closed };

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

    bool requestPending() {
        error_code ec;
        return buffer_.size() > 0 || lowest().socket().available(ec) > 0;
    }

    void onTimeout() override { closeNow(); }

    // The first byte of a request gets the short wait; the rest of it the longer one.
    void waitForRequest() {
        if (buffer_.size() > 0)
            return readRequest();
        phase_ = Phase::Idle;
        becomeIdle();
        arm(state_.idleWait());
        stream_.async_read_some(buffer_.prepare(readChunk),
                                [self = self()](error_code ec, std::size_t n) {
                                    self->idle = false;
                                    if (ec)
                                        return self->closeNow();
                                    self->buffer_.commit(n);
                                    self->readRequest();
                                });
    }

    void readRequest() {
        idle = false;
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(state_.limits.maxHeaderBytes));
        parser_->body_limit(state_.limits.maxBodyBytes);
        phase_ = Phase::Reading;
        arm(state_.stepWait());
        http::async_read_header(
            stream_, buffer_, *parser_,
            [self = self()](error_code ec, std::size_t) { self->onHeader(ec); });
    }

    void onHeader(error_code ec) {
        if (ec)
            return onReadError(ec);
        const auto& header = parser_->get();
        const auto fields = static_cast<std::size_t>(std::distance(header.begin(), header.end()));
        if (fields > state_.limits.maxHeaderFields)
            return replyError(http::status::bad_request, "Too many header fields\n");
        if (!state_.beginRequest(address_))
            return replyError(http::status::too_many_requests,
                              "Too many requests from your address at once\n");
        inRequest_ = true;
        if (beast::iequals(header[http::field::expect], "100-continue")) {
            interim_.emplace(http::status::continue_, header.version());
            arm(state_.stepWait());
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
        arm(state_.stepWait());
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
        phase_ = Phase::Handling;
        arm(state_.stepWait());
        // The reply may come from another thread; it returns to this connection's strand,
        // and the tracked executor keeps the server running until it has. The connection is
        // released before the work: were the work released first, the server could stop and
        // free its strands while a handler's thread still ran this connection's destructor.
        struct Pending {
            net::any_io_executor work;
            std::shared_ptr<HttpConnection> self;
            std::atomic<bool> answered{false};
        };
        auto pending = std::make_shared<Pending>(
            net::prefer(executor_, net::execution::outstanding_work.tracked), self());
        Respond respond = [pending](Response response) {
            if (pending->answered.exchange(true))
                return;
            net::post(pending->work,
                      [self = pending->self, response = std::move(response)]() mutable {
                          self->answer(std::move(response));
                      });
        };
        try {
            state_.handler(parser_->get(), Client{isTls<Stream>, address_}, respond);
        } catch (const std::exception& error) {
            std::cerr << "brindleaf-service: " << error.what() << std::endl;
            respond(textResponse(http::status::internal_server_error, "Internal error\n"));
        }
    }

    void answer(Response&& response) {
        if (phase_ != Phase::Handling)
            return; // timed out meanwhile
        const Request& request = parser_->get();
        ++served_;
        response.version(request.version());
        const bool keepAlive = request.keep_alive() && !state_.stopping &&
                               served_ < state_.limits.maxRequestsPerConnection;
        reply(std::move(response), keepAlive);
    }

    void replyError(http::status status, const char* text) {
        Response response = textResponse(status, text);
        response.version(11);
        if (status == http::status::too_many_requests)
            response.set(http::field::retry_after, "1");
        reply(std::move(response), false);
    }

    void reply(Response&& response, bool keepAlive) {
        response.keep_alive(keepAlive);
        response_ = std::move(response);
        phase_ = Phase::Writing;
        arm(state_.stepWait());
        // The request no longer counts once its reply goes out: the client may read it and
        // send the next one before this write's completion runs.
        endRequest();
        http::async_write(stream_, *response_,
                          [self = self(), keepAlive](error_code ec, std::size_t) {
                              self->response_.reset();
                              if (ec)
                                  return self->closeNow();
                              if (keepAlive)
                                  return self->waitForRequest();
                              self->closeGracefully();
                          });
    }

    void endRequest() {
        if (inRequest_)
            state_.endRequest(address_);
        inRequest_ = false;
    }

    void closeGracefully() {
        phase_ = Phase::Closing;
        arm(std::min<std::chrono::milliseconds>(state_.limits.timeout, lingerTimeout));
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
        disarm();
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
    bool inRequest_ = false;
    Phase phase_ = Phase::Handshake;
};

// A new connection until its first bytes show whether it speaks TLS.
class Detector : public Connection {
public:
    Detector(Server::State& state, tcp::socket&& socket, std::string address)
        : Connection(state, socket.get_executor(), std::move(address)), stream_(std::move(socket)) {
        becomeIdle();
    }

    void start() {
        net::dispatch(executor_, [self = self()] {
            self->arm(self->state_.idleWait());
            beast::async_detect_ssl(self->stream_, self->buffer_,
                                    [self](error_code ec, bool tls) { self->handOver(ec, tls); });
        });
    }

    void onStop() override {
        net::post(executor_, [self = self()] {
            if (!self->handedOver_)
                self->shorten(self->state_.limits.stopIdleGrace);
        });
    }

    void evict() override {
        net::post(executor_, [self = self()] {
            error_code ec;
            if (!self->handedOver_ && self->buffer_.size() == 0 &&
                self->stream_.socket().available(ec) == 0)
                self->stream_.close();
        });
    }

private:
    std::shared_ptr<Detector> self() {
        return std::static_pointer_cast<Detector>(shared_from_this());
    }

    void onTimeout() override { stream_.close(); }

    void handOver(error_code ec, bool tls) {
        idle = false;
        disarm();
        if (ec)
            return; // garbage, time-out or closed: the socket closes with this object
        handedOver_ = true;
        if (tls)
            run(std::make_shared<HttpConnection<beast::ssl_stream<beast::tcp_stream>>>(
                state_, std::move(stream_), std::move(buffer_), address_));
        else
            run(std::make_shared<HttpConnection<beast::tcp_stream>>(state_, std::move(stream_),
                                                                    std::move(buffer_), address_));
    }

    template <class C> void run(const std::shared_ptr<C>& connection) {
        state_.replace(this, connection);
        connection->start();
    }

    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    bool handedOver_ = false;
};

} // namespace

void Server::State::accept() {
    acceptor.async_accept(net::make_strand(ioc), [this](error_code ec, tcp::socket socket) {
        if (!ec)
            admit(std::move(socket));
        if (!acceptor.is_open() || stopping)
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
        accept();
    });
}

void Server::State::admit(tcp::socket&& socket) {
    error_code ec;
    const tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec)
        return;
    const std::string address = clientAddress(remote.address());
    // Connections looked at while the lock is held are released after it: the last
    // reference going away runs a destructor that takes the lock.
    std::vector<std::shared_ptr<Connection>> looked;
    std::shared_ptr<Connection> victim;
    std::shared_ptr<Detector> detector;
    {
        const std::lock_guard lock(mutex);
        const auto peer = peers.find(address);
        if (peer != peers.end() && peer->second.connections >= limits.maxConnectionsPerAddress)
            return;
        if (connections.size() >= limits.maxConnections) {
            // Full: a connection that has sent nothing gives way to the newcomer; one that
            // is sending a request is never dropped for it.
            for (const auto& [key, weak] : connections) {
                auto connection = weak.lock();
                if (connection && connection->idle &&
                    (!victim || connection->idleSince < victim->idleSince))
                    victim = connection;
                looked.push_back(std::move(connection));
            }
            if (!victim || !victim->idle.exchange(false))
                return;
        }
        ++peers[address].connections;
        detector = std::make_shared<Detector>(*this, std::move(socket), address);
        connections.emplace(detector.get(), detector);
    }
    if (victim)
        victim->evict();
    detector->start();
}

void Server::State::stopAccepting() {
    error_code ignored;
    acceptRetry.cancel();
    // Attempts to connect from now on are dropped before they complete: such a client sees
    // its connection refused rather than a request cut off when the socket closes.
    sock_filter dropAll{BPF_RET | BPF_K, 0, 0, 0};
    const sock_fprog filter{1, &dropAll};
    setsockopt(acceptor.native_handle(), SOL_SOCKET, SO_ATTACH_FILTER, &filter, sizeof filter);
    // Connections the system has already completed are taken in and served.
    acceptor.cancel(ignored);
    acceptor.non_blocking(true, ignored);
    for (;;) {
        tcp::socket socket(net::make_strand(ioc));
        acceptor.accept(socket, ignored);
        if (ignored)
            break;
        admit(std::move(socket));
    }
    acceptor.close(ignored);
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
    state_->stopping = true;
    net::post(state_->acceptor.get_executor(), [state = state_.get()] { state->stopAccepting(); });
    std::vector<std::shared_ptr<Connection>> open;
    {
        const std::lock_guard lock(state_->mutex);
        for (const auto& [key, connection] : state_->connections)
            open.push_back(connection.lock());
    }
    for (const auto& connection : open) {
        if (connection)
            connection->onStop();
    }
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
