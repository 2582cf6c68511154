#pragma once

#include "platform/settingslocation.h"

#include <QString>

// The per-user settings store of the update check: one key per program where the platform
// keeps settings (platform::settingsLocation: an INI file on Linux, the registry on Windows),
// every value in the group "Settings" as text. Integers are stored as decimal text.
class SettingsStore {
public:
    // The store for the key name (see settingsKeyName). Nothing is touched yet.
    explicit SettingsStore(const QString& keyName);

    // Creates the key's folders when missing (for a file). Throws AppError when that fails.
    void open() const;

    // The file, or the registry key.
    const QString& filePath() const { return m_location.path; }

    // Empty for a missing file or value; the text up to the first NUL otherwise.
    // Throws AppError when the value reads back as anything but a string.
    QString readString(const QString& name) const;
    // The value as a decimal integer; the default when missing, empty or not a number.
    // Throws like readString.
    int readInteger(const QString& name, int defaultValue) const;

    // Create what is missing. Throw AppError when the value cannot be stored.
    void writeString(const QString& name, const QString& text) const;
    void writeInteger(const QString& name, int value) const;

    // The notification switch: ShowUpdate "0" / "1", read again at the next start.
    void setNotificationsOff() const { writeInteger(QStringLiteral("ShowUpdate"), 0); }
    void setNotificationsOn() const { writeInteger(QStringLiteral("ShowUpdate"), 1); }

private:
    platform::SettingsLocation m_location;
};

namespace settings {

// MD5 of the full title, one byte a character ("?" for any character above 127),
// as 32 upper-case hexadecimal digits. Depends only on the company and product name.
QString settingsKeyName(const QString& fullTitle);

// Where a key is kept: on Linux the file <user configuration folder>/SOFTWARE/Microsoft/VS/
// ServiceModules/<name>.ini
QString keyFilePath(const QString& keyName);

} // namespace settings
