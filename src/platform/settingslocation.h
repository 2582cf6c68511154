#pragma once

#include <QSettings>
#include <QString>

namespace platform {

// Where the settings store keeps a key, and in which form: below the user's configuration
// folder as an INI file on Linux (the key's path with "/" for "\" plus ".ini"), in the
// registry under HKEY_CURRENT_USER on Windows.
struct SettingsLocation {
    QString path; // the file, or the registry key
    QSettings::Format format = QSettings::IniFormat;
    bool isFile = true;
};

// `keyName` is the last part of SOFTWARE\Microsoft\VS\ServiceModules\<keyName>.
SettingsLocation settingsLocation(const QString& keyName);

// Whether the key is there: the file, or the registry key. Looked at before a read, since
// the settings class creates a registry key that it merely reads.
bool settingsKeyExists(const SettingsLocation& location);

} // namespace platform
