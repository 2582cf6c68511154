#include "support/tempxdgfolders.h"

#include <QDir>

TemporaryXdgFolders::TemporaryXdgFolders()
    : m_config("XDG_CONFIG_HOME", m_root.filePath(QStringLiteral("config"))),
      m_data("XDG_DATA_HOME", m_root.filePath(QStringLiteral("data"))) {
    QDir().mkpath(configHome());
    QDir().mkpath(dataHome());
}
