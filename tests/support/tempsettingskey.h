#pragma once

#include "support/tempconfighome.h"

#include <QString>
#include <QVariant>

// A settings key that no other test uses, gone at the end: below a fresh configuration home
// where the key is a file, under a name of its own where it is a registry key (which every
// test shares with the others).
class TemporarySettingsKey {
public:
    TemporarySettingsKey();
    ~TemporarySettingsKey();
    TemporarySettingsKey(const TemporarySettingsKey&) = delete;
    TemporarySettingsKey& operator=(const TemporarySettingsKey&) = delete;

    // The key name for a SettingsStore.
    const QString& name() const { return m_name; }
    // Whether the key is there at all: the file, or the registry key.
    bool exists() const;
    // Stores a value beside the store, as the platform's settings keep it; `key` is
    // "<group>/<name>".
    void writeValue(const QString& key, const QVariant& value) const;
    // The value as the platform's settings read it back.
    QVariant readValue(const QString& key) const;

private:
    TemporaryConfigHome m_home;
    QString m_name;
};
