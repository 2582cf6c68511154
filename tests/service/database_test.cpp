// The service while another program holds the database, and feedback that arrives twice.
#include "servicetestkit.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace servicetest;

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Another program holding the write lock of the database for a while, as an administrator's
// sqlite3 shell in the middle of a transaction would.
class OutsideWriter {
public:
    OutsideWriter(const std::filesystem::path& database, milliseconds hold)
        : db_(nullptr, sqlite3_close) {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open(database.c_str(), &raw);
        db_.reset(raw);
        if (rc != SQLITE_OK || !run("BEGIN IMMEDIATE") ||
            !run("INSERT INTO feedback (time, scheme, cmd, feedback) VALUES "
                 "('now', 'http', 'feedback', 'written from outside')"))
            throw std::runtime_error("cannot take the lock: " + std::string(sqlite3_errmsg(raw)));
        holder_ = std::thread([this, hold] {
            std::this_thread::sleep_for(hold);
            run("ROLLBACK");
        });
    }
    ~OutsideWriter() { release(); }
    void release() {
        if (holder_.joinable())
            holder_.join();
    }

private:
    bool run(const char* sql) {
        return sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db_;
    std::thread holder_;
};

template <class F> std::pair<Reply, Clock::duration> timed(F&& f) {
    const auto started = Clock::now();
    Reply reply = f();
    return {reply, Clock::now() - started};
}

std::size_t stored(const RunningService& service, const std::string& feedback) {
    return query(service.database(), "SELECT id FROM feedback WHERE feedback = '" + feedback + "'")
        .size();
}

} // namespace

// Pages and update checks are answered at once while the lock is held; a feedback post is
// answered within 2 s, "OK" and stored if the lock ends in time, otherwise 503 and not
// stored, so that the program's retry stores it once.
TEST(ServiceDatabase, AnOutsideLockSlowsNoReplyPastTwoSeconds) {
    struct Case {
        const char* what;
        milliseconds hold;
        unsigned status;
        std::size_t stored;
    };
    const std::vector<Case> cases{
        {"a short lock", milliseconds(400), 200, 1},
        {"a lock held longer than a reply may wait", milliseconds(4000), 503, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunningService service;
        const std::string feedback = "cmd=feedback&appname=A&version=1.4&feedback=while+locked";
        {
            OutsideWriter writer(service.database(), c.hold);
            auto posted = std::async(std::launch::async, [&] {
                return timed([&] { return post(service, true, "/php/feedback.php", feedback); });
            });
            for (const bool tls : {true, false}) {
                SCOPED_TRACE(tls ? "https" : "http");
                const auto [page, pageTook] = timed([&] { return get(service, tls, "/"); });
                EXPECT_EQ(page.status, 200U);
                EXPECT_LT(pageTook, milliseconds(1000));
                const auto [check, checkTook] = timed(
                    [&] { return post(service, tls, "/php/check2.php", "cmd=check&version=1.4"); });
                EXPECT_TRUE(check.body.starts_with("<version>1.5</version>")) << check.body;
                EXPECT_LT(checkTook, milliseconds(1000));
            }
            const auto [reply, took] = posted.get();
            EXPECT_EQ(reply.status, c.status) << reply.body;
            EXPECT_LT(took, milliseconds(2000));
            EXPECT_EQ(stored(service, "while locked"), c.stored);
            writer.release();
        }
        // The checks are written once the lock is gone; the program's retry is stored once.
        EXPECT_EQ(queryAtLeast(service.database(), "SELECT version FROM checks", 2).size(), 2U);
        EXPECT_EQ(post(service, false, "/php/feedback.php", feedback).body, "OK");
        EXPECT_EQ(stored(service, "while locked"), 1U);
        EXPECT_EQ(stored(service, "written from outside"), 0U);
    }
}

// The program sends a feedback again over the other scheme when the first reply came late;
// such a repeat is acknowledged and not stored twice. Any other field differing, or the
// window having passed, makes it a feedback of its own.
TEST(ServiceDatabase, FeedbackSentTwiceWithinTheWindowIsStoredOnce) {
    service::StoreOptions options;
    options.duplicateWindow = milliseconds(1000);
    RunningService service({}, testRelease, noPostLimits, options);
    const std::string body = "cmd=feedback&appname=A&version=1.4&feedback=twice";
    struct Step {
        bool tls;
        std::string body;
        std::size_t storedAfter;
    };
    const std::vector<Step> steps{
        {true, body, 1},
        {false, body, 1},
        {false, body + "&email=someone%40example.org", 2},
        {false, "cmd=feedback&appname=A&version=1.5&feedback=twice", 3},
        {true, body + "&email=someone%40example.org", 3},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.body);
        EXPECT_EQ(post(service, step.tls, "/php/feedback.php", step.body).body, "OK");
        EXPECT_EQ(stored(service, "twice"), step.storedAfter);
    }
    std::this_thread::sleep_for(milliseconds(1200));
    EXPECT_EQ(post(service, false, "/php/feedback.php", body).body, "OK");
    EXPECT_EQ(stored(service, "twice"), 4U);
}
