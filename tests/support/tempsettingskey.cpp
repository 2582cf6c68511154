#include "support/tempsettingskey.h"

#include "platform/settingslocation.h"

#include <QFileInfo>
#include <QSettings>
#include <QUuid>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
// The key below HKEY_CURRENT_USER.
std::wstring registrySubkey(const QString& name) {
    const QString path = platform::settingsLocation(name).path;
    return path.mid(path.indexOf(QLatin1Char('\\')) + 1).toStdWString();
}
#endif

} // namespace

TemporarySettingsKey::TemporarySettingsKey()
    : m_name(QUuid::createUuid().toString(QUuid::Id128).toUpper()) {}

TemporarySettingsKey::~TemporarySettingsKey() {
#ifdef _WIN32
    ::RegDeleteTreeW(HKEY_CURRENT_USER, registrySubkey(m_name).c_str());
#endif
}

bool TemporarySettingsKey::exists() const {
#ifdef _WIN32
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, registrySubkey(m_name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
#else
    return QFileInfo::exists(platform::settingsLocation(m_name).path);
#endif
}

void TemporarySettingsKey::writeValue(const QString& key, const QVariant& value) const {
    const platform::SettingsLocation location = platform::settingsLocation(m_name);
    QSettings settings(location.path, location.format);
    settings.setValue(key, value);
    settings.sync();
    EXPECT_EQ(settings.status(), QSettings::NoError) << key.toStdString();
}

QVariant TemporarySettingsKey::readValue(const QString& key) const {
    const platform::SettingsLocation location = platform::settingsLocation(m_name);
    return QSettings(location.path, location.format).value(key);
}
