#pragma once

#include "platform/machineid.h"

#include <QStringList>

namespace platform {

// The files that may hold the identifier, in the order they are tried.
QStringList machineIdFiles();

// The identifier from the first of the files that can be opened: its first line, without
// the line break. Empty when none opens; an error when one opens but cannot be read.
MachineIdentifier readMachineIdentifier(const QStringList& files);

} // namespace platform
