#include "platform/settingslocation.h"

namespace platform {

SettingsLocation settingsLocation(const QString& keyName) {
    return {QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\VS\\ServiceModules\\") +
                keyName,
            QSettings::NativeFormat, false};
}

} // namespace platform
