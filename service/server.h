#pragma once

#include "service/routes.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace service {

struct ServerLimits {
    std::size_t maxHeaderBytes = 16 * 1024;    // larger: 431
    std::size_t maxHeaderFields = 64;          // more: 400
    std::size_t maxBodyBytes = 256 * 1024;     // larger: 413 (a full feedback text fits easily)
    std::size_t maxConnections = 1024;         // when full, a connection idle so far makes room
    std::size_t maxConnectionsPerAddress = 32; // further ones from that address close at once
    std::size_t maxRequestsPerAddress = 8;     // in progress at once; further ones get 429
    unsigned maxRequestsPerConnection = 100;   // then the connection is closed after the reply
    // How long a new or kept-alive connection may wait before the first byte of a request;
    // short, since a real client sends at once and a silent one only holds a place.
    std::chrono::milliseconds firstByteTimeout{3000};
    // Bounds each further step of a connection: TLS handshake, reading the rest of a
    // request's header, reading its body, writing the reply.
    std::chrono::milliseconds timeout{15000};
    // On stop: what a connection that has not begun a request and one in the middle of one
    // still get at most.
    std::chrono::milliseconds stopIdleGrace{1000};
    std::chrono::milliseconds stopGrace{3000};
};

struct ServerConfig {
    std::string bindAddress = "127.0.0.1";
    unsigned short port = 0; // 0: the system chooses
    std::filesystem::path certificate;
    std::filesystem::path privateKey;
    unsigned threads = 4;
    ServerLimits limits;
};

// HTTP/1.1 over TLS and in plain text on one port: the first bytes of each connection
// tell which. Every complete request goes to the handler; the server takes care of limits,
// time-outs and the connection. Limits per client count an IPv4 address, or an IPv6 /64
// network, as one.
class Server {
public:
    // Runs on a network thread and must not block: it hands the reply to respond, at once
    // or later from any thread.
    using Handler =
        std::function<void(const Request& request, const Client& client, Respond respond)>;

    // Loads the certificate and starts listening; throws std::exception on failure.
    Server(const ServerConfig& config, Handler handler);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    unsigned short port() const;
    void start();
    // Graceful stop: no new connections (those the system had already accepted are taken
    // in); every request that arrives whole within the grace periods is answered, idle
    // connections are closed. Returns when every connection has ended.
    void stop();

    struct State; // shared with the connections; defined in server.cpp

private:
    std::unique_ptr<State> state_;
    std::vector<std::thread> threads_;
    unsigned threadCount_;
    bool stopped_ = false;
};

} // namespace service
