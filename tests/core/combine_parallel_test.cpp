#include "core/apperror.h"
#include "core/combine.h"
#include "support/combinetesting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The combine on a pool of threads against the combine on one: the same bytes, the same
// events in the same order, the same errors, whatever fails or mismatches where.
namespace {

struct Outcome {
    CombineOutcome outcome = CombineOutcome::NotWritten;
    std::vector<ReportedMessage> messages;
    std::optional<QString> thrown;
    std::optional<std::string> written;
};

Outcome combineWith(const QStringList& inputs, const QString& output, int threads) {
    QFile::remove(output);
    Outcome run;
    RecordingReporter reporter;
    try {
        run.outcome = combineXmlFiles(inputs, output, reporter, CombineOptions{threads});
    } catch (const AppError& error) {
        run.thrown = error.message();
    }
    run.messages = reporter.messages;
    if (QFile::exists(output))
        run.written = readFileBytes(output);
    return run;
}

// An empty text when both ways agree, else what differs.
std::string compareThreads(const QStringList& inputs, const QString& output) {
    const Outcome one = combineWith(inputs, output, 1);
    std::string difference;
    for (const int threads : {2, 3}) {
        const Outcome many = combineWith(inputs, output, threads);
        if (many.outcome != one.outcome)
            difference += "outcome differs with " + std::to_string(threads) + " threads\n";
        if (many.messages != one.messages)
            difference += "events differ with " + std::to_string(threads) + " threads\n";
        if (many.thrown != one.thrown)
            difference += "error differs with " + std::to_string(threads) +
                          " threads: " + many.thrown.value_or("none").toStdString() + "\n";
        if (many.written != one.written)
            difference += "bytes differ with " + std::to_string(threads) + " threads\n";
    }
    return difference;
}

QStringList fixtures() {
    QStringList files;
    const QDir dir(QStringLiteral(BRINDLEAF_FIXTURES_DIR "/combine"));
    for (const QString& name : dir.entryList({"*.xml"}, QDir::Files, QDir::Name))
        files << dir.filePath(name);
    return files;
}

TEST(CombineParallel, FixturesGiveTheSameBytesAndEventsAsOneThread) {
    const QStringList files = fixtures();
    ASSERT_GE(files.size(), 5);
    QTemporaryDir out;
    const QString output = out.filePath("out.xml");
    for (const QString& base : files) {
        QStringList all = files;
        all.removeAll(base);
        all.prepend(base);
        // Every fixture after every base, the broken and mismatching ones included, and the
        // list twice over so that more files wait than there are threads.
        for (const QStringList& inputs : {all, all + all, QStringList{base, base, base}})
            EXPECT_EQ(compareThreads(inputs, output), "") << inputs.join(", ").toStdString();
    }
}

TEST(CombineParallel, FuzzCorpusGivesTheSameBytesAndEventsAsOneThread) {
    const QDir corpus(QStringLiteral(BRINDLEAF_SOURCE_DIR "/fuzz/corpus"));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        QTemporaryDir dir;
        const QStringList inputs = writeCorpusInputs(corpus.filePath(name), dir.path());
        EXPECT_EQ(compareThreads(inputs, dir.filePath("out.xml")), "") << name.toStdString();
    }
}

class CombineParallelFiles : public ::testing::Test {
protected:
    QString file(const QString& name, const std::string& content) const {
        writeFileBytes(dir.filePath(name), content);
        return dir.filePath(name);
    }
    QStringList folder() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QTemporaryDir dir;
};

TEST_F(CombineParallelFiles, EventsComeInListOrderAroundAFailureAndAMismatch) {
    QStringList inputs{file("a.xml", "<r><a/></r>")};
    for (int i = 0; i < 12; ++i)
        inputs << file(QStringLiteral("f%1.xml").arg(i, 2, 10, QLatin1Char('0')),
                       i == 4   ? "<x/>"
                       : i == 7 ? "<r>\n<broken></r>"
                                : "<r><f>" + std::to_string(i) + "</f></r>");
    const QString output = file("out.xml", "previous");
    RecordingReporter reporter;
    EXPECT_EQ(combineXmlFiles(inputs, output, reporter, CombineOptions{3}),
              CombineOutcome::NotWritten);
    EXPECT_EQ(
        reporter.messages,
        (std::vector<ReportedMessage>{
            {ReportedMessage::Skipped, inputs.at(5)},
            {ReportedMessage::Failed, inputs.at(8),
             "Opening and ending tag mismatch: broken line 2 and r\r\nLine: 2\r\n<broken></r>"}}));
    EXPECT_EQ(readFileBytes(output), "previous");
    EXPECT_EQ(folder().size(), inputs.size() + 1) << "no part or spool is left behind";
}

// Parts too large for memory go through files of their own and are copied into the document
// a piece at a time; a failed part gives its buffer back for the next file to use.
TEST_F(CombineParallelFiles, LargePartsGiveTheSameBytesAsOneThread) {
    const auto records = [](int count, const std::string& tag) {
        std::string text = "<r>";
        for (int i = 0; i < count; ++i)
            text += "<" + tag + ">" + std::to_string(i) + "</" + tag + ">\n";
        return text + "</r>";
    };
    // About 17 MB each: over a part's share of memory and over two copy pieces.
    const QStringList inputs{file("a.xml", "<r><a/></r>"), file("b.xml", records(1'100'000, "b")),
                             file("broken.xml", "<r><c>" + std::string(9'000'000, 'c') + "</r>"),
                             file("d.xml", records(1'100'000, "d")), file("e.xml", "<r><e/></r>")};
    EXPECT_EQ(compareThreads(inputs, dir.filePath("out.xml")), "");
    const QStringList good{inputs.at(0), inputs.at(1), inputs.at(3), inputs.at(4), inputs.at(1)};
    EXPECT_EQ(compareThreads(good, dir.filePath("out.xml")), "");
    EXPECT_EQ(folder().size(), inputs.size() + 1) << "no part or spool is left behind";
}

// A stop asked for while the pool is at work: the work ends, the target is untouched and no
// part is left behind.
TEST_F(CombineParallelFiles, StopEndsThePoolAndWritesNothing) {
    QStringList inputs;
    const std::string body(512 * 1024, 'x');
    for (int i = 0; i < 16; ++i)
        inputs << file(QStringLiteral("f%1.xml").arg(i, 2, 10, QLatin1Char('0')),
                       "<r><t>" + body + "</t></r>");
    const QString output = file("out.xml", "previous");
    struct StopAfter : RecordingReporter {
        int reports = 0;
        bool stopRequested() override { return ++reports > 3; }
    } reporter;
    EXPECT_EQ(combineXmlFiles(inputs, output, reporter, CombineOptions{2}),
              CombineOutcome::Interrupted);
    ASSERT_FALSE(reporter.messages.empty());
    EXPECT_EQ(reporter.messages.back().kind, ReportedMessage::Interrupted);
    EXPECT_EQ(readFileBytes(output), "previous");
    EXPECT_EQ(folder().size(), inputs.size() + 1);
}

} // namespace
