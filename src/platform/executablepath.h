#pragma once

#include <QString>

namespace platform {

// Full path of the running executable, links resolved (so a program started through a
// link in bin/ finds the files installed beside its real executable).
QString executablePath();

// The executable's folder with a trailing separator.
QString executableFolder();

} // namespace platform
