#include "platform/textcodec.h"

#include "platform/windows/codepages.h"

#include <windows.h>

#include <string_view>

namespace platform {
namespace {

// The system converts no UTF-16 through its code-page functions; these are plain.
std::optional<QString> fromUtf16(const QByteArray& bytes, bool bigEndian) {
    QString text;
    text.reserve(bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        text.append(QChar(bigEndian ? (first << 8 | second) : (second << 8 | first)));
    }
    return text;
}

} // namespace

std::optional<QString> decodeText(const QByteArray& bytes, const QByteArray& encoding) {
    const QByteArray name = encoding.trimmed().toUpper();
    if (name.isEmpty())
        return std::nullopt;
    if (name == "UTF-16LE")
        return fromUtf16(bytes, false);
    if (name == "UTF-16BE")
        return fromUtf16(bytes, true);
    if (name == "UTF-16") // a byte-order mark decides, big-endian without one
        return fromUtf16(bytes, !bytes.startsWith("\xFF\xFE"));
    const unsigned int codePage =
        platform::windows::codePageOf(std::string_view(name.constData(), name.size()));
    if (codePage == 0 || !::IsValidCodePage(codePage))
        return std::nullopt;
    if (bytes.isEmpty())
        return QString();
    // Bytes that are no character of the code page become the replacement character.
    const int length = ::MultiByteToWideChar(codePage, 0, bytes.constData(),
                                             static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    QString text(length, Qt::Uninitialized);
    ::MultiByteToWideChar(codePage, 0, bytes.constData(), static_cast<int>(bytes.size()),
                          reinterpret_cast<wchar_t*>(text.data()), length);
    return text;
}

} // namespace platform
