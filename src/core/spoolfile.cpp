#include "core/spoolfile.h"

#include "core/apperror.h"
#include "core/nativepath.h"

#include <QDir>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int maxLinkHops = 40; // as the kernel allows when it follows links itself

QByteArray folderOf(const QByteArray& path) {
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

} // namespace

SpoolFile::SpoolFile(const QString& targetPath) : m_target(targetPath) {
    m_buffer.reserve(drainSize + 64 * 1024);
    resolveTarget();
}

SpoolFile::SpoolFile(int fd, const QString& name)
    : m_target(name), m_copyInto(true), m_streamFd(fd) {
    m_buffer.reserve(drainSize + 64 * 1024);
    createSpool(nativepath::encode(QDir::tempPath()), 0600, false);
}

SpoolFile::SpoolFile(Part, const QByteArray& folder, const QString& target) : m_target(target) {
    m_buffer.reserve(drainSize + 64 * 1024);
    // Without a folder the whole document fails anyway; the part only counts its bytes.
    // The file is made only when the part outgrows its buffer: most parts never do, and are
    // appended from memory.
    m_folder = folder;
    m_fileDeferred = !folder.isEmpty();
}

SpoolFile::~SpoolFile() {
    removeTemporary();
}

void SpoolFile::resolveTarget() {
    QByteArray path = nativepath::encode(m_target);
    struct stat status {};
    bool exists = false;
    for (int hops = 0;; ++hops) {
        if (::lstat(path.constData(), &status) != 0) {
            if (errno != ENOENT) {
                fail(QStringLiteral("Cannot save %1").arg(m_target), errno);
                return;
            }
            break; // a new file, where the last link points if there was one
        }
        if (!S_ISLNK(status.st_mode)) {
            exists = true;
            break;
        }
        if (hops == maxLinkHops) {
            fail(QStringLiteral("Cannot save %1").arg(m_target), ELOOP);
            return;
        }
        QByteArray link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.constData(), link.data(), std::size_t(link.size()));
        if (n < 0 || n == link.size()) {
            fail(QStringLiteral("Cannot save %1").arg(m_target), n < 0 ? errno : ENAMETOOLONG);
            return;
        }
        link.truncate(n);
        const QByteArray next = link.startsWith('/') ? link : folderOf(path) + '/' + link;
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
    m_targetBytes = path;
    m_target = nativepath::decode(path);
    if (!exists) {
        createSpool(folderOf(path), 0600, false);
    } else if (S_ISREG(status.st_mode)) {
        createSpool(folderOf(path), status.st_mode & 07777, true);
    } else if (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode)) {
        m_copyInto = true;
        createSpool(nativepath::encode(QDir::tempPath()), 0600, false);
    } else if (S_ISDIR(status.st_mode)) {
        fail(QStringLiteral("Cannot save %1").arg(m_target), EISDIR);
    } else {
        failWith(QStringLiteral("Cannot save %1: not a file, a device or a pipe").arg(m_target));
    }
}

void SpoolFile::createSpool(const QByteArray& folder, unsigned mode, bool exactMode) {
    m_folder = folder;
    int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = randomName(folder);
            fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd >= 0) {
                m_temporary = name;
                break;
            }
            if (errno != EEXIST)
                break;
        }
    }
    if (fd < 0) {
        fail(QStringLiteral("Cannot create a file in %1").arg(nativepath::decode(folder)), errno);
        return;
    }
    m_fd.reset(fd);
    // The umask may have taken bits that the replaced file has; none are added beyond them.
    if (exactMode && ::fchmod(fd, mode) != 0)
        fail(QStringLiteral("Cannot write %1").arg(m_target), errno);
}

void SpoolFile::fail(const QString& what, int error) {
    failWith(what + QStringLiteral(": ") + qt_error_string(error));
}

void SpoolFile::failWith(const QString& text) {
    if (m_error.isEmpty())
        m_error = text;
}

void SpoolFile::removeTemporary() {
    m_fd.reset();
    if (!m_temporary.isEmpty()) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
    }
}

void SpoolFile::drain() {
    if (m_fileDeferred) {
        m_fileDeferred = false;
        createSpool(m_folder, 0600, false);
    }
    if (!m_fd.valid() || !m_error.isEmpty()) {
        m_written += m_buffer.size();
        m_buffer.clear();
        return;
    }
    const char* data = m_buffer.data();
    std::size_t left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = retryInterrupted([&] { return ::write(m_fd.get(), data, left); });
        if (n < 0) {
            fail(QStringLiteral("Cannot write %1").arg(m_target), errno);
            break;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    m_written += m_buffer.size();
    m_buffer.clear();
}

void SpoolFile::truncate(std::uint64_t size) {
    if (size >= m_written) {
        m_buffer.resize(static_cast<std::size_t>(size - m_written));
        return;
    }
    m_buffer.clear();
    m_written = size;
    if (!m_fd.valid() || !m_error.isEmpty())
        return;
    if (::ftruncate(m_fd.get(), static_cast<off_t>(size)) != 0 ||
        ::lseek(m_fd.get(), static_cast<off_t>(size), SEEK_SET) < 0)
        fail(QStringLiteral("Cannot write %1").arg(m_target), errno);
}

void SpoolFile::append(SpoolFile& part) {
    if (part.m_fileDeferred) {
        m_buffer.append(part.m_buffer);
        part.m_buffer.clear();
        drainIfFull();
        return;
    }
    part.drain();
    if (!part.m_error.isEmpty())
        failWith(part.m_error);
    drain();
    if (!m_fd.valid() || !m_error.isEmpty()) {
        m_written += part.m_written;
        return;
    }
    const QString cannotWrite = QStringLiteral("Cannot write %1").arg(m_target);
    loff_t from = 0;
    while (from < static_cast<loff_t>(part.m_written)) {
        const std::size_t left = std::size_t(part.m_written - std::uint64_t(from));
        ssize_t n = retryInterrupted([&] {
            return ::copy_file_range(part.m_fd.get(), &from, m_fd.get(), nullptr, left, 0);
        });
        if (n < 0 &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            // A file system that cannot copy in the kernel: through a buffer.
            m_buffer.resize(std::min(left, drainSize));
            n = retryInterrupted(
                [&] { return ::pread(part.m_fd.get(), m_buffer.data(), m_buffer.size(), from); });
            if (n > 0) {
                m_buffer.resize(std::size_t(n));
                from += n;
                const std::uint64_t before = m_written;
                drain();
                m_written = before; // counted with the part below
                if (!m_error.isEmpty())
                    return;
            }
        }
        if (n <= 0) {
            m_buffer.clear();
            return fail(cannotWrite, n < 0 ? errno : EIO);
        }
    }
    m_written += part.m_written;
}

void SpoolFile::commit() {
    drain();
    if (m_error.isEmpty()) {
        if (m_copyInto)
            commitCopying();
        else
            commitReplacing();
    }
    if (!m_error.isEmpty()) {
        removeTemporary();
        throw AppError(m_error);
    }
}

void SpoolFile::commitReplacing() {
    const QString cannotWrite = QStringLiteral("Cannot write %1").arg(m_target);
    if (::fdatasync(m_fd.get()) != 0)
        return fail(cannotWrite, errno);
    // The unnamed spool gets its name only now, complete: a crash before leaves nothing.
    if (m_temporary.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd.get());
        for (int attempt = 0; attempt < 100 && m_temporary.isEmpty(); ++attempt) {
            const QByteArray name = randomName(m_folder);
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(),
                         AT_SYMLINK_FOLLOW) == 0 ||
                ::linkat(m_fd.get(), "", AT_FDCWD, name.constData(), AT_EMPTY_PATH) == 0)
                m_temporary = name;
            else if (errno != EEXIST)
                return fail(QStringLiteral("Cannot save %1").arg(m_target), errno);
        }
        if (m_temporary.isEmpty())
            return fail(QStringLiteral("Cannot save %1").arg(m_target), EEXIST);
    }
    const int fd = m_fd.get();
    m_fd.release();
    if (::close(fd) != 0)
        return fail(cannotWrite, errno);
    if (::rename(m_temporary.constData(), m_targetBytes.constData()) != 0)
        return fail(QStringLiteral("Cannot save %1").arg(m_target), errno);
    m_temporary.clear();
}

void SpoolFile::commitCopying() {
    const QString cannotWrite = QStringLiteral("Cannot write %1").arg(m_target);
    platform::FileDescriptor opened;
    int out = m_streamFd;
    if (out < 0) {
        // No O_CREAT and no O_TRUNC: the device or pipe is written into, never replaced.
        opened.reset(retryInterrupted(
            [&] { return ::open(m_targetBytes.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY); }));
        if (!opened.valid())
            return fail(QStringLiteral("Cannot save %1").arg(m_target), errno);
        out = opened.get();
    }
    if (::lseek(m_fd.get(), 0, SEEK_SET) < 0)
        return fail(cannotWrite, errno);
    std::string chunk(drainSize, '\0');
    for (;;) {
        const ssize_t n =
            retryInterrupted([&] { return ::read(m_fd.get(), chunk.data(), chunk.size()); });
        if (n < 0)
            return fail(cannotWrite, errno);
        if (n == 0)
            break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = retryInterrupted(
                [&] { return ::write(out, chunk.data() + done, std::size_t(n - done)); });
            if (w < 0)
                return fail(cannotWrite, errno);
            done += w;
        }
    }
    if (opened.valid()) {
        const int fd = opened.get();
        opened.release();
        if (::close(fd) != 0)
            return fail(cannotWrite, errno);
    }
}
