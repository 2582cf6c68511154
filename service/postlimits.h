#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace service {

// What one client address may post: a steady rate with a burst of a minute's worth, and a
// number of body bytes per day (UTC). Zero switches a limit off.
struct PostLimits {
    unsigned perMinute = 60;
    std::uint64_t bytesPerDay = 8 * 1024 * 1024;
};

// Counts the posts of each address. Safe to call from several threads.
class PostLimiter {
public:
    explicit PostLimiter(PostLimits limits) : limits_(limits) {}

    // Zero when a post of this many body bytes may go ahead (and counts it), otherwise how
    // long the address has to wait, at least a second.
    std::chrono::seconds admit(const std::string& address, std::size_t bytes);

private:
    struct Account {
        double tokens = 0;
        std::chrono::system_clock::time_point refilled;
        std::int64_t day = 0;
        std::uint64_t bytes = 0;
    };
    void forgetIdle(std::chrono::system_clock::time_point now, std::int64_t today);

    const PostLimits limits_;
    std::mutex mutex_;
    std::unordered_map<std::string, Account> accounts_;
};

} // namespace service
