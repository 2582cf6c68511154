#include "platform/executablepath.h"

#include <QDir>
#include <QFileInfo>

namespace platform {

QString executablePath() {
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.canonicalFilePath();
}

QString executableFolder() {
    QString folder = QFileInfo(executablePath()).absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

} // namespace platform
