// Load for the service benchmark: parallel clients, each from its own loopback address,
// each sending one request per fresh connection as the program does, for a fixed time.
// Prints one line: key=value pairs with the count of successful requests, failures and
// latency percentiles in milliseconds.
//
//   bench-service-load PORT CERTIFICATE https|http get|post CLIENTS SECONDS TAG
#include <utility> // before Asio's coroutine support, which uses std::exchange without it

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

struct Settings {
    unsigned short port = 0;
    bool tls = false;
    bool post = false;
    Clock::time_point end;
    std::string tag;
};

struct Tally {
    std::vector<double> latencies; // milliseconds of each successful request
    std::size_t failures = 0;
};

http::request<http::string_body> makeRequest(const Settings& settings, unsigned client,
                                             unsigned number) {
    http::request<http::string_body> request{settings.post ? http::verb::post : http::verb::get,
                                             settings.post ? "/php/feedback.php" : "/", 11};
    request.set(http::field::host, "127.0.0.1");
    request.keep_alive(false);
    if (settings.post) {
        request.set(http::field::content_type, "application/x-www-form-urlencoded");
        request.body() = "cmd=feedback&appname=QUENLOW+-+Brindleaf&version=1.4&feedback=I+like+"
                         "it%21%0D" +
                         settings.tag + "+" + std::to_string(client) + "+" +
                         std::to_string(number) + "+some+words+about+the+program";
    }
    request.prepare_payload();
    return request;
}

bool succeeded(const Settings& settings, const http::response<http::string_body>& response) {
    return response.result() == http::status::ok && (!settings.post || response.body() == "OK");
}

template <class Stream>
net::awaitable<bool> roundTrip(Stream& stream, const Settings& settings, unsigned client,
                               unsigned number) {
    auto request = makeRequest(settings, client, number);
    co_await http::async_write(stream, request, net::use_awaitable);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    co_await http::async_read(stream, buffer, response, net::use_awaitable);
    co_return succeeded(settings, response);
}

net::awaitable<void> runClient(const Settings& settings, ssl::context& tls, unsigned client,
                               Tally& tally) {
    const auto executor = co_await net::this_coro::executor;
    // 127.1.0.1, 127.1.0.2, ...: a distinct address per client.
    const net::ip::address_v4 from(0x7F010000U + 1 + client);
    const tcp::endpoint target(net::ip::make_address("127.0.0.1"), settings.port);
    for (unsigned number = 0; Clock::now() < settings.end; ++number) {
        const auto started = Clock::now();
        bool ok = false;
        try {
            tcp::socket socket(executor);
            socket.open(tcp::v4());
            socket.bind(tcp::endpoint(from, 0));
            co_await socket.async_connect(target, net::use_awaitable);
            if (settings.tls) {
                beast::ssl_stream<tcp::socket> stream(std::move(socket), tls);
                co_await stream.async_handshake(ssl::stream_base::client, net::use_awaitable);
                ok = co_await roundTrip(stream, settings, client, number);
                beast::error_code ignored;
                stream.next_layer().close(ignored);
            } else {
                ok = co_await roundTrip(socket, settings, client, number);
            }
        } catch (const std::exception&) {
            ok = false;
        }
        if (ok)
            tally.latencies.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - started).count());
        else
            ++tally.failures;
    }
}

double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0;
    const auto index = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::cerr << "usage: " << argv[0]
                  << " PORT CERTIFICATE https|http get|post CLIENTS SECONDS TAG\n";
        return 2;
    }
    Settings settings;
    settings.port = static_cast<unsigned short>(std::stoi(argv[1]));
    settings.tls = std::string(argv[3]) == "https";
    settings.post = std::string(argv[4]) == "post";
    const auto clients = static_cast<unsigned>(std::stoul(argv[5]));
    const double seconds = std::stod(argv[6]);
    settings.tag = argv[7];

    ssl::context tls(ssl::context::tls_client);
    tls.load_verify_file(argv[2]);
    tls.set_verify_mode(ssl::verify_peer);

    net::io_context ioc;
    std::vector<Tally> tallies(clients);
    const auto started = Clock::now();
    settings.end = started + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(seconds));
    for (unsigned client = 0; client < clients; ++client)
        net::co_spawn(ioc, runClient(settings, tls, client, tallies[client]), net::detached);
    ioc.run();
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();

    std::vector<double> latencies;
    std::size_t failures = 0;
    for (const Tally& tally : tallies) {
        latencies.insert(latencies.end(), tally.latencies.begin(), tally.latencies.end());
        failures += tally.failures;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("ok=%zu failures=%zu seconds=%.3f rate=%.1f p50=%.1f p90=%.1f p99=%.1f max=%.1f\n",
                latencies.size(), failures, elapsed,
                static_cast<double>(latencies.size()) / elapsed, percentile(latencies, 0.50),
                percentile(latencies, 0.90), percentile(latencies, 0.99),
                latencies.empty() ? 0.0 : latencies.back());
    return 0;
}
