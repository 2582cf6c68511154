#include "platform/fileurl.h"

namespace platform {

QString localFileOfUrl(QUrl url) {
    if (!url.isLocalFile())
        return {};
    if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        url.setHost(QString());
    return systemPathOfFileUrl(url);
}

} // namespace platform
