#include "platform/versiondata.h"

#include <QDir>
#include <windows.h>

#include <array>

namespace platform {
namespace {

const wchar_t* wide(const QString& text) {
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

QString systemError(const QString& path, DWORD error) {
    return path + QStringLiteral(": ") + qt_error_string(static_cast<int>(error));
}

// The texts the program asks for; the system answers one query at a time.
constexpr std::array fieldNames{"CompanyName",      "FileDescription", "FileVersion",
                                "InternalName",     "LegalCopyright",  "LegalTrademarks",
                                "OriginalFileName", "ProductName",     "ProductVersion",
                                "Comments",         "PrivateBuild",    "SpecialBuild"};

} // namespace

// The values are read through the system's version functions once, here, into the same
// query-path table the other systems fill.
VersionData::VersionData(const QString& path) : m_path(path) {
    const QString native = QDir::toNativeSeparators(path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(wide(native), &ignored);
    if (size == 0) {
        m_error = systemError(path, ::GetLastError());
        return;
    }
    QByteArray data(static_cast<qsizetype>(size), '\0');
    if (!::GetFileVersionInfoW(wide(native), 0, size, data.data())) {
        m_error = systemError(path, ::GetLastError());
        return;
    }
    void* value = nullptr;
    UINT length = 0;
    if (::VerQueryValueW(data.constData(), L"\\", &value, &length) &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        m_values.append({QStringLiteral("\\"), QStringLiteral("%1.%2.%3.%4")
                                                   .arg(HIWORD(fixed->dwFileVersionMS))
                                                   .arg(LOWORD(fixed->dwFileVersionMS))
                                                   .arg(HIWORD(fixed->dwFileVersionLS))
                                                   .arg(LOWORD(fixed->dwFileVersionLS))});
    }
    if (!::VerQueryValueW(data.constData(), L"\\VarFileInfo\\Translation", &value, &length))
        return;
    const auto* words = static_cast<const WORD*>(value);
    QStringList entries;
    for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2)
        entries.append(QStringLiteral("%1%2")
                           .arg(words[i], 4, 16, QLatin1Char('0'))
                           .arg(words[i + 1], 4, 16, QLatin1Char('0'))
                           .toUpper());
    m_values.append({QStringLiteral("\\VarFileInfo\\Translation"), entries.join(QLatin1Char(','))});
    for (const QString& block : entries) {
        for (const char* name : fieldNames) {
            const QString queryPath = QStringLiteral("\\StringFileInfo\\") + block +
                                      QLatin1Char('\\') + QLatin1String(name);
            if (!::VerQueryValueW(data.constData(), wide(queryPath), &value, &length))
                continue;
            // The length counts characters, the terminating zero included when there is one.
            QString text =
                QString::fromWCharArray(static_cast<const wchar_t*>(value), qsizetype(length));
            const qsizetype zero = text.indexOf(QChar(0));
            m_values.append({queryPath, zero < 0 ? text : text.left(zero)});
        }
    }
}

QString VersionData::noDataError() const {
    return systemError(m_path, ERROR_RESOURCE_TYPE_NOT_FOUND);
}

} // namespace platform
