#include "platform/fileurl.h"

#include <QDir>

namespace platform {

QString systemPathOfFileUrl(const QUrl& url) {
    // Qt turns file:///C:/a into C:/a and file://server/share/a into //server/share/a.
    return QDir::toNativeSeparators(url.toLocalFile());
}

} // namespace platform
