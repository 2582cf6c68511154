#pragma once

#include <QString>

namespace platform {

// A path chosen in a file dialog, as the file system names it. Qt's dialogs show a name that
// is not valid UTF-8 with U+FFFD in place of each odd byte, and hand it back that way. On
// Linux each such part of the path is looked up in its folder and taken as the bytes of the
// one entry there that reads the same (see nativepath.h); when none or several do, the part
// stays as it is. Any other path, and every path on Windows, comes back unchanged.
QString systemPathOfDialogPath(const QString& path);

} // namespace platform
