#include "servicetestkit.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace servicetest;

// Several hundred feedback posts from parallel clients, over both schemes, some on fresh
// connections and some on kept-alive ones: every post is answered "OK" and stored once.
TEST(ServiceLoad, ParallelFeedbackIsStoredOnceEach) {
    RunningService service;
    constexpr int clients = 8;
    constexpr int postsPerClient = 50;
    constexpr int postsPerConnection = 5;

    std::vector<std::vector<std::string>> failures(clients);
    std::vector<std::thread> threads;
    for (int client = 0; client < clients; ++client) {
        threads.emplace_back([&, client] {
            std::unique_ptr<Connection> connection;
            for (int i = 0; i < postsPerClient; ++i) {
                const std::string token =
                    "client " + std::to_string(client) + " post " + std::to_string(i);
                try {
                    if (!connection || i % postsPerConnection == 0)
                        connection = std::make_unique<Connection>(
                            service.port(), (client + i / postsPerConnection) % 2 == 0,
                            service.certificate());
                    auto request = formRequest(
                        "/php/feedback.php",
                        "cmd=feedback&appname=load&version=1.4&feedback=" + token + "%0D%0A%C3%BC");
                    const Reply reply = connection->send(request);
                    if (reply.body != "OK")
                        failures[client].push_back(token + ": " + reply.body);
                } catch (const std::exception& error) {
                    failures[client].push_back(token + ": " + error.what());
                    connection.reset();
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (const auto& clientFailures : failures)
        EXPECT_TRUE(clientFailures.empty()) << clientFailures.front();

    std::multiset<std::string> stored;
    for (const Row& row : query(service.database(), "SELECT feedback FROM feedback"))
        stored.insert(row[0].value_or("(null)"));
    EXPECT_EQ(stored.size(), static_cast<std::size_t>(clients * postsPerClient));
    for (int client = 0; client < clients; ++client) {
        for (int i = 0; i < postsPerClient; ++i) {
            const std::string text =
                "client " + std::to_string(client) + " post " + std::to_string(i) + "\r\n\xC3\xBC";
            EXPECT_EQ(stored.count(text), 1U) << text;
        }
    }
}
