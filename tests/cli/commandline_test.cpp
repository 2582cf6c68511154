#include "cli/commandline.h"
#include "cli/consolereporter.h"
#include "core/textlines.h"
#include "core/translate.h"

#include <QBuffer>
#include <gtest/gtest.h>

using Action = CombineCommand::Action;

namespace {

struct ParseCase {
    const char* name;
    QStringList arguments;
    Action action;
    QString output;
    QStringList inputs;
    QString problem;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class ParseCommandLine : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLine, GivesActionOutputInputsAndProblem) {
    const ParseCase& c = GetParam();
    const CombineCommand command = parseCommandLine(c.arguments);
    EXPECT_EQ(command.action, c.action);
    EXPECT_EQ(command.output, c.output);
    EXPECT_EQ(command.inputs, c.inputs);
    EXPECT_EQ(command.problem, c.problem);
}

const QString noOutput = QStringLiteral("no output file given (-o OUTPUT)");

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseCommandLine,
    testing::Values(
        ParseCase{"ShortOption",
                  {"-o", "out.xml", "a.xml", "b.xml"},
                  Action::Combine,
                  "out.xml",
                  {"a.xml", "b.xml"},
                  {}},
        ParseCase{"OptionAfterInputs",
                  {"a.xml", "b.xml", "-o", "out.xml"},
                  Action::Combine,
                  "out.xml",
                  {"a.xml", "b.xml"},
                  {}},
        ParseCase{"AttachedShortOption",
                  {"-oout.xml", "a.xml"},
                  Action::Combine,
                  "out.xml",
                  {"a.xml"},
                  {}},
        ParseCase{"LongOption",
                  {"--output", "out.xml", "a.xml"},
                  Action::Combine,
                  "out.xml",
                  {"a.xml"},
                  {}},
        ParseCase{"LongOptionWithEquals",
                  {"--output=out.xml", "a.xml"},
                  Action::Combine,
                  "out.xml",
                  {"a.xml"},
                  {}},
        ParseCase{"DoubleDashEndsOptions",
                  {"-o", "out.xml", "--", "-o", "--help"},
                  Action::Combine,
                  "out.xml",
                  {"-o", "--help"},
                  {}},
        ParseCase{
            "DashAloneIsAFileName", {"-o", "out.xml", "-"}, Action::Combine, "out.xml", {"-"}, {}},
        ParseCase{"NoInputs",
                  {"-o", "out.xml"},
                  Action::UsageError,
                  "out.xml",
                  {},
                  "no input files given"},
        ParseCase{"StandardInputTwice",
                  {"-o", "out.xml", "-", "a.xml", "-"},
                  Action::UsageError,
                  "out.xml",
                  {"-", "a.xml", "-"},
                  "standard input (-) given more than once"},
        ParseCase{"NoArguments", {}, Action::UsageError, {}, {}, noOutput},
        ParseCase{
            "NoOutput", {"a.xml", "b.xml"}, Action::UsageError, {}, {"a.xml", "b.xml"}, noOutput},
        ParseCase{"OutputOptionWithoutValue",
                  {"a.xml", "-o"},
                  Action::UsageError,
                  {},
                  {"a.xml"},
                  "option -o needs a file name"},
        ParseCase{"EmptyOutput",
                  {"--output=", "a.xml"},
                  Action::UsageError,
                  "",
                  {"a.xml"},
                  "the output file name is empty"},
        ParseCase{"TwoOutputs",
                  {"-o", "x.xml", "-o", "y.xml", "a.xml"},
                  Action::UsageError,
                  "x.xml",
                  {"a.xml"},
                  "more than one output file given"},
        ParseCase{"UnknownOption",
                  {"-x", "-o", "out.xml", "a.xml"},
                  Action::UsageError,
                  "out.xml",
                  {"a.xml"},
                  "unknown option -x"},
        ParseCase{"UnknownLongOption",
                  {"--out", "out.xml"},
                  Action::UsageError,
                  {},
                  {"out.xml"},
                  "unknown option --out"},
        ParseCase{
            "HelpWinsOverUsageErrors", {"-x", "--help"}, Action::Help, {}, {}, "unknown option -x"},
        ParseCase{"ShortHelp", {"-h"}, Action::Help, {}, {}, noOutput},
        ParseCase{"HelpWinsOverVersion", {"--version", "--help"}, Action::Help, {}, {}, noOutput},
        ParseCase{"Version", {"--version"}, Action::Version, {}, {}, noOutput},
        ParseCase{"ShortVersion",
                  {"-V", "-o", "out.xml"},
                  Action::Version,
                  "out.xml",
                  {},
                  "no input files given"}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(SingleLine, TurnsLineBreaksIntoSpacesAndControlsIntoQuestionMarks) {
    const struct {
        QString in;
        QString out;
    } cases[] = {
        {"reason\r\nLine: 7\r\n<a>", "reason Line: 7 <a>"},
        {"a\rb\nc", "a b c"},
        {"tab\there", "tab here"},
        {QStringLiteral(u"esc\x1b[31mred\x7f\u009b"), "esc?[31mred??"},
        {QStringLiteral(u"Grüße 日本"), QStringLiteral(u"Grüße 日本")},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(singleLine(c.in), c.out) << c.in.toStdString();
}

TEST(FormatBytes, UsesDecimalUnits) {
    EXPECT_EQ(formatBytes(0), "0 B");
    EXPECT_EQ(formatBytes(999), "999 B");
    EXPECT_EQ(formatBytes(20'480), "20 KB");
    EXPECT_EQ(formatBytes(5'250'000), "5.3 MB");
    EXPECT_EQ(formatBytes(1'000'000'000), "1.00 GB");
}

// A reporter writing into a buffer, with a clock the test sets.
struct ReporterRig {
    QBuffer buffer;
    const Translator english;
    std::int64_t nowMs = 0;
    std::unique_ptr<ConsoleReporter> reporter;

    explicit ReporterRig(bool terminal) {
        buffer.open(QIODevice::WriteOnly);
        reporter =
            std::make_unique<ConsoleReporter>(buffer, english, terminal, [this] { return nowMs; });
    }
    std::string text() const { return buffer.data().toStdString(); }
    void clear() {
        buffer.buffer().clear();
        buffer.seek(0);
    }
};

TEST(ConsoleReporter, PrintsOneLinePerEventAfterTheProgramsName) {
    ReporterRig rig(false);
    rig.reporter->skipped("c.xml");
    rig.reporter->failedToLoad("b.xml", xml::LoadError("bad", 2, "<x", false));
    rig.reporter->failedToLoad(QStringLiteral(u"ö.xml"),
                               xml::LoadError("No such file or directory", 0, {}, true));
    rig.reporter->saved("out.xml");
    rig.reporter->line("broken");
    EXPECT_EQ(rig.text(), "brindleaf-combine: WARNING: Root element mismatch in file: c.xml\n"
                          "brindleaf-combine: ERROR: Failed to load b.xml: bad Line: 2 <x\n"
                          "brindleaf-combine: ERROR: Failed to load \xC3\xB6.xml: No such file or "
                          "directory\n"
                          "brindleaf-combine: SUCCESS: Saved as file: out.xml\n"
                          "brindleaf-combine: broken\n");
}

TEST(ConsoleReporter, ShowsNoProgressWithinTheFirstSecond) {
    ReporterRig rig(true);
    rig.nowMs = 999;
    rig.reporter->progress(1, 3, 4000);
    EXPECT_EQ(rig.text(), "");
}

TEST(ConsoleReporter, ShowsNoProgressOffATerminal) {
    ReporterRig rig(false);
    rig.nowMs = 5000;
    rig.reporter->progress(1, 3, 4000);
    rig.reporter.reset();
    EXPECT_EQ(rig.text(), "");
}

// What erases a line of that many characters.
std::string blank(std::string_view shown) {
    return "\r" + std::string(shown.size(), ' ') + "\r";
}

TEST(ConsoleReporter, ProgressAfterASecondIsErasedBeforeAMessageAndAtTheEnd) {
    ReporterRig rig(true);
    rig.nowMs = 1200;
    rig.reporter->progress(2, 10, 10'500'000);
    EXPECT_EQ(rig.text(), "\r2 of 10 files, 10.5 MB\r");

    // A quicker redraw is skipped, a later one overwrites the line in place.
    rig.clear();
    rig.nowMs = 1250;
    rig.reporter->progress(3, 10, 12'000'000);
    rig.nowMs = 1400;
    rig.reporter->progress(4, 10, 900'000'000);
    EXPECT_EQ(rig.text(), "\r4 of 10 files, 900.0 MB\r");

    rig.clear();
    rig.reporter->skipped("c.xml");
    EXPECT_EQ(rig.text(), blank("4 of 10 files, 900.0 MB") +
                              "brindleaf-combine: WARNING: Root element mismatch in file: c.xml\n");

    // A shorter line is padded over the longer one before it.
    rig.clear();
    rig.nowMs = 1600;
    rig.reporter->progress(5, 10, 1'000'000'000);
    rig.nowMs = 1800;
    rig.reporter->progress(6, 10, 1);
    EXPECT_EQ(rig.text(), "\r5 of 10 files, 1.00 GB\r\r6 of 10 files, 1 B    \r");

    rig.clear();
    rig.reporter.reset();
    EXPECT_EQ(rig.text(), blank("6 of 10 files, 1 B"));
}

TEST(ConsoleReporter, LastFileIsAlwaysDrawn) {
    ReporterRig rig(true);
    rig.nowMs = 2000;
    rig.reporter->progress(9, 10, 100);
    rig.nowMs = 2001;
    rig.reporter->progress(10, 10, 200);
    EXPECT_TRUE(rig.text().ends_with("\r10 of 10 files, 200 B\r")) << rig.text();
}

} // namespace
