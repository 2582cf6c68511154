#pragma once

#include "platform/filedescriptor.h"

#include <QString>
#include <cstddef>
#include <cstdint>

// The file operations of the combine engine: reading inputs that may be pipes, and a spool
// file that becomes the output only when it is complete. Errors are errno values (0 for
// none), with errno set as well where a function returns -1; errorText() words them.
// EINTR is handed back by the reading functions, so that a caller can look at a stop request
// before it tries again; the writing ones try again themselves.
namespace platform {

// What a path names, links followed.
enum class FileKind {
    Missing,
    Regular,
    Stream, // a character device or a pipe: read or written, never replaced
    Folder,
    Other,
};

struct FileStatus {
    FileKind kind = FileKind::Missing;
    std::uint64_t size = 0;
};

// Missing also when the path cannot be looked at.
FileStatus fileStatus(const QString& path);

QString errorText(int error);

// --- Reading ---

// Opens without waiting for a writer of a pipe. `waits` tells whether reads may wait (a pipe
// or a device); call waitForInput() before each read of such a file.
FileDescriptor openForReading(const QString& path, bool& waits, int& error);

// 1 when a read would not wait, 0 after timeoutMs without input, -1 with errno on error.
int waitForInput(int fd, int timeoutMs);

// The bytes read, 0 at the end, -1 with errno on error.
std::int64_t readSome(int fd, char* buffer, std::size_t size);

// --- Writing the output ---

// Where a save to `path` goes: symbolic links are followed to the final target.
struct SaveTarget {
    QString path;
    FileKind kind = FileKind::Missing;
    unsigned mode = 0; // the permissions of an existing regular file
    int error = 0;     // when the target could not be looked at
};
SaveTarget resolveSaveTarget(const QString& path);

// The folder part of a path ("." for a bare name).
QString folderOf(const QString& path);

// The folder for spools of outputs that are copied into a device or a pipe.
QString temporaryFolder();

// A new file in `folder` that nobody else can open, with `mode` as its permissions (under the
// umask unless exactMode). Unnamed where the system can do that, so a crash leaves nothing;
// else a hidden file whose name is in `name`, for the caller to remove or rename.
struct Spool {
    FileDescriptor fd;
    QString name;
    int error = 0;
};
Spool createSpool(const QString& folder, unsigned mode, bool exactMode);

int writeAll(int fd, const char* data, std::size_t size);

// Cuts the file to `size` bytes and goes on writing there.
int truncateFile(int fd, std::uint64_t size);

// Appends `size` bytes of the file `from`, from `offset` on, to `to`.
int copyInto(int from, std::uint64_t offset, std::uint64_t size, int to);

// Rewinds a file to read it from the start.
int rewindFile(int fd);

// Writes the file's data through to the disk.
int syncFile(int fd);

// Starts writing a range of the file to the disk without waiting for it, so that the final
// syncFile() has little left to wait for. Only a hint: where the system has no such call,
// it does nothing.
void startWriteBack(int fd, std::uint64_t offset, std::uint64_t size);

// Gives a spool a name in `folder` when it has none yet (`name` empty), for replaceFile().
int nameSpool(int fd, const QString& folder, QString& name);

// Closes the file and reports what the close said (a delayed write error).
int closeFile(FileDescriptor& fd);

// Renames `from` over `to` in one step.
int replaceFile(const QString& from, const QString& to);

void removeFile(const QString& path);

// Opens an existing device or pipe for writing, never creating or truncating it.
FileDescriptor openForWritingInto(const QString& path, int& error);

} // namespace platform
