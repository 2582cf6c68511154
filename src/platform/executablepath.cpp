#include "platform/executablepath.h"

#include <QFileInfo>

namespace platform {

QString executableFolder() {
    QString folder = QFileInfo(executablePath()).absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

} // namespace platform
