#pragma once

#include <QString>

namespace platform {

// Whether a new file can be created at `path`: creates it exclusively, closes and removes
// it. An existing file of that name, like any other failure, counts as "cannot".
bool canCreateFile(const QString& path);

} // namespace platform
