#include "service/options.h"

#include <boost/asio/ip/address.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace service {
namespace {

unsigned long parseNumber(const std::string& option, const std::string& text, unsigned long min,
                          unsigned long max) {
    unsigned long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
        throw UsageError(option + " needs a number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not \"" + text + "\"");
    return value;
}

// The release texts go into single lines of the check reply, between tags.
std::string replyLineText(const std::string& option, const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            throw UsageError(option + " must not contain control characters");
    }
    return text;
}

// A size in bytes, with an optional K, M or G (binary multiples).
std::uint64_t parseSize(const std::string& option, const std::string& text) {
    std::string digits = text;
    std::uint64_t unit = 1;
    if (!digits.empty()) {
        const char suffix =
            static_cast<char>(std::toupper(static_cast<unsigned char>(digits.back())));
        const std::string units = "KMG";
        if (const auto at = units.find(suffix); at != std::string::npos) {
            unit = std::uint64_t{1} << (10 * (at + 1));
            digits.pop_back();
        }
    }
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
        value > (std::uint64_t{1} << 50) / unit)
        throw UsageError(option + " needs a size such as 8M, 512K or 0, not \"" + text + "\"");
    return value * unit;
}

// Only addresses a browser opens without asking: the program hands the download address to
// the desktop, and another scheme there could start anything.
std::string webAddress(const std::string& option, const std::string& text) {
    std::string lower = text.substr(0, 8);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::size_t hostStart = lower.starts_with("https://")  ? 8
                                  : lower.starts_with("http://") ? 7
                                                                 : 0;
    if (!text.empty() && (hostStart == 0 || text.size() == hostStart || text[hostStart] == '/'))
        throw UsageError(option + " needs an http:// or https:// address with a host, not \"" +
                         text + "\"");
    return text;
}

} // namespace

ServiceOptions parseOptions(const std::vector<std::string>& arguments) {
    ServiceOptions options;
    options.releaseVersion = BRINDLEAF_SERVICE_DEFAULT_RELEASE;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "-h" || name == "--help") {
            options.showHelp = true;
            continue;
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= arguments.size())
                throw UsageError(name + " needs a value");
            return arguments[++i];
        };
        if (name == "--port") {
            options.port = static_cast<unsigned short>(parseNumber(name, value(), 0, 65535));
        } else if (name == "--bind") {
            options.bindAddress = value();
            boost::system::error_code ec;
            boost::asio::ip::make_address(options.bindAddress, ec);
            if (ec)
                throw UsageError("--bind needs an IP address, not \"" + options.bindAddress + "\"");
        } else if (name == "--db") {
            options.database = value();
        } else if (name == "--cert") {
            options.certificate = value();
        } else if (name == "--key") {
            options.privateKey = value();
        } else if (name == "--release-version") {
            options.releaseVersion = replyLineText(name, value());
        } else if (name == "--release-url") {
            options.releaseUrl = webAddress(name, replyLineText(name, value()));
        } else if (name == "--threads") {
            options.threads = static_cast<unsigned>(parseNumber(name, value(), 1, 64));
        } else if (name == "--max-connections") {
            options.maxConnections = parseNumber(name, value(), 1, 1000000);
        } else if (name == "--max-connections-per-address") {
            options.maxConnectionsPerAddress = parseNumber(name, value(), 1, 1000000);
        } else if (name == "--max-requests-per-address") {
            options.maxRequestsPerAddress = parseNumber(name, value(), 1, 1000000);
        } else if (name == "--posts-per-minute") {
            options.postsPerMinute = static_cast<unsigned>(parseNumber(name, value(), 0, 1000000));
        } else if (name == "--daily-quota") {
            options.dailyQuota = parseSize(name, value());
        } else {
            throw UsageError("unknown option \"" + arguments[i] + "\"");
        }
    }
    if (options.certificate.empty() != options.privateKey.empty())
        throw UsageError("--cert and --key go together");
    if (options.database.empty())
        options.database = defaultDatabasePath();
    return options;
}

std::string usageText(const std::string& programName) {
    return "Usage: " + programName + R"( [options]
Serves the update check, the feedback and the pages over HTTPS and HTTP on one port.

  --port N               port to listen on (default 8443; 0 lets the system choose)
  --bind ADDRESS         address to listen on (default 127.0.0.1)
  --db FILE              SQLite database (default $XDG_DATA_HOME/brindleaf-service/service.db)
  --cert FILE --key FILE TLS certificate chain and private key (PEM); without them a
                         self-signed pair is made beside the database on first start
  --release-version V    version offered by the update check (default )" +
           std::string(BRINDLEAF_SERVICE_DEFAULT_RELEASE) + R"()
  --release-url URL      download address offered with it (default empty)
  --threads N            worker threads (default 4)

Limits, per client address (an IPv6 /64 counts as one address):
  --max-connections N               open connections in all (default 1024); when full,
                                    one that has sent nothing yet makes room
  --max-connections-per-address N   open connections (default 32)
  --max-requests-per-address N      requests in progress at once (default 8); more: 429
  --posts-per-minute N              posts to the update check and the feedback, with a
                                    burst of as many (default 60; 0: no limit); more: 429
  --daily-quota SIZE                bytes of posts per UTC day, e.g. 512K, 8M (default
                                    8M; 0: no quota); more: 429 until the next day
  -h, --help             this text
)";
}

std::filesystem::path defaultDatabasePath() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".local/share";
    else
        base = ".";
    return base / "brindleaf-service" / "service.db";
}

} // namespace service
