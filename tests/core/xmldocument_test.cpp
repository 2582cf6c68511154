#include "core/apperror.h"
#include "core/xmldocument.h"
#include "support/combinetesting.h"
#include "support/treeload.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// The root's children as the tree holds them: "e:name", "t:text", "c:comment", "p:target",
// "d:cdata", joined by spaces.
std::string treeChildren(const xml::Document& doc) {
    std::string out;
    for (const xmlNode* n = xmlDocGetRootElement(doc.get())->children; n; n = n->next) {
        if (!out.empty())
            out += ' ';
        const std::string content = n->content ? reinterpret_cast<const char*>(n->content) : "";
        switch (n->type) {
        case XML_ELEMENT_NODE:
            out += "e:" + std::string(reinterpret_cast<const char*>(n->name));
            break;
        case XML_TEXT_NODE:
            out += "t:" + content;
            break;
        case XML_COMMENT_NODE:
            out += "c:" + content;
            break;
        case XML_PI_NODE:
            out += "p:" + std::string(reinterpret_cast<const char*>(n->name));
            break;
        case XML_CDATA_SECTION_NODE:
            out += "d:" + content;
            break;
        default:
            out += "?";
        }
    }
    return out;
}

// The same summary from the streamed events.
class ChildRecorder : public xml::ContentHandler {
public:
    std::string children;
    void startDocument(const xml::Declaration&) override {}
    void startElement(const xml::Element& element) override {
        if (depth++ == 1)
            add("e:" + std::string(element.localName));
    }
    void endElement() override { --depth; }
    void text(std::string_view piece) override {
        if (depth != 1)
            return;
        if (lastWasText)
            children += piece;
        else
            add("t:" + std::string(piece));
        lastWasText = true;
    }
    void tentativeText(std::string_view piece) override {
        if (depth == 1)
            tentative += piece;
    }
    void tentativeTextEnded(bool kept) override {
        if (kept && depth == 1)
            text(std::exchange(tentative, {}));
        tentative.clear();
    }
    void cdata(std::string_view piece, bool first, bool) override {
        if (first)
            add("d:");
        children += piece;
    }
    void comment(std::string_view content) override {
        if (depth == 1)
            add("c:" + std::string(content));
    }
    void processingInstruction(std::string_view target, std::string_view) override {
        if (depth == 1)
            add("p:" + std::string(target));
    }

private:
    void add(const std::string& item) {
        if (!children.empty())
            children += ' ';
        children += item;
        lastWasText = false;
    }
    int depth = 0;
    bool lastWasText = false;
    std::string tentative;
};

struct ChildrenCase {
    const char* name;
    std::string content;
    std::string children;
};

class XmlDocumentChildren : public ::testing::TestWithParam<ChildrenCase> {
protected:
    QTemporaryDir dir;
};

TEST_P(XmlDocumentChildren, TreeAndStreamSeeTheSameChildren) {
    const QString path = dir.filePath("doc.xml");
    writeFileBytes(path, GetParam().content);
    EXPECT_EQ(treeChildren(xml::loadDocument(path)), GetParam().children);
    ChildRecorder recorder;
    EXPECT_EQ(xml::parseFile(path, recorder), GetParam().content.size());
    EXPECT_EQ(recorder.children, GetParam().children);
}

const ChildrenCase childrenCases[] = {
    {"IndentationIsNotAChild", "<r>\n  <a/>\n  <b/>\n</r>", "e:a e:b"},
    {"TextWithLettersIsAChild", "<r><a/> and <b/></r>", "e:a t: and  e:b"},
    {"CommentsAndInstructionsAreChildren", "<r><!--x--><?go now?><![CDATA[ ]]></r>",
     "c:x p:go d: "},
    {"EmptyElementTagHasNoChildren", "<r/>", ""},
    {"StartAndEndTagHaveNoChildren", "<r>\n\t \r\n</r>", ""},
    {"PreservedWhiteSpaceStays", "<r xml:space='preserve'>\n <a/> </r>", "t:\n  e:a t: "},
    {"CharacterReferencesCountAsText", "<r>&#32;<a/>&#x20;x</r>", "e:a t: x"},
    {"BlankThenTextIsOneNode", "<r>   \n   x<a/></r>", "t:   \n   x e:a"},
};

INSTANTIATE_TEST_SUITE_P(Cases, XmlDocumentChildren, ::testing::ValuesIn(childrenCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(XmlDocument, ErrorMessageHasReasonLineAndSourceText) {
    EXPECT_EQ(xml::loadErrorMessage("Bad thing", 7, "<a>"), "Bad thing\r\nLine: 7\r\n<a>");
}

TEST(XmlDocument, DocumentTypeDeclarationFailsBothLoads) {
    QTemporaryDir dir;
    const QString path = dir.filePath("doc.xml");
    writeFileBytes(path,
                   "<?xml version='1.0'?>\n<!DOCTYPE r SYSTEM 'http://127.0.0.1:1/x.dtd'>\n<r/>");
    const QString expected = "A document type declaration is not allowed\r\nLine: 2\r\n<!DOCTYPE r "
                             "SYSTEM 'http://127.0.0.1:1/x";
    try {
        xml::loadDocument(path);
        FAIL() << "loaded";
    } catch (const AppError& e) {
        EXPECT_EQ(e.message(), expected);
    }
    ChildRecorder recorder;
    try {
        xml::parseFile(path, recorder);
        FAIL() << "parsed";
    } catch (const AppError& e) {
        EXPECT_EQ(e.message(), expected);
    }
}

TEST(XmlDocument, LoadsAreIndependent) {
    QTemporaryDir dir;
    const QString path = dir.filePath("doc.xml");
    writeFileBytes(path, "<r><a/></r>");
    const xml::Document first = xml::loadDocument(path);
    const xml::Document second = xml::loadDocument(path);
    xmlNewChild(xmlDocGetRootElement(first.get()), nullptr, BAD_CAST "b", nullptr);
    EXPECT_EQ(treeChildren(first), "e:a e:b");
    EXPECT_EQ(treeChildren(second), "e:a");
}

TEST(XmlDocument, HandlerErrorsPassThroughTheParse) {
    class Throwing : public ChildRecorder {
        void startElement(const xml::Element&) override { throw std::runtime_error("stop"); }
    } handler;
    QTemporaryDir dir;
    const QString path = dir.filePath("doc.xml");
    writeFileBytes(path, "<r><a/></r>");
    EXPECT_THROW(xml::parseFile(path, handler), std::runtime_error);
}

TEST(XmlDocument, ProgressErrorsPassThroughTheParse) {
    // The progress report comes from inside the parser's read; an error there (the command
    // line's Ctrl-C) must end the parse cleanly, not leave it reading a stopped input.
    ChildRecorder handler;
    QTemporaryDir dir;
    const QString path = dir.filePath("doc.xml");
    std::string content = "<r>";
    while (content.size() < 1024 * 1024)
        content += "<a>some text</a>";
    writeFileBytes(path, content + "</r>");
    int calls = 0;
    const xml::ReadProgress progress = [&calls](std::uint64_t) {
        if (++calls == 2)
            throw std::runtime_error("stop");
    };
    EXPECT_THROW(xml::parseFile(path, handler, progress), std::runtime_error);
    EXPECT_EQ(calls, 2);
}

TEST(XmlDocument, NestingUpToTheBoundLoads) {
    QTemporaryDir dir;
    const QString path = dir.filePath("doc.xml");
    std::string deep;
    for (int i = 0; i < xml::maxDepth; ++i)
        deep += "<a>";
    for (int i = 0; i < xml::maxDepth; ++i)
        deep += "</a>";
    writeFileBytes(path, deep);
    EXPECT_NO_THROW(xml::loadDocument(path));
    writeFileBytes(path, "<b>" + deep + "</b>");
    EXPECT_THROW(xml::loadDocument(path), AppError);
}

// The first error libxml2's own reader reports for the bytes, or empty when it reads them
// cleanly: the wording the load passes on to users.
std::pair<std::string, int> readerError(const std::string& bytes) {
    // xmlReadMemory turns down an empty buffer before it parses; a file reader says this.
    if (bytes.empty())
        return {"Document is empty", 1};
    std::pair<std::string, int> first;
    struct Capture {
        static void error(void* context, xmlErrorPtr error) {
            auto& found = *static_cast<std::pair<std::string, int>*>(context);
            if (found.second != 0 || error->level < XML_ERR_ERROR || error->code == XML_WAR_NS_URI)
                return;
            found = {QString::fromUtf8(error->message).trimmed().toStdString(),
                     std::max(error->line, 1)};
        }
    };
    xmlSetStructuredErrorFunc(&first, &Capture::error);
    xmlFreeDoc(xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                             XML_PARSE_NONET | XML_PARSE_HUGE));
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    return first;
}

// Every way a file can end early, in whatever state the parse was when the bytes ran out, and
// every broken file fails with the reason and line that libxml2's reader gives.
TEST(XmlDocument, CutOffDocumentsFailAsTheReaderSaysAndWhere) {
    const std::vector<std::string> documents = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone='yes'?>\n<!-- head -->\n<?pi data?>\n"
        "<p:root xmlns:p=\"urn:p\" xmlns='urn:d'\n  a=\"1 &amp; 2\" p:b='x&#65;'>\n"
        "  <e>text &lt; &#x263A; more</e>\n  <![CDATA[ <raw> ]]>\n  <empty  />\n"
        "  <!-- note -->\n  <?target  some data ?>\n  <mixed>a<b>c</b>d</mixed>\n</p:root>\n"
        "<!-- tail -->\n<?tail?>\n",
        "\xEF\xBB\xBF<r\n>\xC3\xA9t\xC3\xA9<x y=\"\n\"/></r  >",
        "  \n<r>\r\n<a>\r\n</a></r>",
        "<a:r xmlns:a=\"u&amp;1\">\n<a:s xmlns:a='u2' "
        "x=\"&lt;&#38;\">\n<a:t/>&#x41;&amp;</a:s>\n</a:r>",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a='\xe9'>\xe9t\xe9\n</r>",
        std::string("\xFF\xFE<\0r\0>\0\n\0\xE9\0<\0/\0r\0>\0", 20),
        // and broken ones
        "\n hello",
        "<r/>\njunk",
        "<r>\n<a\n b='1'>x</b></r>",
        "<r><a b=\"1\"\n c=\"2\"<x/></a></r>",
        "<r>&nope;<p:a/></r>",
        "<r a='1' a='2'/>",
        "<r><![CDATA[x]]]]><x/></r>",
        "<r><a/ ></r>",
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("doc.xml");
    for (const std::string& document : documents) {
        for (std::size_t size = 0; size <= document.size(); ++size) {
            const std::string bytes = document.substr(0, size);
            writeFileBytes(path, bytes);
            std::pair<std::string, int> got;
            ChildRecorder recorder;
            try {
                xml::parseFile(path, recorder);
            } catch (const xml::LoadError& e) {
                got = {e.reason().toStdString(), e.line()};
            }
            EXPECT_EQ(got, readerError(bytes)) << bytes;
        }
    }
}

// Loads on several threads keep their own first errors.
TEST(XmlDocument, ConcurrentLoadsKeepTheirOwnErrors) {
    QTemporaryDir dir;
    const QString a = dir.filePath("a.xml");
    const QString b = dir.filePath("b.xml");
    writeFileBytes(a, "<a>\n</b>");
    writeFileBytes(b, "<b>\n\n<c></b>");
    const auto loadError = [](const QString& path) {
        try {
            xml::loadDocument(path);
        } catch (const AppError& e) {
            return e.message();
        }
        return QString();
    };
    const QString expectedA = loadError(a);
    const QString expectedB = loadError(b);
    ASSERT_NE(expectedA, expectedB);
    bool otherOk = true;
    std::thread other([&] {
        for (int i = 0; i < 200; ++i)
            otherOk = otherOk && loadError(a) == expectedA;
    });
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(loadError(b), expectedB);
    other.join();
    EXPECT_TRUE(otherOk);
}

} // namespace
