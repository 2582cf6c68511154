#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

// A temporary file beside a target that becomes the target only on commit(). Writes are
// buffered; the first write error is kept and reported by commit(), so a caller can go on
// and decide at the end. The temporary file is removed unless it was committed.
class SpoolFile {
public:
    explicit SpoolFile(const QString& targetPath);
    SpoolFile(const SpoolFile&) = delete;
    SpoolFile& operator=(const SpoolFile&) = delete;
    ~SpoolFile();

    // The buffer that writers append to; drainIfFull() passes it on to the file.
    std::string& buffer() { return m_buffer; }
    void drainIfFull() {
        if (m_buffer.size() >= drainSize)
            drain();
    }

    // Bytes written so far, buffered ones included.
    std::uint64_t size() const { return m_written + m_buffer.size(); }
    // Discards everything after the first `size` bytes.
    void truncate(std::uint64_t size);

    // Flushes the file to disk and renames it over the target; throws AppError on failure,
    // leaving the target untouched and no temporary file behind.
    void commit();

private:
    static constexpr std::size_t drainSize = 1024 * 1024;

    void drain();
    void fail(const QString& what, int error);
    void removeTemporary();

    QString m_target;
    QString m_temporary;
    int m_fd = -1;
    std::string m_buffer;
    std::uint64_t m_written = 0;
    QString m_error;
};
