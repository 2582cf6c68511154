#include "platform/fileurl.h"

#include "platform/nativepath.h"

namespace platform {

QString localFileOfUrl(QUrl url) {
    if (!url.isLocalFile())
        return {};
    if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        url.setHost(QString());
    if (!url.host().isEmpty())
        return {};
    return nativepath::decode(
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

} // namespace platform
