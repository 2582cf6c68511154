#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// The bytes of a file as it is read, kept for the load error's quote of the line it names.
// The parser keeps no source text, and a file must never be opened a second time for it (a
// pipe gives its bytes only once), so the two latest read chunks are kept, together with the
// start of the line in progress and of the line before it, which may have begun long before.
// Lines are counted by the file's code units: bytes, or 16- or 32-bit units for UTF-16 and
// UTF-32 (no other encoding the parser reads has the byte 0x0A inside a character).
class SourceLines {
public:
    static constexpr std::size_t chunkSize = 256 * 1024;

    // Where the next read goes; the chunk read before it stays untouched.
    std::span<char> readBuffer();
    // Takes the n bytes just read into readBuffer(). Returns how many of them come before the
    // first NUL character (all n when there is none); the NUL's place is kept.
    std::size_t take(std::size_t n);
    // The bytes of the latest chunk taken.
    const char* latest() const { return m_chunks[1 - m_next].get(); }

    bool nulFound() const { return m_nulOffset >= 0; }
    std::int64_t nulOffset() const { return m_nulOffset; }
    int nulLine() const { return m_nulLine; }

    // The first 40 characters of a line, decoded with the document's encoding (UTF-8 when
    // empty); empty when the line is no longer known.
    QString lineText(int line, const std::string& encoding) const;

private:
    void detectWidth(const char* data, std::size_t n);
    bool isUnit(const char* unit, char32_t value) const;
    QString decode(const std::string& bytes, const std::string& encoding, bool firstLine) const;

    // Allocated when first read into, left uninitialised: most files fit in one chunk.
    std::array<std::unique_ptr<char[]>, 2> m_chunks;
    std::array<std::size_t, 2> m_sizes{};
    int m_next = 0;
    std::uint64_t m_offset = 0; // bytes taken before the latest chunk
    std::uint64_t m_total = 0;  // bytes taken in all
    int m_width = 0;            // 0 until the first bytes arrived
    bool m_bigEndian = false;
    std::string m_carry; // a code unit split between two reads
    int m_line = 1;      // the line in progress at the end of the bytes taken
    std::string m_currentStart;
    std::string m_previousStart;
    std::int64_t m_nulOffset = -1;
    int m_nulLine = 0;
};
