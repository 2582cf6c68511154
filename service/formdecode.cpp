#include "service/formdecode.h"

#include <cstdint>

namespace service {
namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            bytes += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            bytes += c;
        }
    }
    return bytes;
}

} // namespace

std::optional<std::string> FormFields::value(std::string_view name) const {
    for (const auto& [fieldName, fieldValue] : pairs_) {
        if (fieldName == name)
            return fieldValue;
    }
    return std::nullopt;
}

FormFields decodeForm(std::string_view body) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string_view::npos)
            end = body.size();
        const std::string_view sequence = body.substr(start, end - start);
        if (!sequence.empty()) {
            const std::size_t equals = sequence.find('=');
            const std::string_view name = sequence.substr(0, equals);
            const std::string_view value =
                equals == std::string_view::npos ? std::string_view{} : sequence.substr(equals + 1);
            pairs.emplace_back(toValidUtf8(percentDecode(name)), toValidUtf8(percentDecode(value)));
        }
        start = end + 1;
    }
    return FormFields(std::move(pairs));
}

std::string toValidUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<std::uint8_t>(bytes[i]);
        if (lead < 0x80) {
            text += static_cast<char>(lead);
            ++i;
            continue;
        }
        // Length of the sequence and the allowed range of its second byte (Unicode table
        // 3-7): this rejects overlong forms, surrogates and code points above U+10FFFF.
        std::size_t length = 0;
        std::uint8_t low = 0x80;
        std::uint8_t high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0;
            if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            if (lead == 0xF4)
                high = 0x8F;
        }
        if (length == 0) {
            text += replacementCharacter;
            ++i;
            continue;
        }
        std::size_t valid = 1;
        while (valid < length && i + valid < bytes.size()) {
            const auto next = static_cast<std::uint8_t>(bytes[i + valid]);
            const std::uint8_t min = valid == 1 ? low : 0x80;
            const std::uint8_t max = valid == 1 ? high : 0xBF;
            if (next < min || next > max)
                break;
            ++valid;
        }
        if (valid == length)
            text.append(bytes.substr(i, length));
        else
            text += replacementCharacter;
        i += valid;
    }
    return text;
}

} // namespace service
