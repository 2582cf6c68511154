#include "platform/fileurl.h"

#include <QDir>

namespace platform {

QString localFileOfUrl(QUrl url) {
    if (!url.isLocalFile())
        return {};
    if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        url.setHost(QString());
    // Qt turns file:///C:/a into C:/a and file://server/share/a into //server/share/a.
    return QDir::toNativeSeparators(url.toLocalFile());
}

} // namespace platform
