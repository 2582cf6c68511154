#include "core/versioninfo.h"

#include "core/apperror.h"
#include "platform/versiondata.h"

#include <QStringList>

TEXEVersionData ReadExeVersionData(const QString& path) {
    const platform::VersionData data(path);
    if (!data.error().isEmpty())
        throw AppError(data.error());
    const QString translations =
        data.query(QStringLiteral("\\VarFileInfo\\Translation")).value_or(QString());
    const QString first = translations.section(QLatin1Char(','), 0, 0).trimmed();
    bool isHex = false;
    first.toUInt(&isHex, 16);
    if (first.size() != 8 || !isHex)
        throw AppError(data.noDataError());
    // Only the first entry's block counts.
    const QString prefix = QStringLiteral("\\StringFileInfo\\") + first + QLatin1Char('\\');
    auto text = [&](const char* name) {
        return data.query(prefix + QString::fromLatin1(name)).value_or(QString());
    };
    return {text("CompanyName"),      text("FileDescription"), text("FileVersion"),
            text("InternalName"),     text("LegalCopyright"),  text("LegalTrademarks"),
            text("OriginalFileName"), text("ProductName"),     text("ProductVersion"),
            text("Comments"),         text("PrivateBuild"),    text("SpecialBuild")};
}

quint32 ReadExeFileVersionMS(const QString& path) {
    constexpr quint32 unreadable = 0xFFFFFFFFu;
    const platform::VersionData data(path);
    if (!data.error().isEmpty())
        return unreadable;
    const QStringList parts =
        data.query(QStringLiteral("\\")).value_or(QString()).split(QLatin1Char('.'));
    if (parts.size() != 4)
        return unreadable;
    bool majorValid = false;
    bool minorValid = false;
    const uint major = parts[0].toUInt(&majorValid);
    const uint minor = parts[1].toUInt(&minorValid);
    if (!majorValid || !minorValid || major > 0xFFFF || minor > 0xFFFF)
        return unreadable;
    return (major << 16) | minor;
}

QString versionTextOf(quint32 fileVersionMS) {
    return QStringLiteral("%1.%2").arg(fileVersionMS >> 16).arg(fileVersionMS & 0xFFFF);
}

ProductIdentity readProductIdentity(const QString& path) {
    const TEXEVersionData data = ReadExeVersionData(path);
    ProductIdentity product;
    product.companyName = data.CompanyName;
    product.productName = data.ProductName;
    product.versionText = versionTextOf(ReadExeFileVersionMS(path));
    product.fullTitle = product.companyName + QStringLiteral(" - ") + product.productName;
    return product;
}
