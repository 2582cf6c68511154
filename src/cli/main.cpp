// brindleaf-combine: the export of the main window as a command, on the same core.

#include "cli/commandline.h"
#include "cli/consolereporter.h"
#include "core/apperror.h"
#include "core/combine.h"
#include "core/translate.h"
#include "core/versioninfo.h"
#include "platform/console.h"
#include "platform/executablepath.h"
#include "platform/interruption.h"
#include "platform/nativepath.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <exception>

namespace {

constexpr int exitSuccess = 0; // --help, --version
constexpr int exitWritten = 0;
constexpr int exitNotWritten = 1;
constexpr int exitUsage = 2;

const QString standardStream = QStringLiteral("-");
// Standard input is read through its name, as every other input is.
const QString standardInputPath = platform::console::standardInputPath();

// False when the text could not be written whole (a full disk, a closed pipe).
bool printTo(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream) ==
                         std::size_t(bytes.size());
    return std::fflush(stream) == 0 && written && !std::ferror(stream);
}

// Stops the combine at its next read once an interruption was asked for.
class CommandReporter : public ConsoleReporter {
public:
    using ConsoleReporter::ConsoleReporter;
    bool stopRequested() override { return platform::interruption::requested() != 0; }
};

int combine(const CombineCommand& command) {
    QFile err;
    if (!err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return exitNotWritten;
    QStringList inputs;
    QHash<QString, QString> names;
    for (const QString& input : command.inputs) {
        if (input == standardStream) {
            inputs << standardInputPath;
            names.insert(standardInputPath, standardStream);
        } else {
            inputs << input;
        }
    }
    QElapsedTimer clock;
    clock.start();
    Translator translator;
    CommandReporter reporter(
        err, translator, platform::console::standardErrorIsTerminal(),
        [&clock] { return std::int64_t(clock.elapsed()); }, names);
    platform::interruption::install();

    try {
        translator.languageInitialisation();
    } catch (const AppError& e) {
        // As in the window: the error is shown and the work goes on in English.
        reporter.line(e.message());
    }

    const CombineTarget target =
        command.output == standardStream
            ? CombineTarget::stream(platform::console::standardOutput(), standardStream)
            : CombineTarget(command.output);
    CombineOutcome outcome = CombineOutcome::NotWritten;
    try {
        outcome = combineXmlFiles(inputs, target, reporter, CombineOptions{command.jobs});
    } catch (const xml::LoadError& e) {
        // The first file: named like every other, as the window's own display does not.
        reporter.failedToLoad(inputs.first(), e);
    } catch (const AppError& e) {
        reporter.line(translator.translate(QStringLiteral("ERROR")) + QStringLiteral(": ") +
                      e.message());
    } catch (const std::exception& e) {
        reporter.line(translator.translate(QStringLiteral("ERROR")) + QStringLiteral(": ") +
                      QString::fromUtf8(e.what()));
    }
    if (const int signalNumber = platform::interruption::requested()) {
        if (outcome != CombineOutcome::Interrupted)
            reporter.interrupted({});
        reporter.clearProgress();
        platform::interruption::endBy(signalNumber);
    }
    if (outcome == CombineOutcome::Written)
        return exitWritten;
    reporter.line(QStringLiteral("nothing was written"));
    return exitNotWritten;
}

} // namespace

int main(int argc, char* argv[]) {
    // A reader of standard error that goes away (a pipe into head) must not kill the work
    // half-way; the lost lines are simply lost.
    platform::console::keepRunningOnClosedPipes();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brindleaf-combine"));

    // The arguments as their bytes: a file name need not be UTF-8.
    QStringList arguments;
    for (const QByteArray& argument : platform::console::arguments(argc, argv))
        arguments << nativepath::decode(argument);

    const CombineCommand command = parseCommandLine(arguments);
    switch (command.action) {
    case CombineCommand::Action::Help:
        return printTo(stdout, usageText()) ? exitSuccess : exitNotWritten;
    case CombineCommand::Action::Version:
        return printTo(stdout,
                       QStringLiteral("brindleaf-combine %1\n")
                           .arg(versionTextOf(ReadExeFileVersionMS(platform::executablePath()))))
                   ? exitSuccess
                   : exitNotWritten;
    case CombineCommand::Action::UsageError:
        printTo(stderr, QStringLiteral("brindleaf-combine: %1\n"
                                       "Usage: brindleaf-combine -o OUTPUT INPUT...\n"
                                       "Try 'brindleaf-combine --help' for more information.\n")
                            .arg(singleLine(command.problem)));
        return exitUsage;
    case CombineCommand::Action::Combine:
        break;
    }
    return combine(command);
}
