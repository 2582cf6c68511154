#include "platform/executablepath.h"

#include <QDir>
#include <QFileInfo>

namespace platform {

QString executablePath() {
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.canonicalFilePath();
}

} // namespace platform
