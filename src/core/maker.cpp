#include "core/maker.h"

#include "core/textlines.h"

#include <QtGlobal>

namespace maker {

QString host() {
    const QString fromEnvironment = qEnvironmentVariable("BRINDLEAF_MAKER_HOST").trimmed();
    return fromEnvironment.isEmpty() ? QStringLiteral(BRINDLEAF_DEFAULT_MAKER_HOST)
                                     : fromEnvironment;
}

QString homePageUrl() {
    return QStringLiteral("http://") + host() + QStringLiteral("/");
}

QString homePageFallbackUrl() {
    return QStringLiteral("http://") + host();
}

QString helpPageUrl(const QString& productName) {
    // The page names are the product names with A to Z lowered and blanks as hyphens;
    // other letters stay as they are.
    QString name = asciiLower(productName);
    name.replace(QLatin1Char(' '), QLatin1Char('-'));
    return QStringLiteral("http://") + host() + QStringLiteral("/help/") + name +
           QStringLiteral("/");
}

QString acknowledgementsUrl() {
    return QStringLiteral("https://") + host() +
           QStringLiteral("/blog/credits-and-acknowledgements/");
}

QString uninstallUrl() {
    return QStringLiteral("http://") + host() +
           QStringLiteral("/blog/how-to-uninstall-quenlow-software/");
}

QString secureServiceUrl(const QString& path) {
    return QStringLiteral("https://") + host() + path;
}

QString plainServiceUrl(const QString& path) {
    return QStringLiteral("http://") + host() + path;
}

} // namespace maker
