// brindleaf-combine: the export of the main window as a command, on the same core.

#include "cli/commandline.h"
#include "cli/consolereporter.h"
#include "cli/interruption.h"
#include "core/apperror.h"
#include "core/combine.h"
#include "core/identity.h"
#include "core/translate.h"
#include "core/versioninfo.h"
#include "platform/executablepath.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <csignal>
#include <cstdio>
#include <exception>
#include <unistd.h>

namespace {

constexpr int exitSuccess = 0; // --help, --version
constexpr int exitWritten = 0;
constexpr int exitNotWritten = 1;
constexpr int exitUsage = 2;

void printTo(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The text the default error display of the window would show.
QString defaultErrorText(const QString& message) {
    QString text = message;
    if (!text.isEmpty() && text.back().unicode() > u'.')
        text += QLatin1Char('.');
    return identity::applicationTitle() + QStringLiteral(": ") + text;
}

// Stops the combine at its next progress report once an interruption was asked for.
class CommandReporter : public ConsoleReporter {
public:
    using ConsoleReporter::ConsoleReporter;
    void progress(int filesDone, int filesTotal, std::uint64_t bytesRead) override {
        if (const int signalNumber = interruption::requested())
            throw CombineInterrupted{signalNumber};
        ConsoleReporter::progress(filesDone, filesTotal, bytesRead);
    }
};

int combine(const CombineCommand& command) {
    QFile err;
    if (!err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return exitNotWritten;
    QElapsedTimer clock;
    clock.start();
    CommandReporter reporter(err, isatty(STDERR_FILENO) == 1,
                             [&clock] { return std::int64_t(clock.elapsed()); });
    interruption::install();

    try {
        translation::languageInitialisation();
    } catch (const AppError& e) {
        // As in the window: the error is shown and the work goes on in English.
        reporter.line(defaultErrorText(e.message()));
    }

    try {
        const CombineOutcome outcome = combineXmlFiles(command.inputs, command.output, reporter);
        return outcome == CombineOutcome::Written ? exitWritten : exitNotWritten;
    } catch (const AppError& e) {
        reporter.line(defaultErrorText(e.message()));
    } catch (const std::exception& e) {
        reporter.line(defaultErrorText(QString::fromUtf8(e.what())));
    } catch (const CombineInterrupted& interrupted) {
        // The combine has removed its temporary file on the way out.
        reporter.line(QStringLiteral("brindleaf-combine: interrupted, nothing was written"));
        interruption::endBy(interrupted.signalNumber);
    }
    return exitNotWritten;
}

} // namespace

int main(int argc, char* argv[]) {
    // A reader of standard error that goes away (a pipe into head) must not kill the work
    // half-way and leave its temporary file behind; the lost lines are simply lost.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brindleaf-combine"));

    const CombineCommand command = parseCommandLine(QCoreApplication::arguments().mid(1));
    switch (command.action) {
    case CombineCommand::Action::Help:
        printTo(stdout, usageText());
        return exitSuccess;
    case CombineCommand::Action::Version:
        printTo(stdout, QStringLiteral("brindleaf-combine %1\n")
                            .arg(versionTextOf(ReadExeFileVersionMS(platform::executablePath()))));
        return exitSuccess;
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
