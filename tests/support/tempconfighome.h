#pragma once

#include "support/scopedenv.h"

#include <QString>
#include <QTemporaryDir>

// Points XDG_CONFIG_HOME at a fresh temporary folder for the object's lifetime, so the
// settings store of a test never touches the user's own settings.
class TemporaryConfigHome {
public:
    TemporaryConfigHome();
    TemporaryConfigHome(const TemporaryConfigHome&) = delete;
    TemporaryConfigHome& operator=(const TemporaryConfigHome&) = delete;

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    ScopedEnv m_variable;
};

// Reads a whole file as UTF-8 (empty when it cannot be read).
QString readTextFile(const QString& path);
// Writes a whole file as UTF-8, creating its folder; fails the test when it cannot.
// Settings files written this way are seen by the store at once.
void writeTextFile(const QString& path, const QString& text);
