#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace service {

// The name/value pairs of an application/x-www-form-urlencoded body, in the order sent.
class FormFields {
public:
    explicit FormFields(std::vector<std::pair<std::string, std::string>> pairs)
        : pairs_(std::move(pairs)) {}

    // The value of the first pair with this name; nothing when the name was not sent.
    std::optional<std::string> value(std::string_view name) const;
    const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }

private:
    std::vector<std::pair<std::string, std::string>> pairs_;
};

// Parses a form body the way browsers do: pairs split at "&", name and value at the first
// "=", "+" as a space, "%XX" as a byte (a malformed escape stays as written), and the
// bytes read as UTF-8 with every invalid sequence replaced by U+FFFD.
FormFields decodeForm(std::string_view body);

// The text as valid UTF-8: each maximal invalid subsequence becomes U+FFFD.
std::string toValidUtf8(std::string_view bytes);

} // namespace service
