#include "core/replydecoding.h"

#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace {

struct CharsetCase {
    QByteArray input;
    QByteArray charset;
};

TEST(ReplyDecoding, ReadsTheCharsetOfAContentType) {
    const CharsetCase cases[] = {
        {"text/html; charset=ISO-8859-1", "ISO-8859-1"},
        {"text/plain;charset=\"utf-8\"", "utf-8"},
        {"text/plain; CHARSET = koi8-r", "koi8-r"},
        {"text/plain; format=flowed; charset=windows-1252", "windows-1252"},
        {"text/plain", ""},
        {"text/plain; charset=", ""},
        {"", ""},
    };
    for (const CharsetCase& c : cases)
        EXPECT_EQ(replydecoding::charsetOfContentType(c.input), c.charset) << c.input.constData();
}

TEST(ReplyDecoding, FindsTheCharsetADocumentDeclares) {
    const CharsetCase cases[] = {
        {"<?xml version=\"1.0\" encoding=\"windows-1251\"?><r/>", "windows-1251"},
        {"<?xml version='1.0' encoding='koi8-r' standalone='yes'?><r/>", "koi8-r"},
        {"<html><head><meta charset=\"iso-8859-7\"></head>", "iso-8859-7"},
        {"<HTML><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=Shift_JIS\">",
         "Shift_JIS"},
        {"\xEF\xBB\xBF<html>", "UTF-8"},
        {"<?xml version=\"1.0\"?><r/>", ""},
        {"OK", ""},
        {QByteArray(1100, ' ') + "<meta charset=\"koi8-r\">", ""}, // too far in
    };
    for (const CharsetCase& c : cases)
        EXPECT_EQ(replydecoding::charsetInDocument(c.input), c.charset) << c.input.constData();
}

TEST(ReplyDecoding, DecodesByNameAndRefusesUnknownNames) {
    EXPECT_EQ(replydecoding::decode("caf\xE9", "ISO-8859-1"), QStringLiteral(u"café"));
    EXPECT_EQ(replydecoding::decode("\xCF\xF0\xE8", "windows-1251"), QStringLiteral(u"При"));
    EXPECT_EQ(replydecoding::decode("\xEF\xBB\xBFOK", "utf-8"), QStringLiteral("OK"));
    EXPECT_EQ(replydecoding::decode("caf\xC3\xA9", "UTF8"), QStringLiteral(u"café"));
    EXPECT_EQ(replydecoding::decode("", "utf-8"), QString());
    EXPECT_FALSE(replydecoding::decode("x", "no-such-charset-42"));
    EXPECT_FALSE(replydecoding::decode("x", ""));
}

} // namespace
