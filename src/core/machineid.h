#pragma once

#include <QString>
#include <QStringList>

namespace machineid {

// The files that may hold this installation's identifier, in the order they are tried.
QStringList candidateFiles();

// The identifier from the first of the files that can be opened, passed on as the file
// holds it (its first line, without the line break); empty when none can be opened.
// Throws AppError when a file opens but cannot be read.
QString readMachineIdentifier(const QStringList& files = candidateFiles());

} // namespace machineid
