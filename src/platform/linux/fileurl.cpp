#include "platform/fileurl.h"

#include "platform/nativepath.h"

namespace platform {

QString systemPathOfFileUrl(const QUrl& url) {
    if (!url.host().isEmpty())
        return {};
    return nativepath::decode(
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

} // namespace platform
