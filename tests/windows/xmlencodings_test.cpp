// Documents in the code pages Windows converts load with their text, as on Linux.
#include "platform/xmlencodings.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace {

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

// The root's text as UTF-8, or nothing when the document does not load.
std::optional<std::string> rootText(const std::string& document) {
    const std::unique_ptr<xmlDoc, DocFree> doc(
        xmlReadMemory(document.data(), static_cast<int>(document.size()), "test.xml", nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc)
        return std::nullopt;
    xmlChar* content = xmlNodeGetContent(xmlDocGetRootElement(doc.get()));
    std::string text(reinterpret_cast<const char*>(content));
    xmlFree(content);
    return text;
}

std::string declared(const char* encoding, const std::string& rootContent) {
    return std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?><r>" + rootContent +
           "</r>";
}

class XmlEncodings : public ::testing::Test {
protected:
    static void SetUpTestSuite() { platform::registerXmlEncodings(); }
};

TEST_F(XmlEncodings, CodePagesLoadWithTheirText) {
    struct Case {
        const char* encoding;
        std::string bytes;
        std::string utf8;
    };
    const Case cases[] = {
        {"windows-1252", "\x80\xe9", "\xe2\x82\xac\xc3\xa9"},
        {"WINDOWS-1252", "\x80", "\xe2\x82\xac"},
        {"cp1251", "\xc0\xff", "\xd0\x90\xd1\x8f"},
        {"KOI8-R", "\xc1", "\xd0\xb0"},
        {"windows-1253", "\xe1", "\xce\xb1"},
        {"Shift_JIS", "\x82\xa0", "\xe3\x81\x82"},
        {"GBK", "\xc4\xe3", "\xe4\xbd\xa0"},
        {"Big5", "\xa7\x41", "\xe4\xbd\xa0"},
        {"ISO-8859-2", "\xb1", "\xc4\x85"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding);
        EXPECT_EQ(rootText(declared(c.encoding, c.bytes)), c.utf8);
    }
}

TEST_F(XmlEncodings, MultiByteCharactersAcrossTheParsersChunksStayWhole) {
    // Far more than one conversion call takes, with two-byte characters throughout.
    std::string bytes;
    std::string utf8;
    for (int i = 0; i < 20000; ++i) {
        bytes += "\x82\xa0";
        utf8 += "\xe3\x81\x82";
    }
    EXPECT_EQ(rootText(declared("Shift_JIS", bytes)), utf8);
}

TEST_F(XmlEncodings, BytesThatAreNoCharacterFailTheLoad) {
    // A lead byte followed by "<" is no Shift_JIS character.
    EXPECT_EQ(rootText(declared("Shift_JIS", "\x82")), std::nullopt);
    EXPECT_EQ(rootText(declared("x-no-such-encoding", "a")), std::nullopt);
}

} // namespace
