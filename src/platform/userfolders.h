#pragma once

#include <QString>

namespace platform {

// The user's application-data folder: on Linux $XDG_DATA_HOME when it is an absolute path,
// else ~/.local/share; on Windows the roaming application-data folder. No trailing
// separator; empty when none is known.
QString userDataFolder();

} // namespace platform
