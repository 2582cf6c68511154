#include "support/tempprogramfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

QString TemporaryProgramFolder::writeFile(const QString& name, const QByteArray& content) const {
    const QString path = m_dir.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return {};
    return path;
}

ReadOnlyFolder::ReadOnlyFolder(const QString& folder) : m_folder(QFile::encodeName(folder)) {
    const char* path = m_folder.constData();
    if (::mount(path, path, nullptr, MS_BIND, nullptr) == 0) {
        if (::mount(nullptr, path, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0) {
            m_mounted = true;
            return;
        }
        ::umount2(path, MNT_DETACH);
    }
    // Without the right to mount, the mode bits decide, unless this process ignores them.
    if (::geteuid() != 0 && ::chmod(path, 0555) == 0)
        m_chmodded = true;
}

ReadOnlyFolder::~ReadOnlyFolder() {
    if (m_mounted)
        ::umount2(m_folder.constData(), MNT_DETACH);
    if (m_chmodded)
        ::chmod(m_folder.constData(), 0700);
}
