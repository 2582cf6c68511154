#include "core/spoolfile.h"

#include "core/apperror.h"

#include <algorithm>
#include <cerrno>

SpoolFile::SpoolFile(const QString& targetPath) : m_target(targetPath) {
    m_buffer.reserve(drainSize + 64 * 1024);
    resolveTarget();
    m_writeBack = !m_copyInto;
}

SpoolFile::SpoolFile(int fd, const QString& name)
    : m_target(name), m_copyInto(true), m_streamFd(fd) {
    m_buffer.reserve(drainSize + 64 * 1024);
    createSpool(platform::temporaryFolder(), 0600, false);
}

SpoolFile::SpoolFile(Part, const QString& folder, const QString& target, std::size_t memoryLimit,
                     std::string buffer)
    : m_target(target), m_buffer(std::move(buffer)) {
    // Without a folder the whole document fails anyway; the part only counts its bytes.
    // The file is made only when the part outgrows its buffer: most parts never do, and are
    // appended from memory.
    m_folder = folder;
    m_fileDeferred = !folder.isEmpty();
    if (m_fileDeferred)
        m_drainAt = std::max(memoryLimit, drainSize);
    // Room for all it may hold at once, so that it is not copied as it grows; memory that is
    // only reserved costs nothing until it is written.
    m_buffer.clear();
    m_buffer.reserve(m_drainAt + 64 * 1024);
}

SpoolFile::~SpoolFile() {
    removeTemporary();
}

void SpoolFile::resolveTarget() {
    const platform::SaveTarget target = platform::resolveSaveTarget(m_target);
    if (target.error != 0)
        return fail(QStringLiteral("Cannot save %1").arg(m_target), target.error);
    m_target = target.path;
    switch (target.kind) {
    case platform::FileKind::Missing:
        return createSpool(platform::folderOf(m_target), 0600, false);
    case platform::FileKind::Regular:
        return createSpool(platform::folderOf(m_target), target.mode, true);
    case platform::FileKind::Stream:
        m_copyInto = true;
        return createSpool(platform::temporaryFolder(), 0600, false);
    case platform::FileKind::Folder:
        return fail(QStringLiteral("Cannot save %1").arg(m_target), EISDIR);
    case platform::FileKind::Other:
        break;
    }
    failWith(QStringLiteral("Cannot save %1: not a file, a device or a pipe").arg(m_target));
}

void SpoolFile::createSpool(const QString& folder, unsigned mode, bool exactMode) {
    m_folder = folder;
    platform::Spool spool = platform::createSpool(folder, mode, exactMode);
    m_fd = std::move(spool.fd);
    m_temporary = spool.name;
    if (spool.error == 0)
        return;
    if (m_fd.valid())
        fail(QStringLiteral("Cannot write %1").arg(m_target), spool.error);
    else
        fail(QStringLiteral("Cannot create a file in %1").arg(folder), spool.error);
}

void SpoolFile::fail(const QString& what, int error) {
    failWith(what + QStringLiteral(": ") + platform::errorText(error));
}

void SpoolFile::failWith(const QString& text) {
    if (m_error.isEmpty())
        m_error = text;
}

void SpoolFile::removeTemporary() {
    m_fd.reset();
    if (!m_temporary.isEmpty()) {
        platform::removeFile(m_temporary);
        m_temporary.clear();
    }
}

void SpoolFile::drain() {
    if (m_fileDeferred) {
        m_fileDeferred = false;
        m_drainAt = drainSize;
        createSpool(m_folder, 0600, false);
    }
    writeOut(m_buffer);
    m_buffer.clear();
}

// Writes after what is written already; a write error is kept for commit().
void SpoolFile::writeOut(std::string_view data) {
    if (m_fd.valid() && m_error.isEmpty()) {
        if (const int error = platform::writeAll(m_fd.get(), data.data(), data.size()))
            fail(QStringLiteral("Cannot write %1").arg(m_target), error);
    }
    wrote(data.size());
}

// The document is synced before it replaces the target; writing it back as it grows
// leaves that sync little to wait for, while the disk would otherwise stay idle.
void SpoolFile::wrote(std::uint64_t bytes) {
    m_written += bytes;
    if (m_writeBack && m_written - m_writtenBack >= writeBackStep && m_fd.valid()) {
        platform::startWriteBack(m_fd.get(), m_writtenBack, m_written - m_writtenBack);
        m_writtenBack = m_written;
    }
}

void SpoolFile::truncate(std::uint64_t size) {
    if (size >= m_written) {
        m_buffer.resize(static_cast<std::size_t>(size - m_written));
        return;
    }
    m_buffer.clear();
    m_written = size;
    m_writtenBack = std::min(m_writtenBack, size);
    if (!m_fd.valid() || !m_error.isEmpty())
        return;
    if (const int error = platform::truncateFile(m_fd.get(), size))
        fail(QStringLiteral("Cannot write %1").arg(m_target), error);
}

void SpoolFile::append(SpoolFile& part) {
    if (part.m_fileDeferred) {
        // Small parts gather in the buffer; a large one goes to the file from its own.
        if (m_buffer.size() + part.m_buffer.size() <= drainSize) {
            m_buffer.append(part.m_buffer);
        } else {
            drain();
            writeOut(part.m_buffer);
        }
        part.m_buffer.clear();
        return;
    }
    part.drain();
    if (!part.m_error.isEmpty())
        failWith(part.m_error);
    drain();
    // A piece at a time, so that the disk starts on a large part while the rest is copied.
    for (std::uint64_t done = 0; done < part.m_written;) {
        const std::uint64_t piece = std::min(part.m_written - done, writeBackStep);
        if (m_fd.valid() && m_error.isEmpty()) {
            if (const int error = platform::copyInto(part.m_fd.get(), done, piece, m_fd.get()))
                fail(QStringLiteral("Cannot write %1").arg(m_target), error);
        }
        done += piece;
        wrote(piece);
    }
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
    if (const int error = platform::syncFile(m_fd.get()))
        return fail(cannotWrite, error);
    if (const int error = platform::nameSpool(m_fd.get(), m_folder, m_temporary))
        return fail(QStringLiteral("Cannot save %1").arg(m_target), error);
    if (const int error = platform::closeFile(m_fd))
        return fail(cannotWrite, error);
    if (const int error = platform::replaceFile(m_temporary, m_target))
        return fail(QStringLiteral("Cannot save %1").arg(m_target), error);
    m_temporary.clear();
}

void SpoolFile::commitCopying() {
    const QString cannotWrite = QStringLiteral("Cannot write %1").arg(m_target);
    platform::FileDescriptor opened;
    int out = m_streamFd;
    if (out < 0) {
        int error = 0;
        opened = platform::openForWritingInto(m_target, error);
        if (!opened.valid())
            return fail(QStringLiteral("Cannot save %1").arg(m_target), error);
        out = opened.get();
    }
    if (const int error = platform::rewindFile(m_fd.get()))
        return fail(cannotWrite, error);
    if (const int error = platform::copyInto(m_fd.get(), 0, m_written, out))
        return fail(cannotWrite, error);
    if (opened.valid()) {
        if (const int error = platform::closeFile(opened))
            return fail(cannotWrite, error);
    }
}
