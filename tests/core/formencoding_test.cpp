#include "core/formencoding.h"

#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace {

struct ComponentCase {
    QString text;
    QByteArray encoded;
};

TEST(FormEncoding, EncodesEachByteOfAComponent) {
    const ComponentCase cases[] = {
        {QStringLiteral("AZaz09*-._"), "AZaz09*-._"},
        {QStringLiteral("a b"), "a+b"},
        {QStringLiteral("+&=%~"), "%2B%26%3D%25%7E"},
        {QStringLiteral("\r\n"), "%0D%0A"},
        {QStringLiteral("/?#!'()@:;,\"<>"), "%2F%3F%23%21%27%28%29%40%3A%3B%2C%22%3C%3E"},
        {QStringLiteral(u"é"), "%C3%A9"},
        {QStringLiteral(u"€"), "%E2%82%AC"},
        {QStringLiteral(u"😀"), "%F0%9F%98%80"},
        {QString(QChar(0x7F)) + QChar(0x01), "%7F%01"},
        {QString(QChar(0xD800)), "%3F"}, // unpaired surrogate
        {QString(), ""},
    };
    for (const ComponentCase& c : cases)
        EXPECT_EQ(formencoding::encodeComponent(c.text), c.encoded) << c.text.toStdString();
}

struct FieldsCase {
    QStringList fields;
    QByteArray body;
};

TEST(FormEncoding, SplitsLinesAtTheFirstEqualsAndJoinsPairs) {
    const FieldsCase cases[] = {
        {{"cmd=check", "howmany=3"}, "cmd=check&howmany=3"},
        {{"email="}, "email="},
        {{"cmd=feedback", "email="}, "cmd=feedback&email="},
        {{"k=a=b=c"}, "k=a%3Db%3Dc"},
        {{"a b=c d"}, "a+b=c+d"},
        {{"feedback=line1\r\nline2"}, "feedback=line1%0D%0Aline2"},
        {{"=value"}, "=value"},
        {{"novalue"}, "novalue="},
        {{}, ""},
    };
    for (const FieldsCase& c : cases)
        EXPECT_EQ(formencoding::encodeFields(c.fields), c.body) << c.fields.join('|').toStdString();
}

} // namespace
