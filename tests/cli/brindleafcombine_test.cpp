// Runs the real brindleaf-combine on files in a temporary folder.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString program = QStringLiteral(BRINDLEAF_BIN_DIR "/brindleaf-combine");

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
    QStringList errLines() const { return err.split('\n', Qt::SkipEmptyParts); }
    std::string errText() const { return err.toStdString(); }
};

Outcome runCombine(const QStringList& arguments, const QString& language = {},
                   const QString& executable = program, const QString& workingDirectory = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
        env.remove(QString::fromLatin1(name));
    if (!language.isEmpty())
        env.insert("LANGUAGE", language);
    QProcess process;
    process.setProcessEnvironment(env);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(executable, arguments);
    EXPECT_TRUE(process.waitForFinished(60'000)) << executable.toStdString();
    Outcome result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class BrindleafCombine : public testing::Test {
protected:
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString write(const QString& name, const QByteArray& content) const {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path(name);
    }
    // Three further-file shapes around a base with the root "items".
    QString base() const { return write("a.xml", "<items>\n  <item>a</item>\n</items>\n"); }
    QString matching() const { return write("b.xml", "<items><item>b</item></items>"); }
    QString otherRoot() const { return write("other.xml", "<things><item>x</item></things>"); }
    QString broken() const { return write("broken.xml", "<items>\n<item>\n</items>\n"); }
};

TEST_F(BrindleafCombine, WritesTheCombinedDocumentAndSaysSo) {
    const QString out = path("out.xml");
    const Outcome r = runCombine({"-o", out, base(), matching()});
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
    const Outcome r = runCombine({"-o", out, base(), other, matching()});
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
    const Outcome r = runCombine({"-o", out, base(), bad, other});
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
            const Outcome r = runCombine(QStringList{"-o", out} + inputs);
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
    const Outcome r = runCombine({"-o", out, base(), matching()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errText(),
              ("brindleaf-combine: ERROR: Cannot create a file in " + path("no-such-folder") +
               ": No such file or directory\nbrindleaf-combine: nothing was written\n")
                  .toStdString());
}

TEST_F(BrindleafCombine, TheOutputMayBeOneOfTheInputs) {
    const QString a = base();
    const Outcome r = runCombine({"-o", a, a, matching()});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray written = readAll(a);
    EXPECT_TRUE(written.contains("<item>a</item>"));
    EXPECT_TRUE(written.contains("<item>b</item>"));
}

TEST_F(BrindleafCombine, AReaderOfStandardErrorThatWentAwayDoesNotStopTheWork) {
    // Standard error is a pipe whose reading end is already closed, as after "| head -1".
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    const int writeEnd = fds[1];
    const QString out = path("out.xml");
    QProcess process;
    process.setChildProcessModifier([writeEnd] { ::dup2(writeEnd, STDERR_FILENO); });
    process.start(program, {"-o", out, base(), otherRoot(), matching()});
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
    process.start(program, {"-o", out, base(), fifo});
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
        process.start(program, {"-o", out, base(), fifo});
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
        process.start(program, c.arguments);
        ASSERT_TRUE(process.waitForStarted());
        process.write(c.input);
        process.closeWriteChannel();
        ASSERT_TRUE(process.waitForFinished(60'000));
        EXPECT_EQ(process.exitCode(), c.exitCode) << c.arguments.join(' ').toStdString();
        const QByteArray out = process.readAllStandardOutput();
        EXPECT_EQ(out.contains("<item>in</item>"), c.written) << out.constData();
        EXPECT_EQ(out.startsWith("<?xml"), c.written) << out.constData();
        const QString err = QString::fromUtf8(process.readAllStandardError());
        if (c.written)
            EXPECT_TRUE(err.endsWith("brindleaf-combine: SUCCESS: Saved as file: -\n"))
                << err.toStdString();
        else
            EXPECT_TRUE(err.endsWith("brindleaf-combine: nothing was written\n"))
                << err.toStdString();
    }
    // A device is written into as well.
    QProcess process;
    process.start(program, {"-o", "/dev/stdout", a});
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
                              program, a});
    ASSERT_TRUE(process.waitForFinished(60'000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    struct stat status {};
    const QByteArray folder = QFile::encodeName(dir.path());
    EXPECT_EQ(::stat((folder + "/out\xfe.xml").constData(), &status), 0);
    ::unlink((folder + "/out\xfe.xml").constData());
    ::unlink((folder + "/in\xff.xml").constData());
}

TEST_F(BrindleafCombine, BytesQuotedFromAFileCannotDriveTheTerminal) {
    const QString bad = write("esc.xml", "<items>\x1b]0;title\x07\x1b[2J</oops>\n");
    const Outcome r = runCombine({"-o", path("out.xml"), base(), bad});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines().size(), 2) << r.err.toStdString();
    for (const QChar c : r.err.chopped(1))
        EXPECT_TRUE(c == '\n' || c.unicode() >= 0x20) << r.err.toStdString();
}

TEST_F(BrindleafCombine, NamesAreWrittenInUtf8) {
    const QString other = write(QStringLiteral(u"Grüße 日本.xml"), "<other/>");
    const Outcome r = runCombine({"-o", path("out.xml"), base(), other});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errText(),
              ("brindleaf-combine: WARNING: Root element mismatch in file: " + other + "\n" +
               "brindleaf-combine: SUCCESS: Saved as file: " + path("out.xml") + "\n")
                  .toStdString());
}

TEST_F(BrindleafCombine, SpeaksTheLanguageOfItsLanguageFiles) {
    // A copy of the program beside a language folder of the test's own.
    const QString copy = path("bin/brindleaf-combine");
    ASSERT_TRUE(QDir().mkpath(path("bin/Languages")));
    ASSERT_TRUE(QFile::copy(program, copy));
    write("bin/Languages/LanguageCodes.csv", "1031,test.lang.txt\r\n");
    write("bin/Languages/test.lang.txt", "\xEF\xBB\xBF"
                                         "{WARNING}WARNUNG\r\n"
                                         "{SUCCESS}ERFOLG\r\n"
                                         "{Root element mismatch in file: %s}Anderes Wurzelelement "
                                         "in Datei: %s\r\n"
                                         "{Saved as file: }Gespeichert als Datei: \r\n");
    const QString out = path("out.xml");
    const QString other = otherRoot();
    const Outcome r = runCombine({"-o", out, base(), other}, "de", copy);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errText(),
              ("brindleaf-combine: WARNUNG: Anderes Wurzelelement in Datei: " + other + "\n" +
               "brindleaf-combine: ERFOLG: Gespeichert als Datei: " + out + "\n")
                  .toStdString());

    // Without a matching language the messages stay English.
    EXPECT_EQ(
        runCombine({"-o", out, base(), other}, "", copy).errLines().value(0).toStdString(),
        ("brindleaf-combine: WARNING: Root element mismatch in file: " + other).toStdString());
}

// The translation of key in the language file that the shipped code table names for
// language 1031, read as the program reads it.
QString shippedGerman(const QString& key) {
    const QString folder = QStringLiteral(BRINDLEAF_BIN_DIR "/Languages/");
    QString fileName;
    for (const QByteArray& line : readAll(folder + "LanguageCodes.csv").split('\n'))
        if (line.trimmed().startsWith("1031,"))
            fileName = QString::fromUtf8(line.trimmed().mid(5)).trimmed();
    const QString prefix = "{" + key + "}";
    for (const QString& line :
         QString::fromUtf8(readAll(folder + fileName)).split(QRegularExpression("\r\n|\r|\n")))
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    return {};
}

TEST_F(BrindleafCombine, SpeaksGermanWithTheShippedLanguageFiles) {
    const QString warning = shippedGerman("WARNING");
    const QString mismatch = shippedGerman("Root element mismatch in file: %s");
    const QString success = shippedGerman("SUCCESS");
    const QString saved = shippedGerman("Saved as file: ");
    ASSERT_FALSE(warning.isEmpty() || mismatch.isEmpty() || success.isEmpty() || saved.isEmpty());
    ASSERT_NE(warning, "WARNING");

    const QString out = path("out.xml");
    const QString other = otherRoot();
    const Outcome r = runCombine({"-o", out, base(), other}, "de");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errText(),
              ("brindleaf-combine: " + warning + ": " + QString(mismatch).replace("%s", other) +
               "\nbrindleaf-combine: " + success + ": " + saved + out + "\n")
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
    const Outcome r = runCombine(GetParam().arguments, {}, program, dir.path());
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
        const Outcome r = runCombine({option});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.out.startsWith("Usage: brindleaf-combine -o OUTPUT INPUT...\n"));
        for (const char* said : {"2 for a usage error", "<!DOCTYPE", "256 levels",
                                 "xml:space=\"preserve\"", "UTF-8", "standard input"})
            EXPECT_TRUE(r.out.contains(said)) << said;
        EXPECT_EQ(r.errText(), "");
    }
}

// Standard output that cannot take the text: the failure shows in the exit status.
TEST(BrindleafCombineInfo, HelpIntoAFullDeviceFails) {
    QProcess process;
    process.setStandardOutputFile("/dev/full");
    process.start(program, {"--help"});
    ASSERT_TRUE(process.waitForFinished(60'000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(process.exitCode(), 0);
}

TEST(BrindleafCombineInfo, VersionComesFromTheProgramsVersionData) {
    for (const char* option : {"--version", "-V"}) {
        const Outcome r = runCombine({option});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.toStdString(), "brindleaf-combine 1.4\n");
        EXPECT_EQ(r.errText(), "");
    }
}

} // namespace
