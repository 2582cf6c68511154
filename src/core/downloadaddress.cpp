#include "core/downloadaddress.h"

#include "core/maker.h"

#include <QUrl>

namespace downloadaddress {

bool isWebAddress(const QString& address) {
    // Blanks and control characters are never part of an address; an opener might cut
    // the text there or read it as something else.
    for (const QChar c : address) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F)
            return false;
    }
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme(); // QUrl keeps schemes in lower case
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

QString openTarget(const QString& address) {
    return isWebAddress(address) ? address : maker::homePageFallbackUrl();
}

} // namespace downloadaddress
