#pragma once

#include "support/scopedenv.h"

#include <QString>
#include <QTemporaryDir>

// Points XDG_CONFIG_HOME and XDG_DATA_HOME at fresh empty folders for the object's
// lifetime, so settings and per-user data of a test never touch the user's own or another
// test's.
class TemporaryConfigHome {
public:
    TemporaryConfigHome();
    TemporaryConfigHome(const TemporaryConfigHome&) = delete;
    TemporaryConfigHome& operator=(const TemporaryConfigHome&) = delete;

    // The configuration home (XDG_CONFIG_HOME).
    QString path() const { return m_root.filePath(QStringLiteral("config")); }
    QString dataHome() const { return m_root.filePath(QStringLiteral("data")); }

private:
    QTemporaryDir m_root;
    ScopedEnv m_config;
    ScopedEnv m_data;
};

// Reads a whole file as UTF-8 (empty when it cannot be read).
QString readTextFile(const QString& path);
// Writes a whole file as UTF-8, creating its folder; fails the test when it cannot.
// Settings files written this way are seen by the store at once.
void writeTextFile(const QString& path, const QString& text);
