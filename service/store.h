#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

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
    std::string reference; // the value sent back in the reply's <check> line
};

struct FeedbackRecord {
    std::string scheme;
    std::string cmd;
    std::optional<std::string> appname, version;
    std::string feedback;
    std::optional<std::string> email;
};

struct StoreOptions {
    // A feedback identical to one stored this long ago or less, in every field but the
    // scheme, is a client's retry: it is acknowledged and not stored again.
    std::chrono::milliseconds duplicateWindow{60000};
    // Writes waiting beyond this are refused at once rather than queued.
    std::size_t maxQueued = 20000;
};

// The service's SQLite database, written by one thread of its own. Callers queue a row and
// return at once, so a locked or slow database never holds up the threads that serve the
// network. A row is committed (synchronously, on disk) before it is acknowledged; a row that
// cannot be committed before its deadline is dropped unstored and reported as such.
class Store {
public:
    using Clock = std::chrono::steady_clock;
    // Called once, on the writer thread (or on the caller's when the queue is full):
    // true when the row is on disk (or was already, within the duplicate window).
    using Done = std::function<void(bool stored)>;

    explicit Store(const std::filesystem::path& file, StoreOptions options = {});
    // Writes what is queued (each row until its deadline at most), then stops.
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    void recordFeedback(FeedbackRecord feedback, Clock::time_point deadline, Done done);
    // Nobody waits for a check's row: it is written when the database allows, until the
    // deadline; a check that cannot be written by then is only reported on stderr.
    void recordCheck(CheckRecord check, Clock::time_point deadline);

private:
    using Digest = std::array<unsigned char, 32>;
    struct Job {
        std::variant<CheckRecord, FeedbackRecord> record;
        Clock::time_point deadline;
        Done done; // empty for checks
    };

    void enqueue(Job job);
    void run();
    // Writes the jobs in one transaction; the jobs answered are removed from the list.
    void writeBatch(std::vector<Job>& jobs);
    bool insertAll(std::vector<Job>& jobs, std::vector<std::optional<Digest>>& digests);
    bool recentlyStored(const Digest& digest, Clock::time_point now);
    static int onBusy(void* store, int attempts);

    using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

    const StoreOptions options_;
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db_;
    Statement insertCheck_;
    Statement insertFeedback_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Job> queue_;
    bool stopping_ = false;
    Clock::time_point stopDeadline_; // set with stopping_: queued checks wait no longer
    // Set when a job is queued, so that a writer waiting for a lock gives up early and
    // takes the newcomer, which may have an earlier deadline, into its next attempt.
    std::atomic<bool> arrived_{false};

    // Writer thread only.
    Clock::time_point attemptDeadline_;
    std::map<Digest, Clock::time_point> recent_;
    std::deque<std::pair<Clock::time_point, Digest>> recentOrder_;

    std::thread writer_; // last: starts after everything above exists
};

} // namespace service
