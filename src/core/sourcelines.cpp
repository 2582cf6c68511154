#include "core/sourcelines.h"

#include "platform/textcodec.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>

namespace {

constexpr int lineTextLength = 40;
// Enough bytes of a line for 40 characters in any encoding, with room for a CR and a BOM.
constexpr std::size_t maxLineUnits = 4 * (lineTextLength + 2);

void appendCapped(std::string& out, const char* data, std::size_t n, std::size_t cap) {
    if (out.size() < cap)
        out.append(data, std::min(n, cap - out.size()));
}

// The last `c` among the first n bytes, or null.
const char* lastOf(const char* data, std::size_t n, char c) {
    const auto end = std::make_reverse_iterator(data);
    const auto found = std::find(std::make_reverse_iterator(data + n), end, c);
    return found == end ? nullptr : std::prev(found.base());
}

// Line feeds among n bytes. Counted in blocks of a fixed size, which the compiler turns into
// vector code: every byte of every file passes here, and std::count goes a byte at a time.
std::size_t countLineFeeds(const char* data, std::size_t n) {
    constexpr std::size_t block = 64;
    std::size_t count = 0;
    std::size_t i = 0;
    for (; i + block <= n; i += block) {
        unsigned char inBlock = 0; // at most 64
        for (std::size_t k = 0; k < block; ++k)
            inBlock += data[i + k] == '\n';
        count += inBlock;
    }
    for (; i < n; ++i)
        count += data[i] == '\n';
    return count;
}

} // namespace

std::span<char> SourceLines::readBuffer() {
    if (!m_chunks[m_next])
        m_chunks[m_next] = std::make_unique_for_overwrite<char[]>(chunkSize);
    return {m_chunks[m_next].get(), chunkSize};
}

void SourceLines::detectWidth(const char* data, std::size_t n) {
    const auto b = [&](std::size_t i) {
        return i < n ? static_cast<unsigned char>(data[i]) : 0xffU;
    };
    m_width = 1;
    if ((b(0) == 0 && b(1) == 0 && b(2) == 0xfe && b(3) == 0xff) ||
        (b(0) == 0 && b(1) == 0 && b(2) == 0 && b(3) == '<')) {
        m_width = 4;
        m_bigEndian = true;
    } else if ((b(0) == 0xff && b(1) == 0xfe && b(2) == 0 && b(3) == 0) ||
               (b(0) == '<' && b(1) == 0 && b(2) == 0 && b(3) == 0)) {
        m_width = 4;
    } else if ((b(0) == 0xff && b(1) == 0xfe) || (b(0) == '<' && b(1) == 0 && b(2) == '?')) {
        m_width = 2;
    } else if ((b(0) == 0xfe && b(1) == 0xff) || (b(0) == 0 && b(1) == '<' && b(2) == 0)) {
        m_width = 2;
        m_bigEndian = true;
    }
}

bool SourceLines::isUnit(const char* unit, char32_t value) const {
    char32_t c = 0;
    for (int k = 0; k < m_width; ++k) {
        const auto byte = static_cast<unsigned char>(unit[m_bigEndian ? k : m_width - 1 - k]);
        c = (c << 8) | byte;
    }
    return c == value;
}

std::size_t SourceLines::take(std::size_t n) {
    const char* data = m_chunks[m_next].get();
    if (n == 0)
        return 0;
    if (m_width == 0)
        detectWidth(data, n);
    const std::size_t cap = maxLineUnits * static_cast<std::size_t>(m_width);
    std::size_t limit = n;
    if (m_width == 1) {
        // The common case, done a chunk at a time: only the chunk's last two lines can start
        // before the chunk window ends, so only they are captured here.
        if (const void* nul = std::memchr(data, 0, n)) {
            limit = static_cast<std::size_t>(static_cast<const char*>(nul) - data);
            m_nulOffset = static_cast<std::int64_t>(m_total + limit);
        }
        const std::size_t lines = countLineFeeds(data, limit);
        const char* last = lastOf(data, limit, '\n');
        if (last == nullptr) {
            appendCapped(m_currentStart, data, limit, cap);
        } else {
            const auto lastAt = static_cast<std::size_t>(last - data);
            const char* before = lastOf(data, lastAt, '\n');
            if (before == nullptr) {
                appendCapped(m_currentStart, data, lastAt, cap);
                std::swap(m_previousStart, m_currentStart);
            } else {
                const auto beforeAt = static_cast<std::size_t>(before - data);
                m_previousStart.clear();
                appendCapped(m_previousStart, before + 1, lastAt - beforeAt - 1, cap);
            }
            m_currentStart.clear();
            appendCapped(m_currentStart, last + 1, limit - lastAt - 1, cap);
        }
        m_line += static_cast<int>(lines);
        if (m_nulOffset >= 0 && m_nulLine == 0)
            m_nulLine = m_line;
    } else {
        // UTF-16 and UTF-32 unit by unit; a unit split between two reads waits in m_carry.
        const auto width = static_cast<std::size_t>(m_width);
        std::size_t i = 0;
        char unit[4];
        while (true) {
            std::size_t fromCarry = 0;
            if (!m_carry.empty()) {
                fromCarry = m_carry.size();
                const std::size_t needed = width - fromCarry;
                if (n - i < needed) {
                    m_carry.append(data + i, n - i);
                    i = n;
                    break;
                }
                std::memcpy(unit, m_carry.data(), fromCarry);
                std::memcpy(unit + fromCarry, data + i, needed);
                m_carry.clear();
                i += needed;
            } else {
                if (n - i < width) {
                    m_carry.assign(data + i, n - i);
                    i = n;
                    break;
                }
                std::memcpy(unit, data + i, width);
                i += width;
            }
            if (isUnit(unit, 0)) {
                // A unit begun in the previous read ends that read's bytes.
                limit = fromCarry > 0 ? 0 : i - width;
                m_nulOffset = static_cast<std::int64_t>(m_total + limit - fromCarry);
                m_nulLine = m_line;
                break;
            }
            if (isUnit(unit, '\n')) {
                std::swap(m_previousStart, m_currentStart);
                m_currentStart.clear();
                ++m_line;
            } else {
                appendCapped(m_currentStart, unit, width, cap);
            }
        }
        if (m_nulOffset < 0)
            limit = n;
    }
    m_sizes[m_next] = limit;
    m_offset = m_total;
    m_total += limit;
    m_next = 1 - m_next;
    return limit;
}

QString SourceLines::lineText(int line, const std::string& encoding) const {
    if (line <= 0 || line > m_line || m_width == 0)
        return {};
    if (line == m_line)
        return decode(m_currentStart, encoding, line == 1);
    // The start of the line: just after the newline that ends the line before it, the
    // (m_line - line + 1)th from the end of the bytes still held, or the start of the file.
    // Code units are counted from the start of the file.
    const auto width = static_cast<std::size_t>(m_width);
    const std::size_t older = m_sizes[m_next];
    const std::size_t latestSize = m_sizes[1 - m_next];
    std::string window;
    window.reserve(older + latestSize);
    if (older > 0)
        window.append(m_chunks[m_next].get(), older);
    window.append(latest(), latestSize);
    const std::uint64_t windowStart = m_total - window.size();
    const std::size_t skip = (width - windowStart % width) % width;
    const std::size_t units = window.size() > skip ? (window.size() - skip) / width : 0;
    int newlines = m_line - line + 1;
    std::size_t start = std::string::npos;
    for (std::size_t u = units; u-- > 0;) {
        if (isUnit(window.data() + skip + u * width, '\n') && --newlines == 0) {
            start = skip + (u + 1) * width;
            break;
        }
    }
    if (start == std::string::npos && line == 1 && windowStart == 0)
        start = 0;
    if (start == std::string::npos)
        return line == m_line - 1 ? decode(m_previousStart, encoding, line == 1) : QString();
    const std::size_t cap = maxLineUnits * width;
    std::size_t end = start;
    while (end + width <= window.size() && end - start < cap && !isUnit(window.data() + end, '\n'))
        end += width;
    return decode(window.substr(start, end - start), encoding, line == 1);
}

QString SourceLines::decode(const std::string& lineBytes, const std::string& encoding,
                            bool firstLine) const {
    QString text;
    if (m_width > 1) {
        std::u32string characters;
        std::u16string units;
        const auto width = static_cast<std::size_t>(m_width);
        for (std::size_t i = 0; i + width <= lineBytes.size(); i += width) {
            char32_t c = 0;
            for (std::size_t k = 0; k < width; ++k)
                c = (c << 8) |
                    static_cast<unsigned char>(lineBytes[m_bigEndian ? i + k : i + width - 1 - k]);
            units.push_back(static_cast<char16_t>(c));
            characters.push_back(c);
        }
        text =
            m_width == 2 ? QString::fromStdU16String(units) : QString::fromStdU32String(characters);
    } else {
        const bool utf8 = encoding.empty() || qstricmp(encoding.c_str(), "UTF-8") == 0 ||
                          qstricmp(encoding.c_str(), "UTF8") == 0;
        text = QString::fromUtf8(lineBytes);
        if (!utf8) {
            // An encoding the system does not know leaves the text as UTF-8.
            if (std::optional<QString> decoded = platform::decodeText(
                    QByteArray::fromStdString(lineBytes), QByteArray::fromStdString(encoding)))
                text = *std::move(decoded);
        }
    }
    if (firstLine && text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    if (text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    if (text.size() > lineTextLength) {
        int cut = lineTextLength;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        text.truncate(cut);
    }
    return text;
}
