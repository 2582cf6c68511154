#include "platform/settingslocation.h"

#include <windows.h>

namespace platform {
namespace {

constexpr QLatin1StringView root{"HKEY_CURRENT_USER\\"};

} // namespace

SettingsLocation settingsLocation(const QString& keyName) {
    return {QString(root) + QStringLiteral("SOFTWARE\\Microsoft\\VS\\ServiceModules\\") + keyName,
            QSettings::NativeFormat, false};
}

bool settingsKeyExists(const SettingsLocation& location) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, location.path.mid(root.size()).toStdWString().c_str(), 0,
                        KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

} // namespace platform
