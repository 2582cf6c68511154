#include "platform/settingslocation.h"

#include "platform/linux/configfolder.h"

#include <QFileInfo>

namespace platform {

SettingsLocation settingsLocation(const QString& keyName) {
    return {userConfigFolder() + QStringLiteral("/SOFTWARE/Microsoft/VS/ServiceModules/") +
                keyName + QStringLiteral(".ini"),
            QSettings::IniFormat, true};
}

bool settingsKeyExists(const SettingsLocation& location) {
    return QFileInfo::exists(location.path);
}

} // namespace platform
