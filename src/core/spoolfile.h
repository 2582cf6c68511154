#pragma once

#include "platform/files.h"

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

// A temporary file that becomes the target only on commit(). Writes are buffered; the first
// write error is kept and reported by commit(), so a caller can go on and decide at the end.
//
// An ordinary file (or a new one) is replaced: the spool is an unnamed file in the target's
// folder, created with the target's permissions (0600 for a new target, under the umask) and
// given a name only when it is complete, just before it is renamed over the target; where the
// file system has no unnamed files, a hidden named one with the same permissions is used and
// removed unless committed. A symbolic link is followed to its final target. A character
// device or a pipe (and an open stream such as standard output) is never replaced: the spool
// is an unnamed file in the temporary folder, copied into the target on commit. Any other
// kind of file (a folder, a socket, a block device) is refused.
class SpoolFile {
public:
    explicit SpoolFile(const QString& targetPath);
    // For a stream already open, named `name` in messages; fd is not owned.
    SpoolFile(int fd, const QString& name);
    // A part of the document made elsewhere (on another thread), to be appended to the whole
    // document's spool: held in memory up to `memoryLimit` bytes, beyond that an unnamed file
    // in that spool's folder(); named `target` in errors. `buffer` is memory to reuse, taken
    // from an earlier part with takeBuffer().
    struct Part {};
    SpoolFile(Part, const QString& folder, const QString& target, std::size_t memoryLimit,
              std::string buffer = {});
    SpoolFile(const SpoolFile&) = delete;
    SpoolFile& operator=(const SpoolFile&) = delete;
    ~SpoolFile();

    // The buffer that writers append to; drainIfFull() passes it on to the file.
    std::string& buffer() { return m_buffer; }
    // Gives up the buffer's memory, for the next part; call only once done with the spool.
    std::string takeBuffer() { return std::move(m_buffer); }
    void drainIfFull() {
        if (m_buffer.size() >= m_drainAt)
            drain();
    }

    // Where the spool is; empty when it could not be created.
    QString folder() const { return m_error.isEmpty() ? m_folder : QString(); }

    // Bytes written so far, buffered ones included.
    std::uint64_t size() const { return m_written + m_buffer.size(); }
    // Discards everything after the first `size` bytes.
    void truncate(std::uint64_t size);
    // Appends everything written to `part` so far.
    void append(SpoolFile& part);

    // Puts the document in place; throws AppError on failure, leaving the target untouched
    // (or, for a device or a pipe, as far as it was written) and no temporary file behind.
    void commit();

private:
    static constexpr std::size_t drainSize = 1024 * 1024;
    // How much is written before the disk is asked to start on it.
    static constexpr std::uint64_t writeBackStep = 8 * 1024 * 1024;

    void resolveTarget();
    void createSpool(const QString& folder, unsigned mode, bool exactMode);
    void drain();
    void writeOut(std::string_view data);
    void wrote(std::uint64_t bytes);
    void fail(const QString& what, int error);
    void failWith(const QString& text);
    void removeTemporary();
    void commitReplacing();
    void commitCopying();

    QString m_target;
    bool m_copyInto = false; // a device, a pipe or an open stream
    int m_streamFd = -1;     // the open stream, not owned
    platform::FileDescriptor m_fd;
    QString m_folder;            // where the spool is
    QString m_temporary;         // the named spool, when there is one
    bool m_fileDeferred = false; // a part still wholly in its buffer, its file not made yet
    std::size_t m_drainAt = drainSize;
    std::string m_buffer;
    std::uint64_t m_written = 0;
    bool m_writeBack = false;        // a spool that replaces the target, synced at the end
    std::uint64_t m_writtenBack = 0; // bytes the disk was asked to start on
    QString m_error;
};
