// The built brindleaf-service program: start-up, certificate, options and SIGTERM.
#include "servicetestkit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace servicetest;

namespace {

const std::string program = BRINDLEAF_BIN_DIR "/brindleaf-service";

// The program running as a child process, its stdout and stderr read through one pipe.
class ServiceProcess {
public:
    explicit ServiceProcess(std::vector<std::string> arguments) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        output_ = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        arguments.insert(arguments.begin(), program);
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0)
            throw std::runtime_error("cannot start " + program);
    }
    ~ServiceProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(output_);
    }

    // Reads output until a line contains the text; returns that line ("" at end of output).
    std::string waitForLine(const std::string& text) {
        for (;;) {
            const auto end = output.find('\n', scanned_);
            if (end != std::string::npos) {
                const std::string line = output.substr(scanned_, end - scanned_);
                scanned_ = end + 1;
                if (line.find(text) != std::string::npos)
                    return line;
                continue;
            }
            if (!readMore())
                return "";
        }
    }

    void signal(int number) { kill(pid_, number); }

    // The exit status; -1 if the program did not end in time or ended by a signal.
    int wait() {
        for (int i = 0; i < 6000; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                while (readMore()) {
                }
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    std::string output;

private:
    bool readMore() {
        pollfd fd{output_, POLLIN, 0};
        if (poll(&fd, 1, 60000) <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = read(output_, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        output.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = 0;
    int output_ = -1;
    std::size_t scanned_ = 0;
};

unsigned short listeningPort(ServiceProcess& process) {
    const std::string line = process.waitForLine("Listening on 127.0.0.1:");
    if (line.empty())
        throw std::runtime_error("service did not start:\n" + process.output);
    return static_cast<unsigned short>(std::stoi(line.substr(line.rfind(':') + 1)));
}

Reply postTo(unsigned short port, bool tls, const std::filesystem::path& certificate,
             const std::string& target, const std::string& body) {
    Connection connection(port, tls, certificate);
    auto request = formRequest(target, body);
    return connection.send(request);
}

class ServiceProgram : public ::testing::Test {
protected:
    std::filesystem::path folder() const { return folder_.path().toStdString(); }
    QTemporaryDir folder_;
};

} // namespace

TEST_F(ServiceProgram, MakesItsCertificateOnceAndServesBothSchemes) {
    const std::filesystem::path data = folder() / "data";
    const std::vector<std::string> arguments{"--port",
                                             "0",
                                             "--db",
                                             (data / "service.db").string(),
                                             "--release-version=2.0",
                                             "--release-url",
                                             "https://example.test/brindleaf-2.0.tar.gz"};
    const std::filesystem::path certificate = data / "tls-certificate.pem";
    {
        ServiceProcess process(arguments);
        EXPECT_NE(process.waitForLine("Created self-signed certificate"), "");
        EXPECT_NE(process.waitForLine("SSL_CERT_FILE=" + certificate.string()), "");
        const unsigned short port = listeningPort(process);

        const Reply check = postTo(port, true, certificate, "/php/check2.php",
                                   "cmd=check&appname=A&version=1.4&os=X&guid=g&howmany=1");
        EXPECT_TRUE(
            check.body.starts_with("<version>2.0</version>\r\n"
                                   "<url>https://example.test/brindleaf-2.0.tar.gz</url>\r\n"))
            << check.body;
        EXPECT_EQ(postTo(port, false, {}, "/php/feedback.php", "cmd=feedback&feedback=plain").body,
                  "OK");
        process.signal(SIGTERM);
        EXPECT_EQ(process.wait(), 0) << process.output;
        EXPECT_NE(process.output.find("Stopped"), std::string::npos);
    }
    struct stat key {};
    ASSERT_EQ(stat((data / "tls-private-key.pem").c_str(), &key), 0);
    EXPECT_EQ(key.st_mode & 0777, 0600U);

    ServiceProcess again(arguments);
    EXPECT_NE(again.waitForLine("Using self-signed certificate " + certificate.string()), "");
    const unsigned short port = listeningPort(again);
    EXPECT_EQ(
        postTo(port, true, certificate, "/php/feedback.php", "cmd=feedback&feedback=tls").body,
        "OK");
    again.signal(SIGINT);
    EXPECT_EQ(again.wait(), 0);
    EXPECT_EQ(query(data / "service.db", "SELECT scheme, feedback FROM feedback ORDER BY id"),
              (std::vector<Row>{{"http", "plain"}, {"https", "tls"}}));
    EXPECT_EQ(
        query(data / "service.db", "SELECT scheme, version, offered_version, result FROM checks"),
        (std::vector<Row>{{"https", "1.4", "2.0", "1"}}));
}

// Clients keep posting on fresh connections over both schemes while the service is told to
// stop, and one client is half-way through a request it never finishes. Every request that
// was sent whole gets its reply (no empty replies), what was acknowledged is stored once and
// nothing else is, and the service ends within a few seconds despite the unfinished request.
TEST_F(ServiceProgram, SigtermAnswersEveryRequestSentWhole) {
    const std::filesystem::path database = folder() / "service.db";
    ServiceProcess process({"--port", "0", "--db", database.string(), "--posts-per-minute", "0"});
    const unsigned short port = listeningPort(process);
    const std::filesystem::path certificate = folder() / "tls-certificate.pem";

    Connection unfinished(port, false);
    unfinished.write("POST /php/feedback.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                     "Content-Length: 100\r\n\r\ncmd=feedback");

    constexpr int clients = 6;
    constexpr int maxPostsPerClient = 2000; // keeps the test finite if the service never stops
    std::mutex mutex;
    std::vector<std::string> acknowledged;
    std::vector<std::string> unanswered;
    std::atomic<int> acknowledgedCount{0};
    std::vector<std::thread> threads;
    for (int client = 0; client < clients; ++client) {
        threads.emplace_back([&, client] {
            for (int i = 0; i < maxPostsPerClient; ++i) {
                const std::string token = std::to_string(client) + "-" + std::to_string(i);
                const bool tls = (client + i) % 2 == 0;
                auto request = formRequest("/php/feedback.php", "cmd=feedback&feedback=" + token);
                request.prepare_payload();
                std::ostringstream bytes;
                bytes << request;
                std::unique_ptr<Connection> connection;
                try {
                    connection = std::make_unique<Connection>(port, tls, certificate);
                    connection->write(bytes.str());
                } catch (const std::exception&) {
                    return; // refused or cut off before the request was sent whole
                }
                try {
                    const Reply reply = connection->receive();
                    const std::lock_guard lock(mutex);
                    if (reply.body == "OK") {
                        acknowledged.push_back(token);
                        ++acknowledgedCount;
                    } else {
                        unanswered.push_back(token + ": " + reply.body);
                    }
                } catch (const std::exception& error) {
                    const std::lock_guard lock(mutex);
                    unanswered.push_back(token + ": " + error.what());
                }
            }
        });
    }
    for (int i = 0; i < 6000 && acknowledgedCount < 60; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto signalled = std::chrono::steady_clock::now();
    process.signal(SIGTERM);
    const int status = process.wait();
    const auto stopping = std::chrono::steady_clock::now() - signalled;
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(status, 0) << process.output;
    EXPECT_LT(stopping, std::chrono::seconds(10));
    ASSERT_GE(acknowledged.size(), 60U);
    EXPECT_TRUE(unanswered.empty()) << unanswered.size() << " requests sent whole got no reply, "
                                    << "the first " << unanswered.front();
    const auto [received, ec] = unfinished.readUntilClosed();
    EXPECT_TRUE(received.empty()) << received;

    std::multiset<std::string> stored;
    for (const Row& row : query(database, "SELECT feedback FROM feedback"))
        stored.insert(row[0].value_or(""));
    EXPECT_EQ(stored, std::multiset<std::string>(acknowledged.begin(), acknowledged.end()));
}

TEST_F(ServiceProgram, RefusesBadOptionsAndBusyPorts) {
    const std::string database = (folder() / "service.db").string();
    const std::vector<std::vector<std::string>> badOptions{
        {"--port", "http"},
        {"--port", "70000"},
        {"--cert", "only-a-certificate.pem"},
        {"--bind", "localhost:80"},
        {"--release-version", "1.5\r\n<result>0</result>"},
        {"--release-url", "file:///etc/passwd"},
        {"--release-url", "javascript:alert(1)"},
        {"--release-url", "https://"},
        {"--release-url", "http:///path/only"},
        {"--daily-quota", "lots"},
        {"--daily-quota", "-1M"},
        {"--posts-per-minute", "-1"},
        {"--max-connections-per-address", "0"},
        {"--no-such-option"},
        {"--db"},
    };
    for (const auto& options : badOptions) {
        SCOPED_TRACE(options.front());
        ServiceProcess process(options);
        EXPECT_EQ(process.wait(), 2);
        EXPECT_NE(process.output.find("Usage:"), std::string::npos) << process.output;
    }

    net::io_context ioc;
    tcp::acceptor busy(ioc, tcp::endpoint(net::ip::make_address("127.0.0.1"), 0));
    ServiceProcess process(
        {"--port", std::to_string(busy.local_endpoint().port()), "--db", database});
    EXPECT_EQ(process.wait(), 1);
    EXPECT_NE(process.output.find("in use"), std::string::npos) << process.output;
}
