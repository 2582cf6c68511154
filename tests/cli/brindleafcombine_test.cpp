// Runs the real brindleaf-combine on files in a temporary folder.
#include "support/combineprogram.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST_F(BrindleafCombine, WritesTheCombinedDocumentAndSaysSo) {
    const QString out = path("out.xml");
    const ProgramOutcome r = runCombine({"-o", out, base(), matching()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.toStdString(), "");
    EXPECT_EQ(r.errText(),
              ("brindleaf-combine: SUCCESS: Saved as file: " + out + "\n").toStdString());
    const QByteArray written = readAll(out);
    const qsizetype a = written.indexOf("<item>a</item>");
    const qsizetype b = written.indexOf("<item>b</item>");
    EXPECT_GE(a, 0) << written.constData();
    EXPECT_GT(b, a) << written.constData();
}

TEST_F(BrindleafCombine, SkipsAMismatchAndStillWrites) {
    const QString out = path("out.xml");
    const QString other = otherRoot();
    const ProgramOutcome r = runCombine({"-o", out, base(), other, matching()});
    EXPECT_EQ(r.exitCode, 0);
    // The run still writes, so the skipped file is a warning, not an error.
    EXPECT_EQ(r.errText(), ("brindleaf-combine: WARNING: Root element mismatch in file: " + other +
                            "\n" + "brindleaf-combine: SUCCESS: Saved as file: " + out + "\n")
                               .toStdString());
    const QByteArray written = readAll(out);
    EXPECT_TRUE(written.contains("<item>b</item>"));
    EXPECT_FALSE(written.contains("<item>x</item>"));
}

TEST_F(BrindleafCombine, AFailingFurtherFileLeavesTheOutputUntouchedAndTheRestReported) {
    const QString out = write("out.xml", "previous content");
    const QString bad = broken();
    const QString other = otherRoot();
    const ProgramOutcome r = runCombine({"-o", out, base(), bad, other});
    EXPECT_EQ(r.exitCode, 1);
    const QStringList lines = r.errLines();
    ASSERT_EQ(lines.size(), 3) << r.err.toStdString();
    // The parse error's lines are joined on one line: reason, "Line: 3", the source excerpt.
    EXPECT_EQ(lines[0].toStdString(),
              ("brindleaf-combine: ERROR: Failed to load " + bad +
               ": Opening and ending tag mismatch: item line 2 and items Line: 3 </items>")
                  .toStdString());
    EXPECT_EQ(
        lines[1].toStdString(),
        ("brindleaf-combine: WARNING: Root element mismatch in file: " + other).toStdString());
    EXPECT_EQ(lines[2].toStdString(), "brindleaf-combine: nothing was written");
    EXPECT_EQ(readAll(out), "previous content");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4)
        << "no temporary file is left behind";
}

// Every load error names its file, the first file's too; an error of the file itself says
// so plainly, without a line.
TEST_F(BrindleafCombine, LoadErrorsNameTheirFile) {
    QDir(dir.path()).mkdir("folder");
    const QString bad = broken();
    const struct {
        QString file;
        QString reason;
    } cases[] = {
        {bad, "Opening and ending tag mismatch: item line 2 and items Line: 3 </items>"},
        {path("missing.xml"), "No such file or directory"},
        {path("folder"), "Is a directory"},
    };
    const QString out = path("out.xml");
    for (const auto& c : cases) {
        for (const QStringList& inputs : {QStringList{c.file, matching()}, {base(), c.file}}) {
            const ProgramOutcome r = runCombine(QStringList{"-o", out} + inputs);
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.errText(), ("brindleaf-combine: ERROR: Failed to load " + c.file + ": " +
                                    c.reason + "\nbrindleaf-combine: nothing was written\n")
                                       .toStdString());
            EXPECT_FALSE(QFile::exists(out));
        }
    }
}

TEST_F(BrindleafCombine, AnUnwritableOutputIsReported) {
    const QString out = path("no-such-folder/out.xml");
    const ProgramOutcome r = runCombine({"-o", out, base(), matching()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errText(),
              ("brindleaf-combine: ERROR: Cannot create a file in " + path("no-such-folder") +
               ": No such file or directory\nbrindleaf-combine: nothing was written\n")
                  .toStdString());
}

TEST_F(BrindleafCombine, TheOutputMayBeOneOfTheInputs) {
    const QString a = base();
    const ProgramOutcome r = runCombine({"-o", a, a, matching()});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray written = readAll(a);
    EXPECT_TRUE(written.contains("<item>a</item>"));
    EXPECT_TRUE(written.contains("<item>b</item>"));
}

// "-" is standard input and standard output; the document goes out only after the whole
// combine succeeded.
TEST_F(BrindleafCombine, DashIsStandardInputAndOutput) {
    const QString a = base();
    const QString bad = broken();
    struct Case {
        QStringList arguments;
        QByteArray input;
        int exitCode;
        bool written;
    };
    const Case cases[] = {
        {{"-o", "-", a, "-"}, "<items><item>in</item></items>", 0, true},
        {{"-o", "-", a, "-", bad}, "<items><item>in</item></items>", 1, false},
        {{"-o", "-", "-"}, "<items><item>in</item></items>", 0, true},
    };
    for (const Case& c : cases) {
        QProcess process;
        process.start(combineProgram(), c.arguments);
        ASSERT_TRUE(process.waitForStarted());
        process.write(c.input);
        process.closeWriteChannel();
        ASSERT_TRUE(process.waitForFinished(60'000));
        EXPECT_EQ(process.exitCode(), c.exitCode) << c.arguments.join(' ').toStdString();
        const QByteArray out = process.readAllStandardOutput();
        EXPECT_EQ(out.contains("<item>in</item>"), c.written) << out.constData();
        EXPECT_EQ(out.startsWith("<?xml"), c.written) << out.constData();
        const QString err = programText(process.readAllStandardError());
        if (c.written)
            EXPECT_TRUE(err.endsWith("brindleaf-combine: SUCCESS: Saved as file: -\n"))
                << err.toStdString();
        else
            EXPECT_TRUE(err.endsWith("brindleaf-combine: nothing was written\n"))
                << err.toStdString();
    }
}

TEST_F(BrindleafCombine, BytesQuotedFromAFileCannotDriveTheTerminal) {
    const QString bad = write("esc.xml", "<items>\x1b]0;title\x07\x1b[2J</oops>\n");
    const ProgramOutcome r = runCombine({"-o", path("out.xml"), base(), bad});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines().size(), 2) << r.err.toStdString();
    for (const QChar c : r.err.chopped(1))
        EXPECT_TRUE(c == '\n' || c.unicode() >= 0x20) << r.err.toStdString();
}

TEST_F(BrindleafCombine, NamesAreWrittenInUtf8) {
    const QString other = write(QStringLiteral(u"Grüße 日本.xml"), "<other/>");
    const ProgramOutcome r = runCombine({"-o", path("out.xml"), base(), other});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errText(),
              ("brindleaf-combine: WARNING: Root element mismatch in file: " + other + "\n" +
               "brindleaf-combine: SUCCESS: Saved as file: " + path("out.xml") + "\n")
                  .toStdString());
}

struct UsageCase {
    const char* name;
    QStringList arguments;
    const char* problem;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << c.name;
}

class BrindleafCombineUsage : public testing::TestWithParam<UsageCase> {};

TEST_P(BrindleafCombineUsage, ExitsWithStatusTwoAndWritesNothing) {
    const QTemporaryDir dir;
    const ProgramOutcome r = runCombine(GetParam().arguments, {}, combineProgram(), dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out.toStdString(), "");
    EXPECT_EQ(r.errText(), std::string("brindleaf-combine: ") + GetParam().problem +
                               "\n"
                               "Usage: brindleaf-combine -o OUTPUT INPUT...\n"
                               "Try 'brindleaf-combine --help' for more information.\n");
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrindleafCombineUsage,
    testing::Values(UsageCase{"NoArguments", {}, "no output file given (-o OUTPUT)"},
                    UsageCase{"NoOutput", {"a.xml"}, "no output file given (-o OUTPUT)"},
                    UsageCase{"MissingValue", {"a.xml", "-o"}, "option -o needs a file name"},
                    UsageCase{"Unknown",
                              {"--frobnicate", "-o", "o.xml", "a.xml"},
                              "unknown option --frobnicate"},
                    UsageCase{"TwoOutputs",
                              {"-o", "o.xml", "-o", "p.xml", "a.xml"},
                              "more than one output file given"},
                    UsageCase{"NoInputs", {"-o", "o.xml"}, "no input files given"},
                    UsageCase{"NoJobs",
                              {"-j", "0", "-o", "o.xml", "a.xml"},
                              "the number of jobs must be from 1 to 1024, not '0'"},
                    UsageCase{"StandardInputTwice",
                              {"-o", "o.xml", "-", "-"},
                              "standard input (-) given more than once"}),
    [](const testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

TEST(BrindleafCombineInfo, HelpGoesToStandardOutput) {
    for (const char* option : {"--help", "-h"}) {
        const ProgramOutcome r = runCombine({option});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.out.startsWith("Usage: brindleaf-combine -o OUTPUT INPUT...\n"));
        for (const char* said : {"2 for a usage error", "<!DOCTYPE", "256 levels",
                                 "xml:space=\"preserve\"", "UTF-8", "standard input"})
            EXPECT_TRUE(r.out.contains(said)) << said;
        EXPECT_EQ(r.errText(), "");
    }
}

TEST(BrindleafCombineInfo, VersionComesFromTheProgramsVersionData) {
    for (const char* option : {"--version", "-V"}) {
        const ProgramOutcome r = runCombine({option});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.toStdString(), "brindleaf-combine 1.4\n");
        EXPECT_EQ(r.errText(), "");
    }
}

} // namespace
