#include "service/store.h"

#include <openssl/evp.h>
#include <sqlite3.h>

#include <algorithm>
#include <initializer_list>
#include <iostream>
#include <iterator>

namespace service {
namespace {

constexpr const char* schema = R"sql(
CREATE TABLE IF NOT EXISTS checks (
    id INTEGER PRIMARY KEY,
    time TEXT NOT NULL,
    scheme TEXT NOT NULL,
    cmd TEXT,
    appname TEXT,
    version TEXT,
    os TEXT,
    local TEXT,
    guid TEXT,
    howmany TEXT,
    offered_version TEXT NOT NULL,
    result INTEGER NOT NULL,
    reference TEXT
);
CREATE TABLE IF NOT EXISTS feedback (
    id INTEGER PRIMARY KEY,
    time TEXT NOT NULL,
    scheme TEXT NOT NULL,
    cmd TEXT NOT NULL,
    appname TEXT,
    version TEXT,
    feedback TEXT NOT NULL,
    email TEXT
);
)sql";

// UTC with milliseconds, as SQLite computes it at insert time.
#define BRINDLEAF_NOW "strftime('%Y-%m-%dT%H:%M:%fZ', 'now')"
constexpr const char* insertCheckSql =
    "INSERT INTO checks (time, scheme, cmd, appname, version, os, local, guid, howmany, "
    "offered_version, result, reference) VALUES (" BRINDLEAF_NOW
    ", ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
constexpr const char* insertFeedbackSql =
    "INSERT INTO feedback (time, scheme, cmd, appname, version, feedback, email) VALUES "
    "(" BRINDLEAF_NOW ", ?, ?, ?, ?, ?, ?)";
#undef BRINDLEAF_NOW

// How long the writer sleeps between looks at a locked database.
constexpr std::chrono::milliseconds busyPause{5};
// Rows still queued when the service stops get this long at most.
constexpr std::chrono::seconds stopWait{2};

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    throw StoreError(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

void execute(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : sqlite3_errmsg(db);
        sqlite3_free(message);
        throw StoreError(std::string("database setup failed: ") + text);
    }
}

sqlite3_stmt* prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
        fail(db, "cannot prepare statement");
    return statement;
}

bool bind(sqlite3_stmt* statement, int index, const std::optional<std::string>& text) {
    return (text ? sqlite3_bind_text64(statement, index, text->data(), text->size(),
                                       SQLITE_TRANSIENT, SQLITE_UTF8)
                 : sqlite3_bind_null(statement, index)) == SQLITE_OK;
}

bool insert(sqlite3_stmt* statement, std::initializer_list<std::optional<std::string>> values) {
    sqlite3_reset(statement);
    int index = 1;
    for (const auto& value : values) {
        if (!bind(statement, index++, value))
            return false;
    }
    const bool done = sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return done;
}

// What makes two feedback posts the same, the scheme left out: each field with a marker
// for "not sent" and its length, so that no two different posts run together.
std::array<unsigned char, 32> digestOf(const FeedbackRecord& feedback) {
    std::string key;
    for (const std::optional<std::string>& field :
         {std::optional<std::string>(feedback.cmd), feedback.appname, feedback.version,
          std::optional<std::string>(feedback.feedback), feedback.email}) {
        key += field ? "+" + std::to_string(field->size()) + ":" + *field : "-";
    }
    std::array<unsigned char, 32> digest{};
    unsigned int length = 0;
    if (!EVP_Digest(key.data(), key.size(), digest.data(), &length, EVP_sha256(), nullptr))
        throw StoreError("cannot compute a digest");
    return digest;
}

} // namespace

Store::Store(const std::filesystem::path& file, StoreOptions options)
    : options_(options), db_(nullptr, sqlite3_close), insertCheck_(nullptr, sqlite3_finalize),
      insertFeedback_(nullptr, sqlite3_finalize) {
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(file.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    db_.reset(db);
    if (rc != SQLITE_OK)
        fail(db, "cannot open database " + file.string());
    // Setting up may wait for a reader such as the sqlite3 shell; writes later wait on
    // their own terms (onBusy).
    sqlite3_busy_timeout(db, 5000);
    execute(db, "PRAGMA journal_mode=WAL");
    // FULL: a commit is synced to disk before the client hears "OK".
    execute(db, "PRAGMA synchronous=FULL");
    execute(db, schema);
    // Databases made before checks carried a reference lack its column.
    sqlite3_stmt* probe = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT reference FROM checks LIMIT 0", -1, &probe, nullptr) !=
        SQLITE_OK)
        execute(db, "ALTER TABLE checks ADD COLUMN reference TEXT");
    sqlite3_finalize(probe);
    insertCheck_.reset(prepare(db, insertCheckSql));
    insertFeedback_.reset(prepare(db, insertFeedbackSql));
    sqlite3_busy_handler(db, &Store::onBusy, this);
    writer_ = std::thread([this] { run(); });
}

Store::~Store() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        stopDeadline_ = Clock::now() + stopWait;
    }
    wake_.notify_one();
    writer_.join();
}

void Store::recordFeedback(FeedbackRecord feedback, Clock::time_point deadline, Done done) {
    enqueue(Job{std::move(feedback), deadline, std::move(done)});
}

void Store::recordCheck(CheckRecord check, Clock::time_point deadline) {
    enqueue(Job{std::move(check), deadline, {}});
}

void Store::enqueue(Job job) {
    {
        const std::lock_guard lock(mutex_);
        if (!stopping_ && queue_.size() < options_.maxQueued) {
            queue_.push_back(std::move(job));
            arrived_.store(true, std::memory_order_release);
            wake_.notify_one();
            return;
        }
    }
    if (job.done)
        job.done(false);
    else
        std::cerr << "brindleaf-service: check not recorded: too many writes waiting" << std::endl;
}

void Store::run() {
    std::vector<Job> pending;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (pending.empty())
                wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            arrived_.store(false, std::memory_order_relaxed);
            std::move(queue_.begin(), queue_.end(), std::back_inserter(pending));
            queue_.clear();
            if (stopping_) {
                for (Job& job : pending)
                    job.deadline = std::min(job.deadline, stopDeadline_);
                if (pending.empty())
                    return;
            }
        }
        try {
            writeBatch(pending);
        } catch (const std::exception& error) {
            sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            std::cerr << "brindleaf-service: cannot store rows: " << error.what() << std::endl;
            for (Job& job : pending) {
                if (job.done)
                    job.done(false);
            }
            pending.clear();
        }
    }
}

void Store::writeBatch(std::vector<Job>& jobs) {
    auto answer = [](Job& job, bool stored, const char* why) {
        if (job.done)
            job.done(stored);
        else if (!stored)
            std::cerr << "brindleaf-service: check not recorded: " << why << std::endl;
    };
    const Clock::time_point now = Clock::now();
    std::erase_if(jobs, [&](Job& job) {
        if (job.deadline > now)
            return false;
        answer(job, false, "database busy");
        return true;
    });
    if (jobs.empty())
        return;
    attemptDeadline_ = std::min_element(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) {
                           return a.deadline < b.deadline;
                       })->deadline;

    sqlite3* db = db_.get();
    auto failAll = [&] {
        const std::string why = sqlite3_errmsg(db);
        std::cerr << "brindleaf-service: cannot store rows: " << why << std::endl;
        for (Job& job : jobs)
            answer(job, false, why.c_str());
        jobs.clear();
    };
    const int begun = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (begun == SQLITE_BUSY)
        return; // locked until the earliest deadline or a newcomer: the next round decides
    if (begun != SQLITE_OK)
        return failAll();
    std::vector<std::optional<Digest>> digests;
    if (!insertAll(jobs, digests)) {
        failAll();
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return;
    }
    const int committed = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (committed != SQLITE_OK) {
        if (committed != SQLITE_BUSY)
            failAll();
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return;
    }
    const Clock::time_point storedAt = Clock::now();
    for (const std::optional<Digest>& digest : digests) {
        if (digest) {
            recent_[*digest] = storedAt;
            recentOrder_.emplace_back(storedAt, *digest);
        }
    }
    for (Job& job : jobs)
        answer(job, true, "");
    jobs.clear();
}

bool Store::insertAll(std::vector<Job>& jobs, std::vector<std::optional<Digest>>& digests) {
    const Clock::time_point now = Clock::now();
    std::vector<Digest> inThisBatch;
    for (const Job& job : jobs) {
        std::optional<Digest> stored;
        bool inserted = true;
        if (const auto* check = std::get_if<CheckRecord>(&job.record)) {
            inserted = insert(insertCheck_.get(),
                              {check->scheme, check->cmd, check->appname, check->version, check->os,
                               check->local, check->guid, check->howmany, check->offeredVersion,
                               std::string(check->result ? "1" : "0"), check->reference});
        } else {
            const auto& feedback = std::get<FeedbackRecord>(job.record);
            const Digest digest = digestOf(feedback);
            const bool repeated =
                recentlyStored(digest, now) ||
                std::find(inThisBatch.begin(), inThisBatch.end(), digest) != inThisBatch.end();
            if (!repeated) {
                inserted = insert(insertFeedback_.get(),
                                  {feedback.scheme, feedback.cmd, feedback.appname,
                                   feedback.version, feedback.feedback, feedback.email});
                inThisBatch.push_back(digest);
                stored = digest;
            }
        }
        if (!inserted)
            return false;
        digests.push_back(stored);
    }
    return true;
}

bool Store::recentlyStored(const Digest& digest, Clock::time_point now) {
    while (!recentOrder_.empty() && now - recentOrder_.front().first > options_.duplicateWindow) {
        const auto it = recent_.find(recentOrder_.front().second);
        if (it != recent_.end() && it->second == recentOrder_.front().first)
            recent_.erase(it);
        recentOrder_.pop_front();
    }
    return recent_.contains(digest);
}

int Store::onBusy(void* store, int /*attempts*/) {
    const auto& self = *static_cast<const Store*>(store);
    const Clock::time_point now = Clock::now();
    if (now >= self.attemptDeadline_ || self.arrived_.load(std::memory_order_acquire))
        return 0;
    std::this_thread::sleep_for(std::min<Clock::duration>(busyPause, self.attemptDeadline_ - now));
    return 1;
}

} // namespace service
