#include "platform/xmlencodings.h"

#include "platform/windows/codepages.h"

#include <libxml/encoding.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <utility>

namespace platform {
namespace {

// The parser's converter: the bytes of one code page in, UTF-8 out. Converts as much of
// the input as surely fits the output; a character cut at the end of the input is left
// for the next call, which the parser makes with more bytes.
int codePageToUtf8(unsigned int codePage, unsigned char* out, int* outLength,
                   const unsigned char* in, int* inLength) {
    const int available = *inLength;
    const int capacity = *outLength;
    *inLength = 0;
    *outLength = 0;
    if (available <= 0 || in == nullptr)
        return 0;
    // Each input byte makes at most one UTF-16 unit, each unit at most three UTF-8 bytes.
    int take = std::min(available, capacity / 3);
    if (take == 0)
        return -1;
    std::array<wchar_t, 16384> units{};
    take = std::min(take, static_cast<int>(units.size()));
    const auto* bytes = reinterpret_cast<const char*>(in);
    int unitCount = 0;
    // A multi-byte character may be cut at the end; back off by up to three bytes.
    const int shortest = std::max(take - 3, 1);
    for (int length = take; length >= shortest; --length) {
        unitCount = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, length,
                                          units.data(), static_cast<int>(units.size()));
        if (unitCount > 0) {
            take = length;
            break;
        }
    }
    if (unitCount <= 0)
        return -2; // bytes that are no character of this code page
    const int written =
        ::WideCharToMultiByte(CP_UTF8, 0, units.data(), unitCount, reinterpret_cast<char*>(out),
                              capacity, nullptr, nullptr);
    if (written <= 0)
        return -1;
    *inLength = take;
    *outLength = written;
    return written;
}

// The parser's converters take no context: one function per table entry.
template <std::size_t index>
int decodeEntry(unsigned char* out, int* outLength, const unsigned char* in, int* inLength) {
    return codePageToUtf8(windows::codePages()[index].id, out, outLength, in, inLength);
}

template <std::size_t... indices> constexpr auto makeDecoders(std::index_sequence<indices...>) {
    return std::array<xmlCharEncodingInputFunc, sizeof...(indices)>{&decodeEntry<indices>...};
}

constexpr std::size_t maxCodePages = 40;

bool knownToParser(const char* name) {
    xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(name);
    if (handler == nullptr)
        return false;
    xmlCharEncCloseFunc(handler);
    return true;
}

} // namespace

void registerXmlEncodings() {
    static constexpr auto decoders = makeDecoders(std::make_index_sequence<maxCodePages>());
    const auto pages = windows::codePages();
    for (std::size_t i = 0; i < pages.size() && i < decoders.size(); ++i) {
        const windows::CodePage& page = pages[i];
        // The parser's own tables (UTF-8, UTF-16, Latin-1, ASCII, most of ISO-8859) stay.
        if (knownToParser(page.name) || !::IsValidCodePage(page.id))
            continue;
        // Registers itself; the parser owns it from now on.
        xmlNewCharEncodingHandler(page.name, decoders[i], nullptr);
        for (const char* alias : page.aliases)
            xmlAddEncodingAlias(page.name, alias);
    }
}

} // namespace platform
