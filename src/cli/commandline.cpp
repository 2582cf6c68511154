#include "cli/commandline.h"

namespace {

const QString outputLong = QStringLiteral("--output");
const QString jobsLong = QStringLiteral("--jobs");

} // namespace

CombineCommand parseCommandLine(const QStringList& arguments) {
    CombineCommand command;
    bool help = false;
    bool version = false;
    QStringList outputs;
    QStringList jobs;
    QString problem;
    const auto noteProblem = [&problem](const QString& text) {
        if (problem.isEmpty())
            problem = text;
    };

    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        // "-" alone is a file name like any other; only "-x" and "--x" are options.
        if (optionsEnded || argument.size() < 2 || !argument.startsWith(QLatin1Char('-'))) {
            command.inputs.append(argument);
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            help = true;
        } else if (argument == QLatin1String("-V") || argument == QLatin1String("--version")) {
            version = true;
        } else if (argument == QLatin1String("-o") || argument == outputLong) {
            if (i + 1 < arguments.size())
                outputs.append(arguments.at(++i));
            else
                noteProblem(QStringLiteral("option %1 needs a file name").arg(argument));
        } else if (argument.startsWith(outputLong + QLatin1Char('='))) {
            outputs.append(argument.mid(outputLong.size() + 1));
        } else if (argument.startsWith(QLatin1String("-o")) &&
                   !argument.startsWith(QLatin1String("--"))) {
            outputs.append(argument.mid(2));
        } else if (argument == QLatin1String("-j") || argument == jobsLong) {
            if (i + 1 < arguments.size())
                jobs.append(arguments.at(++i));
            else
                noteProblem(QStringLiteral("option %1 needs a number").arg(argument));
        } else if (argument.startsWith(jobsLong + QLatin1Char('='))) {
            jobs.append(argument.mid(jobsLong.size() + 1));
        } else if (argument.startsWith(QLatin1String("-j")) &&
                   !argument.startsWith(QLatin1String("--"))) {
            jobs.append(argument.mid(2));
        } else {
            noteProblem(QStringLiteral("unknown option %1").arg(argument));
        }
    }

    if (outputs.size() > 1)
        noteProblem(QStringLiteral("more than one output file given"));
    else if (outputs.isEmpty())
        noteProblem(QStringLiteral("no output file given (-o OUTPUT)"));
    else if (outputs.first().isEmpty())
        noteProblem(QStringLiteral("the output file name is empty"));
    for (const QString& value : jobs) {
        bool number = false;
        const int count = value.toInt(&number);
        if (!number || count < 1 || count > 1024)
            noteProblem(
                QStringLiteral("the number of jobs must be from 1 to 1024, not '%1'").arg(value));
        else
            command.jobs = count;
    }
    if (command.inputs.isEmpty())
        noteProblem(QStringLiteral("no input files given"));
    // Standard input can be read only once.
    if (command.inputs.count(QStringLiteral("-")) > 1)
        noteProblem(QStringLiteral("standard input (-) given more than once"));

    if (help)
        command.action = CombineCommand::Action::Help;
    else if (version)
        command.action = CombineCommand::Action::Version;
    else if (!problem.isEmpty())
        command.action = CombineCommand::Action::UsageError;
    else
        command.action = CombineCommand::Action::Combine;
    command.problem = problem;
    if (!outputs.isEmpty())
        command.output = outputs.first();
    return command;
}

QString usageText() {
    return QStringLiteral(
        "Usage: brindleaf-combine -o OUTPUT INPUT...\n"
        "Combines XML files into one: the document of the first INPUT, with the children of the\n"
        "root element of every further INPUT appended to its root element, in order. A file\n"
        "whose root element has another name is reported and skipped; a file that cannot be\n"
        "loaded is reported and nothing is written.\n"
        "\n"
        "  -o, --output OUTPUT  the file to write; it is replaced only by a complete document\n"
        "                       (a device or a pipe is written into, never replaced)\n"
        "  -j, --jobs N         read N files at once (default: one per processor core);\n"
        "                       the output is the same whatever N\n"
        "  -h, --help           show this help and exit\n"
        "  -V, --version        show the version and exit\n"
        "  --                   treat every later argument as an INPUT\n"
        "\n"
        "An INPUT or OUTPUT of - is standard input or standard output; standard input can be\n"
        "read once. Standard output gets the document only when the whole combine succeeded.\n"
        "\n"
        "What is read and written:\n"
        "  - a document with a document type declaration (<!DOCTYPE ...>) is refused;\n"
        "  - elements may nest at most 256 levels deep;\n"
        "  - text of white space only (indentation) is dropped, unless xml:space=\"preserve\"\n"
        "    applies to it;\n"
        "  - the output is UTF-8, whatever the encoding of the inputs.\n"
        "\n"
        "Messages go to standard error, one line each. Exit status: 0 when OUTPUT was written\n"
        "(skipped files included), 1 when nothing was written, 2 for a usage error.\n");
}
