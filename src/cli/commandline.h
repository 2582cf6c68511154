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
};

// Reads the arguments after the program name: -o OUTPUT (also -oOUTPUT, --output OUTPUT,
// --output=OUTPUT), INPUT..., --help, --version; "--" ends the options. Help wins over
// version, both win over a usage error.
CombineCommand parseCommandLine(const QStringList& arguments);

// The text of --help.
QString usageText();
