#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace service {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ServiceOptions {
    std::string bindAddress = "127.0.0.1";
    unsigned short port = 8443;
    std::filesystem::path database;
    std::filesystem::path certificate; // both empty: a self-signed pair beside the database
    std::filesystem::path privateKey;
    std::string releaseVersion;
    std::string releaseUrl;
    unsigned threads = 4;
    std::size_t maxConnections = 1024;
    std::size_t maxConnectionsPerAddress = 32;
    std::size_t maxRequestsPerAddress = 8;
    unsigned postsPerMinute = 60;               // per address; 0: no limit
    std::uint64_t dailyQuota = 8 * 1024 * 1024; // body bytes per address and day; 0: none
    bool showHelp = false;
};

// Reads the command line (arguments after the program name). "--name value" and
// "--name=value" are both accepted. Throws UsageError with a message for the user.
ServiceOptions parseOptions(const std::vector<std::string>& arguments);

std::string usageText(const std::string& programName);

// $XDG_DATA_HOME/brindleaf-service/service.db, with ~/.local/share as the default base.
std::filesystem::path defaultDatabasePath();

} // namespace service
