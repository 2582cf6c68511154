#include "platform/windows/codepages.h"

#include <algorithm>
#include <array>
#include <string>

namespace platform::windows {
namespace {

using Aliases = std::span<const char* const>;

constexpr const char* cp1250[] = {"cp1250", "x-cp1250"};
constexpr const char* cp1251[] = {"cp1251", "x-cp1251"};
constexpr const char* cp1252[] = {"cp1252", "x-cp1252"};
constexpr const char* cp1253[] = {"cp1253"};
constexpr const char* cp1254[] = {"cp1254"};
constexpr const char* cp1255[] = {"cp1255"};
constexpr const char* cp1256[] = {"cp1256"};
constexpr const char* cp1257[] = {"cp1257"};
constexpr const char* cp1258[] = {"cp1258"};
constexpr const char* cp874[] = {"cp874", "TIS-620", "x-windows-874"};
constexpr const char* shiftJis[] = {"SJIS", "MS_Kanji", "windows-31j", "cp932", "csShiftJIS"};
constexpr const char* gbk[] = {"GB2312", "cp936", "EUC-CN", "csGB2312", "x-gbk"};
constexpr const char* gb18030[] = {"GB-18030"};
constexpr const char* big5[] = {"cp950", "Big5-HKSCS", "csBig5"};
constexpr const char* eucKr[] = {"csEUCKR"};
constexpr const char* cp949[] = {"cp949", "UHC", "ks_c_5601-1987"};
constexpr const char* eucJp[] = {"csEUCPkdFmtJapanese", "x-euc-jp"};
constexpr const char* koi8r[] = {"csKOI8R"};
constexpr const char* koi8u[] = {"KOI8-RU"};
constexpr const char* ibm437[] = {"cp437", "437", "csPC8CodePage437"};
constexpr const char* ibm850[] = {"cp850", "850"};
constexpr const char* ibm852[] = {"cp852", "852"};
constexpr const char* ibm866[] = {"cp866", "866"};
constexpr const char* mac[] = {"mac", "x-mac-roman", "MacRoman"};

constexpr std::array table{
    CodePage{1250, "windows-1250", Aliases(cp1250)},
    CodePage{1251, "windows-1251", Aliases(cp1251)},
    CodePage{1252, "windows-1252", Aliases(cp1252)},
    CodePage{1253, "windows-1253", Aliases(cp1253)},
    CodePage{1254, "windows-1254", Aliases(cp1254)},
    CodePage{1255, "windows-1255", Aliases(cp1255)},
    CodePage{1256, "windows-1256", Aliases(cp1256)},
    CodePage{1257, "windows-1257", Aliases(cp1257)},
    CodePage{1258, "windows-1258", Aliases(cp1258)},
    CodePage{874, "windows-874", Aliases(cp874)},
    CodePage{932, "Shift_JIS", Aliases(shiftJis)},
    CodePage{936, "GBK", Aliases(gbk)},
    CodePage{54936, "GB18030", Aliases(gb18030)},
    CodePage{950, "Big5", Aliases(big5)},
    CodePage{51949, "EUC-KR", Aliases(eucKr)},
    CodePage{949, "windows-949", Aliases(cp949)},
    CodePage{20932, "EUC-JP", Aliases(eucJp)},
    CodePage{20866, "KOI8-R", Aliases(koi8r)},
    CodePage{21866, "KOI8-U", Aliases(koi8u)},
    CodePage{437, "IBM437", Aliases(ibm437)},
    CodePage{850, "IBM850", Aliases(ibm850)},
    CodePage{852, "IBM852", Aliases(ibm852)},
    CodePage{866, "IBM866", Aliases(ibm866)},
    CodePage{10000, "macintosh", Aliases(mac)},
    // The ISO-8859 family; the parser has tables of its own for most of these, other
    // callers convert them here.
    CodePage{28591, "ISO-8859-1", Aliases{}},
    CodePage{28592, "ISO-8859-2", Aliases{}},
    CodePage{28593, "ISO-8859-3", Aliases{}},
    CodePage{28594, "ISO-8859-4", Aliases{}},
    CodePage{28595, "ISO-8859-5", Aliases{}},
    CodePage{28596, "ISO-8859-6", Aliases{}},
    CodePage{28597, "ISO-8859-7", Aliases{}},
    CodePage{28598, "ISO-8859-8", Aliases{}},
    CodePage{28599, "ISO-8859-9", Aliases{}},
    CodePage{28603, "ISO-8859-13", Aliases{}},
    CodePage{28605, "ISO-8859-15", Aliases{}},
    CodePage{20127, "US-ASCII", Aliases{}},
    CodePage{65001, "UTF-8", Aliases{}},
};

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Names match as the registry of character sets matches its aliases: case and punctuation
// do not count, so "UTF8", "utf_8" and "UTF-8" are one name.
std::string letterDigits(std::string_view name) {
    std::string kept;
    for (const char c : name) {
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            kept.push_back(asciiLower(c));
    }
    return kept;
}

bool sameName(std::string_view a, std::string_view b) {
    return letterDigits(a) == letterDigits(b);
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::span<const CodePage> codePages() {
    return table;
}

unsigned int codePageOf(std::string_view encodingName) {
    const std::string_view name = trimmed(encodingName);
    for (const CodePage& page : table) {
        if (sameName(name, page.name))
            return page.id;
        for (const char* alias : page.aliases) {
            if (sameName(name, alias))
                return page.id;
        }
    }
    return 0;
}

} // namespace platform::windows
