#pragma once

#include <QString>

namespace platform {

// The user's configuration folder, where the settings store keeps its keys:
// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config; no trailing separator.
// Empty when no home folder is known.
QString userConfigFolder();

} // namespace platform
