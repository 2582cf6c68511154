#include "platform/files.h"

#include "platform/nativepath.h"

#include <QDir>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int maxLinkHops = 40; // as the kernel allows when it follows links itself

QByteArray folderBytes(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray randomName(const QByteArray& folder) {
    return folder + QStringLiteral("/.brindleaf-%1.tmp")
                        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))
                        .toLatin1();
}

template <typename Call> auto retryInterrupted(Call&& call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR)
            return result;
    }
}

FileKind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISCHR(mode) || S_ISFIFO(mode))
        return FileKind::Stream;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    return FileKind::Other;
}

} // namespace

FileStatus fileStatus(const QString& path) {
    struct stat status {};
    if (::stat(nativepath::encode(path).constData(), &status) != 0)
        return {};
    return {kindOf(status.st_mode), std::uint64_t(status.st_size)};
}

QString errorText(int error) {
    return qt_error_string(error);
}

FileDescriptor openForReading(const QString& path, bool& waits, int& error) {
    // Without waiting: a pipe's open would wait for a writer, out of reach of a stop request.
    FileDescriptor fd(
        ::open(nativepath::encode(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        error = errno;
        return fd;
    }
    struct stat status {};
    waits = ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode);
    // The reads wait as usual, each after waitForInput().
    if (waits && ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0) {
        error = errno;
        fd.reset();
    }
    return fd;
}

int waitForInput(int fd, int timeoutMs) {
    pollfd input{fd, POLLIN, 0};
    const int ready = ::poll(&input, 1, timeoutMs);
    return ready > 0 ? 1 : ready;
}

std::int64_t readSome(int fd, char* buffer, std::size_t size) {
    return ::read(fd, buffer, size);
}

SaveTarget resolveSaveTarget(const QString& requested) {
    SaveTarget target;
    QByteArray path = nativepath::encode(requested);
    struct stat status {};
    bool exists = false;
    for (int hops = 0;; ++hops) {
        if (::lstat(path.constData(), &status) != 0) {
            if (errno != ENOENT) {
                target.error = errno;
                return target;
            }
            break; // a new file, where the last link points if there was one
        }
        if (!S_ISLNK(status.st_mode)) {
            exists = true;
            break;
        }
        if (hops == maxLinkHops) {
            target.error = ELOOP;
            return target;
        }
        QByteArray link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.constData(), link.data(), std::size_t(link.size()));
        if (n < 0 || n == link.size()) {
            target.error = n < 0 ? errno : ENAMETOOLONG;
            return target;
        }
        link.truncate(n);
        const QByteArray next = link.startsWith('/') ? link : folderBytes(path) + '/' + link;
        // A link of /proc (/dev/stdout's /proc/self/fd/1) may name no path, as for a pipe,
        // yet lead to the open file; it is taken as it is.
        struct stat nextStatus {};
        if (::lstat(next.constData(), &nextStatus) != 0 && errno == ENOENT &&
            ::stat(path.constData(), &status) == 0) {
            exists = true;
            break;
        }
        path = next;
    }
    target.path = nativepath::decode(path);
    if (exists) {
        target.kind = kindOf(status.st_mode);
        target.mode = status.st_mode & 07777;
    }
    return target;
}

QString folderOf(const QString& path) {
    return nativepath::decode(folderBytes(nativepath::encode(path)));
}

QString temporaryFolder() {
    return QDir::tempPath();
}

Spool createSpool(const QString& folder, unsigned mode, bool exactMode) {
    Spool spool;
    const QByteArray folderName = nativepath::encode(folder);
    int fd = ::open(folderName.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = randomName(folderName);
            fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd >= 0) {
                spool.name = nativepath::decode(name);
                break;
            }
            if (errno != EEXIST)
                break;
        }
    }
    if (fd < 0) {
        spool.error = errno;
        return spool;
    }
    spool.fd.reset(fd);
    // The umask may have taken bits that the replaced file has; none are added beyond them.
    if (exactMode && ::fchmod(fd, mode) != 0)
        spool.error = errno;
    return spool;
}

int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = retryInterrupted([&] { return ::write(fd, data, size); });
        if (n < 0)
            return errno;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int truncateFile(int fd, std::uint64_t size) {
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0 ||
        ::lseek(fd, static_cast<off_t>(size), SEEK_SET) < 0)
        return errno;
    return 0;
}

int copyInto(int from, std::uint64_t start, std::uint64_t size, int to) {
    auto offset = static_cast<loff_t>(start);
    const std::uint64_t end = start + size;
    std::string buffer;
    while (std::uint64_t(offset) < end) {
        const std::size_t left = std::size_t(end - std::uint64_t(offset));
        ssize_t n = retryInterrupted(
            [&] { return ::copy_file_range(from, &offset, to, nullptr, left, 0); });
        if (n < 0 &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            // A file system that cannot copy in the kernel: through a buffer.
            buffer.resize(std::min<std::size_t>(left, 1024 * 1024));
            n = retryInterrupted(
                [&] { return ::pread(from, buffer.data(), buffer.size(), offset); });
            if (n > 0) {
                if (const int error = writeAll(to, buffer.data(), std::size_t(n)))
                    return error;
                offset += n;
            }
        }
        if (n <= 0)
            return n < 0 ? errno : EIO;
    }
    return 0;
}

int rewindFile(int fd) {
    return ::lseek(fd, 0, SEEK_SET) < 0 ? errno : 0;
}

int syncFile(int fd) {
    return ::fdatasync(fd) != 0 ? errno : 0;
}

void startWriteBack(int fd, std::uint64_t offset, std::uint64_t size) {
    // A failure shows again, and is reported, at syncFile().
    (void)::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(size),
                            SYNC_FILE_RANGE_WRITE);
}

int nameSpool(int fd, const QString& folder, QString& name) {
    if (!name.isEmpty())
        return 0;
    // An unnamed spool gets its name only now, complete: a crash before leaves nothing.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    const QByteArray folderName = nativepath::encode(folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate = randomName(folderName);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, candidate.constData(),
                     AT_SYMLINK_FOLLOW) == 0 ||
            ::linkat(fd, "", AT_FDCWD, candidate.constData(), AT_EMPTY_PATH) == 0) {
            name = nativepath::decode(candidate);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int closeFile(FileDescriptor& fd) {
    return ::close(fd.release()) != 0 ? errno : 0;
}

int replaceFile(const QString& from, const QString& to) {
    return ::rename(nativepath::encode(from).constData(), nativepath::encode(to).constData()) != 0
               ? errno
               : 0;
}

void removeFile(const QString& path) {
    ::unlink(nativepath::encode(path).constData());
}

FileDescriptor openForWritingInto(const QString& path, int& error) {
    const QByteArray name = nativepath::encode(path);
    // No O_CREAT and no O_TRUNC: the device or pipe is written into, never replaced.
    FileDescriptor fd(retryInterrupted(
        [&] { return ::open(name.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY); }));
    if (!fd.valid())
        error = errno;
    return fd;
}

} // namespace platform
