#include "core/spoolfile.h"

#include "core/apperror.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

} // namespace

SpoolFile::SpoolFile(const QString& targetPath) : m_target(targetPath) {
    // Replace the file a symbolic link points to, not the link.
    const QFileInfo info(targetPath);
    if (info.isSymLink() && !info.symLinkTarget().isEmpty())
        m_target = info.symLinkTarget();
    const QString folder = QFileInfo(m_target).absolutePath();
    m_buffer.reserve(drainSize + 64 * 1024);
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temporary =
            folder + QStringLiteral("/.brindleaf-%1.tmp")
                         .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        // 0666 lets the umask decide, as for any new file.
        m_fd =
            ::open(encoded(m_temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0 || errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        const int error = errno;
        m_temporary.clear();
        fail(QStringLiteral("Cannot create a file in %1").arg(folder), error);
    }
}

SpoolFile::~SpoolFile() {
    removeTemporary();
}

void SpoolFile::fail(const QString& what, int error) {
    if (m_error.isEmpty())
        m_error = what + QStringLiteral(": ") + qt_error_string(error);
}

void SpoolFile::removeTemporary() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty()) {
        ::unlink(encoded(m_temporary).constData());
        m_temporary.clear();
    }
}

void SpoolFile::drain() {
    if (m_fd < 0 || !m_error.isEmpty()) {
        m_written += m_buffer.size();
        m_buffer.clear();
        return;
    }
    const char* data = m_buffer.data();
    std::size_t left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
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
    if (m_fd < 0 || !m_error.isEmpty())
        return;
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0 ||
        ::lseek(m_fd, static_cast<off_t>(size), SEEK_SET) < 0)
        fail(QStringLiteral("Cannot write %1").arg(m_target), errno);
}

void SpoolFile::commit() {
    drain();
    if (m_error.isEmpty()) {
        // An existing target keeps its permissions.
        struct stat existing {};
        if (::stat(encoded(m_target).constData(), &existing) == 0 && S_ISREG(existing.st_mode) &&
            ::fchmod(m_fd, existing.st_mode & 07777) != 0)
            fail(QStringLiteral("Cannot write %1").arg(m_target), errno);
    }
    if (m_error.isEmpty() && ::fdatasync(m_fd) != 0)
        fail(QStringLiteral("Cannot write %1").arg(m_target), errno);
    if (m_error.isEmpty()) {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            fail(QStringLiteral("Cannot write %1").arg(m_target), errno);
    }
    if (m_error.isEmpty() &&
        ::rename(encoded(m_temporary).constData(), encoded(m_target).constData()) != 0)
        fail(QStringLiteral("Cannot save %1").arg(m_target), errno);
    if (!m_error.isEmpty()) {
        removeTemporary();
        throw AppError(m_error);
    }
    m_temporary.clear();
}
