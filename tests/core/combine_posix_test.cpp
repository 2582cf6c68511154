// The combine on what only POSIX systems have: file modes and the umask, FIFOs, symbolic
// links and names that are bytes.
#include "core/combine.h"
#include "platform/nativepath.h"
#include "support/combinefixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string& decl = xmlDeclaration;

TEST_F(CombineTest, ReplacedFileKeepsItsPermissions) {
    const QString a = file("a.xml", "<r/>");
    const QString output = file("out.xml", "old");
    ASSERT_EQ(::chmod(QFile::encodeName(output).constData(), 0640), 0);
    EXPECT_EQ(run({a}, output).outcome, CombineOutcome::Written);
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(output).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// The replacing file is never wider than the target: the replaced file's mode, and for a
// new file 0600 under the umask; no named temporary file is visible while it is written.
TEST_F(CombineTest, NewFileIsPrivateAndNoTemporaryFileIsSeen) {
    const QString a = file("a.xml", "<r/>");
    const mode_t mask = ::umask(022);
    ::umask(mask);
    struct SeeFolder : RecordingReporter {
        QStringList seen;
        QString folder;
        void progress(int, int, std::uint64_t) override {
            seen += QDir(folder).entryList(QDir::Files | QDir::Hidden);
        }
    } reporter;
    reporter.folder = dir.path();
    const QString b = file("b.xml", "<r>" + std::string(600 * 1024, 'x') + "</r>");
    ASSERT_EQ(combineXmlFiles({a, b}, path("out.xml"), reporter), CombineOutcome::Written);
    reporter.seen.removeDuplicates();
    EXPECT_EQ(reporter.seen, QStringList({"a.xml", "b.xml"}));
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(path("out.xml")).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u & ~mask);
}

// A device or a pipe is written into once the combine succeeded, never replaced; a link is
// followed to its last target, which is replaced, the links staying as they are.
TEST_F(CombineTest, PipesAndLinkChainsAreNotReplaced) {
    const QString a = file("a.xml", "<r><a/></r>");
    const QString b = file("b.xml", "<r><b/></r>");
    const QString broken = file("broken.xml", "<r>");
    const QString fifo = path("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, path("to-fifo")));
    // A reader is waiting, so that opening the pipe for writing does not wait.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const auto readPipe = [reader] {
        std::string got;
        char buffer[4096];
        for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;)
            got.append(buffer, std::size_t(n));
        return got;
    };
    EXPECT_EQ(run({a, broken}, path("to-fifo")).outcome, CombineOutcome::NotWritten);
    EXPECT_EQ(readPipe(), "");
    const Outcome written = run({a, b}, path("to-fifo"));
    EXPECT_EQ(written.outcome, CombineOutcome::Written)
        << written.thrown.value_or("").toStdString();
    EXPECT_EQ(readPipe(), decl + "<r><a/><b/></r>\n");
    ::close(reader);
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));

    const QString real = file("real.xml", "old");
    ASSERT_TRUE(QFile::link(real, path("l2")));
    ASSERT_TRUE(QFile::link("l2", path("l1")));
    EXPECT_EQ(run({a, b}, path("l1")).outcome, CombineOutcome::Written);
    EXPECT_EQ(readFileBytes(real), decl + "<r><a/><b/></r>\n");
    EXPECT_EQ(QFileInfo(path("l1")).symLinkTarget(), path("l2"));
    EXPECT_EQ(QFileInfo(path("l2")).symLinkTarget(), real);
    EXPECT_EQ(
        strayFiles({"a.xml", "b.xml", "broken.xml", "fifo", "to-fifo", "real.xml", "l1", "l2"}),
        QStringList());
}

// Names are bytes: one that is not UTF-8 reaches the file system unchanged.
TEST_F(CombineTest, NamesThatAreNotUtf8AreKept) {
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray inputBytes = folder + "/in\xff.xml";
    const QByteArray outputBytes = folder + "/out\xfe\xff.xml";
    const int fd = ::open(inputBytes.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "<r><b/></r>", 11), 11);
    ::close(fd);
    const QString a = file("a.xml", "<r><a/></r>");
    const QString output = nativepath::decode(outputBytes);
    const Outcome result = run({a, nativepath::decode(inputBytes)}, output);
    EXPECT_EQ(result.messages, std::vector<ReportedMessage>{saved(output)});
    struct stat status {};
    ASSERT_EQ(::stat(outputBytes.constData(), &status), 0);
    EXPECT_EQ(status.st_size, qint64((decl + "<r><a/><b/></r>\n").size()));
    // The folder's own clean-up cannot name these files.
    ::unlink(inputBytes.constData());
    ::unlink(outputBytes.constData());
}

// A folder the user may not write into: the save error is thrown.
TEST_F(CombineTest, FolderWithoutWritePermissionIsThrown) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root from writing";
    const QString a = file("a.xml", "<r><a/></r>");
    QDir(dir.path()).mkpath("locked");
    QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::ExeOwner);
    const Outcome result = run({a}, path("locked/out.xml"));
    EXPECT_TRUE(result.thrown.has_value());
    QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(CombineTest, UnreadableFileIsReported) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root from reading";
    const QString good = file("good.xml", "<r/>");
    const QString locked = file("locked.xml", "<r/>");
    QFile::setPermissions(locked, QFile::WriteOwner);
    const Outcome result = run({good, locked}, path("out.xml"));
    EXPECT_EQ(result.messages,
              (std::vector<ReportedMessage>{
                  {ReportedMessage::Failed, locked, "Permission denied\r\nLine: 0\r\n"}}));
}

// A file read from a pipe can be read once: a load error quotes its line from the bytes
// already read instead of opening it again (which would wait for a writer for good).
TEST_F(CombineTest, MalformedPipeIsQuotedFromWhatWasRead) {
    const QString a = file("a.xml", "<r/>");
    const QString fifo = path("pipe.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::string content = "<r>\n";
    for (int i = 0; i < 20000; ++i)
        content += "  <item>filler text for the pipe</item>\n";
    content += "  <bad></r>\n";
    std::thread writer([&] {
        QFile pipe(fifo);
        if (pipe.open(QIODevice::WriteOnly))
            pipe.write(content.data(), qint64(content.size()));
    });
    const Outcome result = run({a, fifo}, path("out.xml"));
    writer.join();
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(
        result.messages[0].error,
        "Opening and ending tag mismatch: bad line 20002 and r\r\nLine: 20002\r\n  <bad></r>");
}

// A pipe whose writer goes quiet keeps a read waiting; a stop request still ends the work
// while the writer holds the pipe open, and nothing is written.
TEST_F(CombineTest, StopReachesAReadThatWaitsOnAPipe) {
    const QString a = file("a.xml", "<r/>");
    const QString fifo = path("pipe.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::promise<void> release;
    std::atomic<bool> writerClosed{false};
    std::thread writer([&, done = release.get_future()] {
        QFile pipe(fifo);
        if (pipe.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            pipe.write("<r><b/>");
            (void)done.wait_for(std::chrono::seconds(20));
        }
        writerClosed.store(true);
    });
    struct StopOnceWaiting : RecordingReporter {
        int reports = 0;
        bool stopRequested() override { return ++reports > 3; }
    } reporter;
    const CombineOutcome outcome = combineXmlFiles({a, fifo}, path("out.xml"), reporter);
    const bool closedBeforeTheEnd = writerClosed.load();
    release.set_value();
    writer.join();
    EXPECT_EQ(outcome, CombineOutcome::Interrupted);
    EXPECT_FALSE(closedBeforeTheEnd) << "the work waited for the writer to finish";
    EXPECT_EQ(reporter.messages,
              (std::vector<ReportedMessage>{{ReportedMessage::Interrupted, fifo}}));
    EXPECT_EQ(strayFiles({"a.xml", "pipe.xml"}), QStringList());
}

// A pipe that no writer ever opens: opening it must not wait out of reach of a stop request.
TEST_F(CombineTest, StopReachesAPipeWithoutAWriter) {
    const QString a = file("a.xml", "<r/>");
    const QString fifo = path("pipe.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct StopOnceWaiting : RecordingReporter {
        int reports = 0;
        bool stopRequested() override { return ++reports > 3; }
    } reporter;
    // A writer lets an open that waits through if the test fails, so that the test ends.
    const CombineOutcome outcome = [&] {
        auto result = std::async(std::launch::async, [&] {
            return combineXmlFiles({a, fifo}, path("out.xml"), reporter);
        });
        if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY);
            ::close(writer);
        }
        return result.get();
    }();
    EXPECT_EQ(outcome, CombineOutcome::Interrupted);
    EXPECT_EQ(reporter.messages,
              (std::vector<ReportedMessage>{{ReportedMessage::Interrupted, fifo}}));
}

// The inputs' size for the progress shown: unknown as soon as one input is a pipe.
TEST_F(CombineTest, InputSizeIsUnknownWithAPipe) {
    const QString a = file("a.xml", "<r/>");
    const QString b = file("b.xml", "<r><b/></r>");
    const QString fifo = path("pipe.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(combinedInputSize({a, fifo, b}), 0u);
}

} // namespace
