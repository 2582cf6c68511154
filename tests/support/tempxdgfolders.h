#pragma once

#include "support/scopedenv.h"

#include <QString>
#include <QTemporaryDir>

// Points XDG_CONFIG_HOME and XDG_DATA_HOME at fresh empty folders for its lifetime, so
// settings and per-user data of a test never touch the real ones or another test's.
class TemporaryXdgFolders {
public:
    TemporaryXdgFolders();
    TemporaryXdgFolders(const TemporaryXdgFolders&) = delete;
    TemporaryXdgFolders& operator=(const TemporaryXdgFolders&) = delete;

    QString configHome() const { return m_root.filePath(QStringLiteral("config")); }
    QString dataHome() const { return m_root.filePath(QStringLiteral("data")); }

private:
    QTemporaryDir m_root;
    ScopedEnv m_config;
    ScopedEnv m_data;
};
