#pragma once

#include <QString>
#include <QStringList>

// What the command line asks brindleaf-combine to do.
struct CombineCommand {
    enum class Action { Combine, Help, Version, UsageError };
    Action action = Action::UsageError;
    QString output;
    QStringList inputs;
    QString problem; // for a usage error: what is wrong, one line
    int jobs = 0;    // files read at once; 0 for as many as the machine has cores
};

// Reads the arguments after the program name: -o OUTPUT (also -oOUTPUT, --output OUTPUT,
// --output=OUTPUT), -j N (also -jN, --jobs N, --jobs=N), INPUT..., --help, --version; "--"
// ends the options. Help wins over
// version, both win over a usage error.
CombineCommand parseCommandLine(const QStringList& arguments);

// The text of --help.
QString usageText();
