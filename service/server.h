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
    std::size_t maxHeaderBytes = 16 * 1024;  // larger: 431
    std::size_t maxHeaderFields = 64;        // more: 400
    std::size_t maxBodyBytes = 256 * 1024;   // larger: 413 (a full feedback text fits easily)
    std::size_t maxConnections = 1024;       // further connections are closed at once
    unsigned maxRequestsPerConnection = 100; // then the connection is closed after the reply
    // Bounds each step of a connection: TLS detection and handshake, reading a request's
    // header (which includes waiting for it), reading its body, writing the reply.
    std::chrono::milliseconds timeout{15000};
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
// time-outs and the connection.
class Server {
public:
    using Handler = std::function<Response(const Request& request, bool secure)>;

    // Loads the certificate and starts listening; throws std::exception on failure.
    Server(const ServerConfig& config, Handler handler);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    unsigned short port() const;
    void start();
    // Graceful stop: no new connections; requests already being received are answered,
    // idle connections are closed. Returns when every connection has ended.
    void stop();

    struct State; // shared with the connections; defined in server.cpp

private:
    std::unique_ptr<State> state_;
    std::vector<std::thread> threads_;
    unsigned threadCount_;
    bool stopped_ = false;
};

} // namespace service
