#include "platform/nativepath.h"

namespace nativepath {

namespace {

constexpr char16_t escapeBase = 0xDC00;

void appendUtf8(QByteArray& out, char32_t c) {
    if (c < 0x80) {
        out.append(char(c));
    } else if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6)));
        out.append(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    } else {
        out.append(char(0xF0 | (c >> 18)));
        out.append(char(0x80 | ((c >> 12) & 0x3F)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    }
}

// The code point of the valid UTF-8 sequence at bytes[i], and its length; 0 when the bytes
// there are not one (overlong forms, encoded surrogates and values past U+10FFFF are not).
int decodeSequence(const QByteArray& bytes, qsizetype i, char32_t& c) {
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(bytes.at(k)); };
    const unsigned char lead = byte(i);
    int length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        c = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        c = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        c = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QByteArray encode(const QString& name) {
    QByteArray out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < name.size() &&
            QChar::isLowSurrogate(name.at(i + 1).unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(unit, name.at(i + 1).unicode()));
            ++i;
        } else if (unit >= escapeBase + 0x80 && unit <= escapeBase + 0xFF) {
            out.append(char(unit - escapeBase));
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

QString decode(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t c = 0;
        const int length = decodeSequence(bytes, i, c);
        if (length == 0) {
            out.append(QChar(char16_t(escapeBase + static_cast<unsigned char>(bytes.at(i)))));
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(c)));
            out.append(QChar(QChar::lowSurrogate(c)));
        } else {
            out.append(QChar(char16_t(c)));
        }
        i += length;
    }
    return out;
}

} // namespace nativepath
