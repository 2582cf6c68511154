// The real brindleaf-combine with what only POSIX systems have: signals, FIFOs, devices,
// inherited descriptors and names that are bytes.
#include "support/combineprogram.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST_F(BrindleafCombine, AReaderOfStandardErrorThatWentAwayDoesNotStopTheWork) {
    // Standard error is a pipe whose reading end is already closed, as after "| head -1".
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    const int writeEnd = fds[1];
    const QString out = path("out.xml");
    QProcess process;
    process.setChildProcessModifier([writeEnd] { ::dup2(writeEnd, STDERR_FILENO); });
    process.start(combineProgram(), {"-o", out, base(), otherRoot(), matching()});
    ASSERT_TRUE(process.waitForFinished(60'000));
    ::close(writeEnd);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(readAll(out).contains("<item>b</item>"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4)
        << "no temporary file is left behind";
}

TEST_F(BrindleafCombine, AnInterruptionStopsTheWorkAndLeavesNoTemporaryFile) {
    // The further file is a named pipe, so the work is surely under way when the signal comes.
    const QString fifo = path("further.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString out = path("out.xml");
    QProcess process;
    process.start(combineProgram(), {"-o", out, base(), fifo});
    ASSERT_TRUE(process.waitForStarted());
    int writer = -1;
    for (int tries = 0; writer < 0 && tries < 6000; ++tries) {
        // Opening without blocking fails until the program has opened the pipe for reading.
        writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (writer < 0)
            QThread::msleep(10);
    }
    ASSERT_GE(writer, 0);
    const auto send = [writer](const char* text) {
        return ::write(writer, text, std::strlen(text)) == ssize_t(std::strlen(text));
    };
    EXPECT_TRUE(send("<items><item>x</item>"));
    ::kill(pid_t(process.processId()), SIGINT);
    EXPECT_TRUE(send("<item>y</item>"));
    ::close(writer);
    ASSERT_TRUE(process.waitForFinished(60'000));
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit) << "ends by the signal";
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()).toStdString(),
              "brindleaf-combine: interrupted, nothing was written\n");
    EXPECT_EQ(QDir(dir.path())
                  .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"a.xml", "further.xml"}));
}

// The program waiting on a pipe that gives part of a document and then nothing: the state
// in which a signal or a crash meets a long read.
class WaitingCombine : public BrindleafCombine {
protected:
    void start(const QString& out) {
        const QString fifo = path("further.xml");
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        process.start(combineProgram(), {"-o", out, base(), fifo});
        ASSERT_TRUE(process.waitForStarted());
        for (int tries = 0; writer < 0 && tries < 6000; ++tries) {
            // Opening without blocking fails until the program has opened the pipe for reading.
            writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (writer < 0)
                QThread::msleep(10);
        }
        ASSERT_GE(writer, 0);
        ASSERT_EQ(::write(writer, "<items><item>x</item>", 21), 21);
        QThread::msleep(200); // the program is back in its read, waiting
    }
    ~WaitingCombine() override {
        if (writer >= 0)
            ::close(writer);
    }
    QStringList folder() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QProcess process;
    int writer = -1;
};

TEST_F(WaitingCombine, OneTerminationStopsAWaitingRead) {
    const QString out = write("out.xml", "previous");
    start(out);
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(10'000));
    EXPECT_LT(clock.elapsed(), 5'000) << "stops within a second or so, not at the next byte";
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit) << "ends by the signal";
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()).toStdString(),
              "brindleaf-combine: interrupted, nothing was written\n");
    EXPECT_EQ(readAll(out), "previous");
    EXPECT_EQ(folder(), QStringList({"a.xml", "further.xml", "out.xml"}));
}

// The spool has no name until it is complete: a killed run leaves nothing, and nothing of
// the document is visible while it is written.
TEST_F(WaitingCombine, AKilledRunLeavesNoFile) {
    start(path("out.xml"));
    EXPECT_EQ(folder(), QStringList({"a.xml", "further.xml"}));
    ::kill(pid_t(process.processId()), SIGKILL);
    ASSERT_TRUE(process.waitForFinished(10'000));
    EXPECT_EQ(folder(), QStringList({"a.xml", "further.xml"}));
}

// A device is written into, not replaced.
TEST_F(BrindleafCombine, ADeviceIsWrittenInto) {
    QProcess process;
    process.start(combineProgram(), {"-o", "/dev/stdout", base()});
    ASSERT_TRUE(process.waitForFinished(60'000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().contains("<item>a</item>"));
}

// Names that are not UTF-8 reach the file system as the bytes given.
TEST_F(BrindleafCombine, NamesThatAreNotUtf8AreKept) {
    const QString a = base();
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start("/bin/sh", {"-c",
                              "cp \"$1\" \"$(printf 'in\\377.xml')\" && exec \"$0\" -o "
                              "\"$(printf 'out\\376.xml')\" \"$1\" \"$(printf 'in\\377.xml')\"",
                              combineProgram(), a});
    ASSERT_TRUE(process.waitForFinished(60'000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    struct stat status {};
    const QByteArray folder = QFile::encodeName(dir.path());
    EXPECT_EQ(::stat((folder + "/out\xfe.xml").constData(), &status), 0);
    ::unlink((folder + "/out\xfe.xml").constData());
    ::unlink((folder + "/in\xff.xml").constData());
}

// Standard output that cannot take the text: the failure shows in the exit status.
TEST(BrindleafCombineInfo, HelpIntoAFullDeviceFails) {
    QProcess process;
    process.setStandardOutputFile("/dev/full");
    process.start(combineProgram(), {"--help"});
    ASSERT_TRUE(process.waitForFinished(60'000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(process.exitCode(), 0);
}

} // namespace
