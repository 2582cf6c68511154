#include "platform/dialogpath.h"

namespace platform {

QString systemPathOfDialogPath(const QString& path) {
    // Windows names files in UTF-16, which the dialog hands back exactly.
    return path;
}

} // namespace platform
