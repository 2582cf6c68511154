#include "core/settingsstore.h"

#include "core/apperror.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

namespace {

const QString group = QStringLiteral("Settings");

QString settingsError(QSettings::Status status, const QString& path) {
    return status == QSettings::FormatError
               ? QStringLiteral("The settings file is not in INI format: %1").arg(path)
               : QStringLiteral("The settings file cannot be written: %1").arg(path);
}

} // namespace

namespace settings {

QString settingsKeyName(const QString& fullTitle) {
    // One byte a character: a surrogate pair is one character and gives one "?".
    QByteArray bytes;
    bytes.reserve(fullTitle.size());
    for (const char32_t c : fullTitle.toUcs4())
        bytes.append(c < 128 ? static_cast<char>(c) : '?');
    return QString::fromLatin1(
        QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
}

QString keyFilePath(const QString& keyName) {
    return platform::settingsLocation(keyName).path;
}

} // namespace settings

SettingsStore::SettingsStore(const QString& keyName)
    : m_location(platform::settingsLocation(keyName)) {}

void SettingsStore::open() const {
    if (!m_location.isFile)
        return;
    const QString folder = QFileInfo(m_location.path).absolutePath();
    if (!QDir().mkpath(folder))
        throw AppError(QStringLiteral("The settings folder cannot be created: %1").arg(folder));
}

QString SettingsStore::readString(const QString& name) const {
    if (!platform::settingsKeyExists(m_location))
        return {};
    const QSettings file(m_location.path, m_location.format);
    const QVariant value = file.value(group + QLatin1Char('/') + name);
    if (!value.isValid())
        return {};
    // Lists, numbers, byte arrays and @Variant values are what another registry type was.
    if (value.typeId() != QMetaType::QString)
        throw AppError(QStringLiteral("The settings value %1 is not a string.").arg(name));
    const QString text = value.toString();
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

int SettingsStore::readInteger(const QString& name, int defaultValue) const {
    bool ok = false;
    const int value = readString(name).toInt(&ok, 10);
    return ok ? value : defaultValue;
}

void SettingsStore::writeString(const QString& name, const QString& text) const {
    open();
    QSettings file(m_location.path, m_location.format);
    file.setValue(group + QLatin1Char('/') + name, text);
    file.sync();
    if (file.status() != QSettings::NoError)
        throw AppError(settingsError(file.status(), m_location.path));
}

void SettingsStore::writeInteger(const QString& name, int value) const {
    writeString(name, QString::number(value));
}
