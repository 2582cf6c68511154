#include "service/postlimits.h"

#include <algorithm>
#include <cmath>

namespace service {
namespace {

using std::chrono::seconds;
using std::chrono::system_clock;

constexpr std::int64_t secondsPerDay = 24 * 60 * 60;
// Beyond this many addresses, those that are back at rest are forgotten.
constexpr std::size_t rememberedAddresses = 100000;

std::int64_t secondsSinceEpoch(system_clock::time_point time) {
    return std::chrono::duration_cast<seconds>(time.time_since_epoch()).count();
}

} // namespace

seconds PostLimiter::admit(const std::string& address, std::size_t bytes) {
    const system_clock::time_point now = system_clock::now();
    const std::int64_t nowSeconds = secondsSinceEpoch(now);
    const std::int64_t today = nowSeconds / secondsPerDay;
    const double burst = limits_.perMinute;
    const double perSecond = limits_.perMinute / 60.0;

    const std::lock_guard lock(mutex_);
    if (accounts_.size() >= rememberedAddresses)
        forgetIdle(now, today);
    auto [it, added] = accounts_.try_emplace(address);
    Account& account = it->second;
    if (added) {
        account.tokens = burst;
        account.refilled = now;
        account.day = today;
    }
    if (account.day != today) {
        account.day = today;
        account.bytes = 0;
    }
    if (limits_.bytesPerDay > 0 && account.bytes + bytes > limits_.bytesPerDay)
        return seconds(std::max<std::int64_t>(1, (today + 1) * secondsPerDay - nowSeconds));
    if (limits_.perMinute > 0) {
        const double elapsed = std::chrono::duration<double>(now - account.refilled).count();
        account.tokens = std::min(burst, account.tokens + std::max(0.0, elapsed) * perSecond);
        account.refilled = now;
        if (account.tokens < 1.0)
            return seconds(
                static_cast<std::int64_t>(std::ceil((1.0 - account.tokens) / perSecond)));
        account.tokens -= 1.0;
    }
    account.bytes += bytes;
    return seconds(0);
}

void PostLimiter::forgetIdle(system_clock::time_point now, std::int64_t today) {
    const double perSecond = limits_.perMinute / 60.0;
    std::erase_if(accounts_, [&](const auto& entry) {
        const Account& account = entry.second;
        const double elapsed = std::chrono::duration<double>(now - account.refilled).count();
        const bool rested =
            limits_.perMinute == 0 || account.tokens + elapsed * perSecond >= limits_.perMinute;
        return rested && (account.day != today || account.bytes == 0);
    });
}

} // namespace service
