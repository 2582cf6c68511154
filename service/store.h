#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

struct sqlite3;

namespace service {

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One update check as posted; a field that was not sent stays empty (NULL in the table).
struct CheckRecord {
    std::string scheme; // "https" or "http"
    std::optional<std::string> cmd, appname, version, os, local, guid, howmany;
    std::string offeredVersion;
    bool result = false;
};

struct FeedbackRecord {
    std::string scheme;
    std::string cmd;
    std::optional<std::string> appname, version;
    std::string feedback;
    std::optional<std::string> email;
};

// The service's SQLite database. Each insert is its own transaction and is committed
// before the call returns, so a row that was acknowledged to a client is on disk.
// Safe to call from several threads: calls are serialised on one connection.
class Store {
public:
    explicit Store(const std::filesystem::path& file);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Both return the new row's id; both throw StoreError on failure.
    std::int64_t recordCheck(const CheckRecord& check);
    std::int64_t recordFeedback(const FeedbackRecord& feedback);

private:
    std::mutex mutex_;
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db_;
};

} // namespace service
