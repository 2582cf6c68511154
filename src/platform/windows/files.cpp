#include "platform/files.h"

#include "platform/console.h"

#include <QDir>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <windows.h>

namespace platform {

namespace {

std::wstring native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

// The errno value closest to a Windows error, so that every error of this topic is worded
// the same way as the C library's.
int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
        return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

// Whether the path names a folder (true), something else (false) or nothing (none).
std::optional<bool> isFolder(const QString& path) {
    const DWORD attributes = ::GetFileAttributesW(native(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

FileKind kindOf(unsigned short mode) {
    if ((mode & _S_IFMT) == _S_IFREG)
        return FileKind::Regular;
    if ((mode & _S_IFMT) == _S_IFCHR || (mode & _S_IFMT) == _S_IFIFO)
        return FileKind::Stream;
    if ((mode & _S_IFMT) == _S_IFDIR)
        return FileKind::Folder;
    return FileKind::Other;
}

// The path a link (or a chain of them) finally leads to; the path itself when it is none.
QString finalPath(const QString& path) {
    const DWORD attributes = ::GetFileAttributesW(native(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    const HANDLE file = ::CreateFileW(native(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return path;
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(file, buffer.data(), DWORD(buffer.size()), 0);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = ::GetFinalPathNameByHandleW(file, buffer.data(), DWORD(buffer.size()), 0);
    }
    ::CloseHandle(file);
    if (length == 0 || length >= buffer.size())
        return path;
    buffer.resize(length);
    // The answer has the long-path prefix "\\?\"; the plain form is what users know.
    const std::wstring prefix = L"\\\\?\\";
    if (buffer.starts_with(prefix) && buffer.find(L"UNC\\", prefix.size()) != prefix.size())
        buffer.erase(0, prefix.size());
    return QDir::fromNativeSeparators(QString::fromStdWString(buffer));
}

} // namespace

FileStatus fileStatus(const QString& path) {
    struct _stat64 status {};
    if (::_wstat64(native(path).c_str(), &status) != 0)
        return {};
    return {kindOf(status.st_mode), std::uint64_t(status.st_size)};
}

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

FileDescriptor openForReading(const QString& path, bool& waits, int& error) {
    FileDescriptor fd(path == console::standardInputPath()
                          ? ::_dup(::_fileno(stdin))
                          : ::_wopen(native(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT));
    if (!fd.valid()) {
        // Windows refuses to open a folder as "access denied"; the user is told what it is.
        const int openError = errno;
        error = openError == EACCES && isFolder(path) == true ? EISDIR : openError;
        return fd;
    }
    ::_setmode(fd.get(), _O_BINARY);
    waits = ::GetFileType(handleOf(fd.get())) != FILE_TYPE_DISK;
    return fd;
}

int waitForInput(int fd, int timeoutMs) {
    const HANDLE handle = handleOf(fd);
    if (::GetFileType(handle) != FILE_TYPE_PIPE)
        return ::WaitForSingleObject(handle, DWORD(timeoutMs)) == WAIT_TIMEOUT ? 0 : 1;
    // A pipe cannot be waited on; it is looked at every few milliseconds instead. A broken
    // pipe counts as ready: the read then sees its end.
    constexpr int stepMs = 10;
    for (int waited = 0;; waited += stepMs) {
        DWORD available = 0;
        if (!::PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr) || available > 0)
            return 1;
        if (waited >= timeoutMs)
            return 0;
        ::Sleep(stepMs);
    }
}

std::int64_t readSome(int fd, char* buffer, std::size_t size) {
    return ::_read(fd, buffer, unsigned(std::min<std::size_t>(size, INT_MAX)));
}

SaveTarget resolveSaveTarget(const QString& requested) {
    SaveTarget target;
    target.path = finalPath(requested);
    struct _stat64 status {};
    if (::_wstat64(native(target.path).c_str(), &status) != 0) {
        if (errno != ENOENT)
            target.error = errno;
        return target;
    }
    target.kind = kindOf(status.st_mode);
    target.mode = status.st_mode & 0777;
    return target;
}

QString folderOf(const QString& path) {
    const qsizetype slash =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    if (slash < 0)
        return QStringLiteral(".");
    // "C:/" and "/" keep their separator: without it they would name something else.
    if (slash == 0 || (slash == 2 && path.at(1) == QLatin1Char(':')))
        return path.left(slash + 1);
    return path.left(slash);
}

QString temporaryFolder() {
    return QDir::tempPath();
}

Spool createSpool(const QString& folder, unsigned, bool) {
    // Windows has no unnamed files: a hidden one that only this handle may open, under the
    // folder's inherited permissions, renamed over the target when complete.
    Spool spool;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            folder + QStringLiteral("/.brindleaf-%1.tmp")
                         .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        const HANDLE file =
            ::CreateFileW(native(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            // Windows says "path not found" when the folder is an ordinary file.
            spool.error = error == ERROR_PATH_NOT_FOUND && isFolder(folder) == false
                              ? ENOTDIR
                              : errnoOf(error);
            return spool;
        }
        const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
        if (fd < 0) {
            ::CloseHandle(file);
            ::DeleteFileW(native(name).c_str());
            spool.error = EMFILE;
            return spool;
        }
        spool.fd.reset(fd);
        spool.name = name;
        return spool;
    }
    spool.error = EEXIST;
    return spool;
}

int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const int n = ::_write(fd, data, unsigned(std::min<std::size_t>(size, INT_MAX)));
        if (n < 0)
            return errno;
        data += n;
        size -= std::size_t(n);
    }
    return 0;
}

int truncateFile(int fd, std::uint64_t size) {
    if (const int error = ::_chsize_s(fd, static_cast<long long>(size)))
        return error;
    return ::_lseeki64(fd, static_cast<long long>(size), SEEK_SET) < 0 ? errno : 0;
}

int copyInto(int from, std::uint64_t offset, std::uint64_t size, int to) {
    if (::_lseeki64(from, static_cast<__int64>(offset), SEEK_SET) < 0)
        return errno;
    std::string buffer(std::size_t(std::min<std::uint64_t>(size, 1024 * 1024)), '\0');
    for (std::uint64_t done = 0; done < size;) {
        const unsigned chunk = unsigned(std::min<std::uint64_t>(size - done, buffer.size()));
        const int n = ::_read(from, buffer.data(), chunk);
        if (n <= 0)
            return n < 0 ? errno : EIO;
        if (const int error = writeAll(to, buffer.data(), std::size_t(n)))
            return error;
        done += std::uint64_t(n);
    }
    return 0;
}

int rewindFile(int fd) {
    return ::_lseeki64(fd, 0, SEEK_SET) < 0 ? errno : 0;
}

int syncFile(int fd) {
    return ::_commit(fd) != 0 ? errno : 0;
}

void startWriteBack(int, std::uint64_t, std::uint64_t) {
    // Windows writes dirty pages back on its own schedule; _commit() waits for the rest.
}

int nameSpool(int, const QString&, QString&) {
    return 0; // createSpool() named it already
}

int closeFile(FileDescriptor& fd) {
    return ::_close(fd.release()) != 0 ? errno : 0;
}

int replaceFile(const QString& from, const QString& to) {
    // The spool was hidden while it was not the document yet.
    ::SetFileAttributesW(native(from).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (::MoveFileExW(native(from).c_str(), native(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return errnoOf(::GetLastError());
}

void removeFile(const QString& path) {
    ::_wunlink(native(path).c_str());
}

FileDescriptor openForWritingInto(const QString& path, int& error) {
    // No _O_CREAT and no _O_TRUNC: the device or pipe is written into, never replaced.
    FileDescriptor fd(::_wopen(native(path).c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT));
    if (!fd.valid())
        error = errno;
    return fd;
}

} // namespace platform
