#include "service/formdecode.h"

#include <gtest/gtest.h>

using service::decodeForm;
using service::toValidUtf8;

namespace {
using Pairs = std::vector<std::pair<std::string, std::string>>;
const std::string replacement = "\xEF\xBF\xBD";
} // namespace

TEST(FormDecode, SplitsAndDecodesLikeBrowsers) {
    struct Case {
        std::string body;
        Pairs expected;
    };
    const std::vector<Case> cases{
        {"", {}},
        {"a=1&b=2", {{"a", "1"}, {"b", "2"}}},
        {"a=1&&b=&=3&c", {{"a", "1"}, {"b", ""}, {"", "3"}, {"c", ""}}},
        {"a=x=y", {{"a", "x=y"}}},
        {"a+b=c+d%20e", {{"a b", "c d e"}}},
        {"plus=%2B&amp=%26&eq=%3d", {{"plus", "+"}, {"amp", "&"}, {"eq", "="}}},
        {"cr=%0D&crlf=%0d%0A", {{"cr", "\r"}, {"crlf", "\r\n"}}},
        {"bad=%&bad2=%4&bad3=%G1&bad4=100%",
         {{"bad", "%"}, {"bad2", "%4"}, {"bad3", "%G1"}, {"bad4", "100%"}}},
        {"u=%C3%A9%E6%BC%A2%F0%9F%98%80", {{"u", "\xC3\xA9\xE6\xBC\xA2\xF0\x9F\x98\x80"}}},
        {"raw=\xC3\xA9", {{"raw", "\xC3\xA9"}}},
        {"invalid=%FF%C3", {{"invalid", replacement + replacement}}},
        {"nul=a%00b", {{"nul", std::string("a\0b", 3)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(decodeForm(c.body).pairs(), c.expected);
    }
}

TEST(FormDecode, ValueIsTheFirstOfItsName) {
    const auto fields = decodeForm("cmd=feedback&cmd=check&email=");
    EXPECT_EQ(fields.value("cmd"), "feedback");
    EXPECT_EQ(fields.value("email"), "");
    EXPECT_EQ(fields.value("feedback"), std::nullopt);
}

TEST(FormDecode, InvalidUtf8BecomesReplacementCharacters) {
    struct Case {
        std::string bytes;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"plain", "plain"},
        {"\xE2\x82\xAC", "\xE2\x82\xAC"},                          // complete 3-byte sequence
        {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},                  // U+10FFFF
        {"\xC0\xAF", replacement + replacement},                   // overlong
        {"\xE0\x80\xAF", replacement + replacement + replacement}, // overlong, 3 bytes
        {"\xED\xA0\x80", replacement + replacement + replacement}, // surrogate
        {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement}, // > U+10FFFF
        {"\xE2\x82", replacement},           // truncated at the end
        {"\xE2\x82x", replacement + "x"},    // truncated in the middle
        {"a\x80z", "a" + replacement + "z"}, // lone continuation byte
    };
    for (const Case& c : cases)
        EXPECT_EQ(toValidUtf8(c.bytes), c.expected);
}
