#include "platform/versiondata.h"

#include "platform/linux/elfsection.h"

#include <QFile>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

constexpr char sectionName[] = ".brindleaf_version";

QString systemError(const QString& path, int error) {
    return path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

// The section holds NUL-terminated "path=value" records.
VersionData::VersionData(const QString& path) : m_path(path) {
    const ElfSection section = readElfSection(path, QByteArray(sectionName));
    if (section.error != 0) {
        m_error = systemError(path, section.error);
        return;
    }
    for (const QByteArray& record : section.data.split('\0')) {
        const qsizetype equals = record.indexOf('=');
        if (equals <= 0)
            continue; // the padding after the last record, or nothing usable
        m_values.append(
            {QString::fromUtf8(record.left(equals)), QString::fromUtf8(record.mid(equals + 1))});
    }
}

QString VersionData::noDataError() const {
    return systemError(m_path, ENODATA);
}

} // namespace platform
