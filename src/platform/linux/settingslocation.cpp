#include "platform/settingslocation.h"

#include "platform/linux/configfolder.h"

namespace platform {

SettingsLocation settingsLocation(const QString& keyName) {
    return {userConfigFolder() + QStringLiteral("/SOFTWARE/Microsoft/VS/ServiceModules/") +
                keyName + QStringLiteral(".ini"),
            QSettings::IniFormat, true};
}

} // namespace platform
