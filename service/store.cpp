#include "service/store.h"

#include <sqlite3.h>

#include <initializer_list>

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
    result INTEGER NOT NULL
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
constexpr const char* nowExpression = "strftime('%Y-%m-%dT%H:%M:%fZ', 'now')";

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

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

Statement prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr) !=
        SQLITE_OK)
        fail(db, "cannot prepare statement");
    return Statement(statement, sqlite3_finalize);
}

void bind(sqlite3* db, sqlite3_stmt* statement, int index, const std::optional<std::string>& text) {
    const int rc = text ? sqlite3_bind_text64(statement, index, text->data(), text->size(),
                                              SQLITE_TRANSIENT, SQLITE_UTF8)
                        : sqlite3_bind_null(statement, index);
    if (rc != SQLITE_OK)
        fail(db, "cannot bind value");
}

std::int64_t insert(sqlite3* db, const std::string& sql,
                    std::initializer_list<std::optional<std::string>> values) {
    const Statement statement = prepare(db, sql);
    int index = 1;
    for (const auto& value : values)
        bind(db, statement.get(), index++, value);
    if (sqlite3_step(statement.get()) != SQLITE_DONE)
        fail(db, "cannot store row");
    return sqlite3_last_insert_rowid(db);
}

} // namespace

Store::Store(const std::filesystem::path& file) : db_(nullptr, sqlite3_close) {
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(file.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    db_.reset(db);
    if (rc != SQLITE_OK)
        fail(db, "cannot open database " + file.string());
    // Readers such as the sqlite3 shell may hold a lock for a moment; wait rather than fail.
    sqlite3_busy_timeout(db, 5000);
    execute(db, "PRAGMA journal_mode=WAL");
    // FULL: a commit is synced to disk before the client hears "OK".
    execute(db, "PRAGMA synchronous=FULL");
    execute(db, schema);
}

Store::~Store() = default;

std::int64_t Store::recordCheck(const CheckRecord& check) {
    const std::lock_guard lock(mutex_);
    return insert(db_.get(),
                  std::string("INSERT INTO checks (time, scheme, cmd, appname, version, os, "
                              "local, guid, howmany, offered_version, result) VALUES (") +
                      nowExpression + ", ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                  {check.scheme, check.cmd, check.appname, check.version, check.os, check.local,
                   check.guid, check.howmany, check.offeredVersion,
                   std::string(check.result ? "1" : "0")});
}

std::int64_t Store::recordFeedback(const FeedbackRecord& feedback) {
    const std::lock_guard lock(mutex_);
    return insert(db_.get(),
                  std::string("INSERT INTO feedback (time, scheme, cmd, appname, version, "
                              "feedback, email) VALUES (") +
                      nowExpression + ", ?, ?, ?, ?, ?, ?)",
                  {feedback.scheme, feedback.cmd, feedback.appname, feedback.version,
                   feedback.feedback, feedback.email});
}

} // namespace service
