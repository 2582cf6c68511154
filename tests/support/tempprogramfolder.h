#pragma once

#include <QString>
#include <QTemporaryDir>

// A fresh folder standing in for the folder of the program's executable.
class TemporaryProgramFolder {
public:
    TemporaryProgramFolder() = default;
    TemporaryProgramFolder(const TemporaryProgramFolder&) = delete;
    TemporaryProgramFolder& operator=(const TemporaryProgramFolder&) = delete;

    // The folder with a trailing "/", as platform::executableFolder() gives it.
    QString path() const { return m_dir.path() + QLatin1Char('/'); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    // Writes a file below the folder, creating its subfolders; returns its full path.
    QString writeFile(const QString& name, const QByteArray& content) const;

private:
    QTemporaryDir m_dir;
};

// Makes an existing folder read-only for this process for its lifetime: a read-only bind
// mount of the folder over itself where the process may mount (root ignores mode bits),
// else the mode 0555. active() says whether either worked; tests skip when it did not.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool active() const { return m_mounted || m_chmodded; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
    bool m_chmodded = false;
};
