#include "core/versioninfo.h"

#include "core/apperror.h"
#include "platform/elfsection.h"

#include <QHash>
#include <QStringList>
#include <cerrno>
#include <cstring>

namespace {

constexpr char sectionName[] = ".brindleaf_version";

// The section holds NUL-terminated "path=value" records.
using VersionRecords = QHash<QString, QString>;

[[noreturn]] void raiseSystemError(const QString& path, int error) {
    throw AppError(path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
}

VersionRecords parseRecords(const QByteArray& data) {
    VersionRecords records;
    for (const QByteArray& record : data.split('\0')) {
        const qsizetype equals = record.indexOf('=');
        if (equals <= 0)
            continue; // the padding after the last record, or nothing usable
        const QString key = QString::fromUtf8(record.left(equals));
        if (!records.contains(key)) // the first record of a path wins
            records.insert(key, QString::fromUtf8(record.mid(equals + 1)));
    }
    return records;
}

platform::ElfSection versionSection(const QString& path) {
    return platform::readElfSection(path, QByteArray(sectionName));
}

} // namespace

TEXEVersionData ReadExeVersionData(const QString& path) {
    const platform::ElfSection section = versionSection(path);
    if (section.error != 0)
        raiseSystemError(path, section.error);
    const VersionRecords records = parseRecords(section.data);

    const QString translations = records.value(QStringLiteral("\\VarFileInfo\\Translation"));
    const QString first = translations.section(QLatin1Char(','), 0, 0).trimmed();
    bool isHex = false;
    first.toUInt(&isHex, 16);
    if (first.size() != 8 || !isHex)
        raiseSystemError(path, ENODATA);
    // Only the first entry's block counts; its key's hex digits match in either case.
    const QString prefix = QStringLiteral("\\StringFileInfo\\") + first + QLatin1Char('\\');
    VersionRecords texts;
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        if (it.key().startsWith(prefix, Qt::CaseInsensitive))
            texts.insert(it.key().mid(prefix.size()), it.value());
    }
    auto text = [&texts](const char* name) { return texts.value(QString::fromLatin1(name)); };
    return {text("CompanyName"),      text("FileDescription"), text("FileVersion"),
            text("InternalName"),     text("LegalCopyright"),  text("LegalTrademarks"),
            text("OriginalFileName"), text("ProductName"),     text("ProductVersion"),
            text("Comments"),         text("PrivateBuild"),    text("SpecialBuild")};
}

quint32 ReadExeFileVersionMS(const QString& path) {
    constexpr quint32 unreadable = 0xFFFFFFFFu;
    const platform::ElfSection section = versionSection(path);
    if (section.error != 0)
        return unreadable;
    const QStringList parts =
        parseRecords(section.data).value(QStringLiteral("\\")).split(QLatin1Char('.'));
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
