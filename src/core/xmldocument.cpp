#include "core/xmldocument.h"

#include "core/xmlload.h"

#include <libxml/parser.h>

#include <deque>
#include <string>
#include <vector>

namespace xml {

QString loadErrorMessage(const QString& reason, int line, const QString& lineText) {
    return reason + QStringLiteral("\r\nLine: ") + QString::number(line) + QStringLiteral("\r\n") +
           lineText;
}

LoadError::LoadError(const QString& reason, int line, const QString& lineText, bool fileError)
    : AppError(loadErrorMessage(reason, line, lineText)), m_reason(reason), m_line(line),
      m_lineText(lineText), m_fileError(fileError) {}

namespace {

const xmlChar* const xmlNamespaceUri = XML_XML_NAMESPACE;

// xml:space on an element: 1 preserve, 0 default, -1 absent or another value.
int spaceSetting(int attributeCount, const xmlChar** attributes) {
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** a = attributes + 5 * i;
        if (xmlStrEqual(a[0], BAD_CAST "space") && xmlStrEqual(a[2], xmlNamespaceUri)) {
            const std::string_view value(reinterpret_cast<const char*>(a[3]),
                                         static_cast<std::size_t>(a[4] - a[3]));
            if (value == "preserve")
                return 1;
            if (value == "default")
                return 0;
        }
    }
    return -1;
}

// The streamed load: SAX events become handler calls, with white space handled here.
class Stream : public Load {
public:
    Stream(const QString& path, ContentHandler& handler) : Load(path), m_handler(handler) {
        m_preserve.push_back(false);
    }

    static xmlSAXHandler handlers() {
        xmlSAXHandler sax{};
        sax.startDocument = &Stream::onStartDocument;
        sax.startElementNs = &Stream::onStartElement;
        sax.endElementNs = &Stream::onEndElement;
        sax.characters = &Stream::onCharacters;
        sax.ignorableWhitespace = &Stream::onCharacters;
        sax.cdataBlock = &Stream::onCdata;
        sax.comment = &Stream::onComment;
        sax.processingInstruction = &Stream::onProcessingInstruction;
        return sax;
    }

private:
    static Stream& of(void* userData) { return static_cast<Stream&>(Load::of(userData)); }

    // Ends the node in progress before another begins.
    void closeNode() {
        closeCdata();
        closeText();
    }

    // Ends the text node in progress: white space still tentative was not preserved.
    void closeText() {
        if (m_tentativeSent)
            guarded([&] { m_handler.tentativeTextEnded(false); });
        m_tentative = false;
        m_tentativeSent = false;
        m_inText = false;
    }

    static void onStartDocument(void* userData) {
        Stream& s = of(userData);
        if (s.skipEvent())
            return;
        const xmlParserCtxtPtr ctxt = s.context();
        Declaration declaration;
        declaration.version = ctxt->version ? view(ctxt->version) : std::string_view("1.0");
        declaration.standalone = ctxt->standalone < 0 ? -1 : (ctxt->standalone ? 1 : 0);
        s.guarded([&] { s.m_handler.startDocument(declaration); });
    }

    static void onStartElement(void* userData, const xmlChar* localName, const xmlChar* prefix,
                               const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                               int attributeCount, int, const xmlChar** attributes) {
        Stream& s = of(userData);
        if (s.skipEvent())
            return;
        s.closeNode();
        if (depthExceeded(s))
            return;
        const int space = spaceSetting(attributeCount, attributes);
        s.m_preserve.push_back(space < 0 ? s.m_preserve.back() : space == 1);

        s.m_decoded.clear();
        s.m_namespaces.clear();
        for (int i = 0; i < namespaceCount; ++i)
            s.m_namespaces.push_back({view(namespaces[2 * i]),
                                      decodeAmpersands(view(namespaces[2 * i + 1]), s.m_decoded)});
        s.m_attributes.clear();
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** a = attributes + 5 * i;
            const std::string_view value(reinterpret_cast<const char*>(a[3]),
                                         static_cast<std::size_t>(a[4] - a[3]));
            s.m_attributes.push_back({view(a[0]), view(a[1]),
                                      decodeAmpersands(view(a[2]), s.m_decoded),
                                      decodeAmpersands(value, s.m_decoded)});
        }
        Element element;
        element.localName = view(localName);
        element.prefix = view(prefix);
        element.uri = decodeAmpersands(view(uri), s.m_decoded);
        element.namespaces = s.m_namespaces;
        element.attributes = s.m_attributes;
        s.guarded([&] { s.m_handler.startElement(element); });
    }

    static void onEndElement(void* userData, const xmlChar*, const xmlChar*, const xmlChar*) {
        Stream& s = of(userData);
        if (s.skipEvent())
            return;
        s.closeNode();
        --s.depth;
        s.m_preserve.pop_back();
        s.guarded([&] { s.m_handler.endElement(); });
    }

    static void onCharacters(void* userData, const xmlChar* chars, int length) {
        Stream& s = of(userData);
        if (s.skipEvent())
            return;
        s.closeCdata();
        const std::string_view piece(reinterpret_cast<const char*>(chars),
                                     static_cast<std::size_t>(length));
        if (!s.m_inText) {
            s.m_inText = true;
            s.m_tentative = !s.m_preserve.back();
        }
        if (s.m_tentative) {
            if (isBlank(piece)) {
                s.m_tentativeSent = true;
                s.guarded([&] { s.m_handler.tentativeText(piece); });
                return;
            }
            // Not white space only after all: what came so far belongs to the text.
            s.m_tentative = false;
            if (s.m_tentativeSent) {
                s.m_tentativeSent = false;
                s.guarded([&] { s.m_handler.tentativeTextEnded(true); });
            }
        }
        s.guarded([&] { s.m_handler.text(piece); });
    }

    // The parser hands a long CDATA section over in pieces: the first follows "<![CDATA[" in
    // its input, the last is followed by "]]>". A section may also end without a last piece,
    // when its end fell on a piece's end; the next node then closes it.
    static void onCdata(void* userData, const xmlChar* value, int length) {
        Stream& s = of(userData);
        if (s.skipEvent())
            return;
        s.closeText();
        const std::string_view piece(reinterpret_cast<const char*>(value),
                                     static_cast<std::size_t>(length));
        const xmlParserInputPtr input = s.context()->input;
        const bool inInput = input && value >= input->base && value + length <= input->end;
        const auto before = [&](std::string_view marker) {
            return value - input->base >= std::ptrdiff_t(marker.size()) &&
                   std::string_view(piece.data() - marker.size(), marker.size()) == marker;
        };
        const auto after = [&](std::string_view marker) {
            return input->end - (value + length) >= std::ptrdiff_t(marker.size()) &&
                   std::string_view(piece.data() + length, marker.size()) == marker;
        };
        const bool first = !s.m_inCdata || !inInput || before("<![CDATA[");
        const bool last = !inInput || after("]]>");
        if (first)
            s.closeCdata();
        s.m_inCdata = !last;
        s.guarded([&] { s.m_handler.cdata(piece, first, last); });
    }

    void closeCdata() {
        if (!m_inCdata)
            return;
        m_inCdata = false;
        guarded([&] { m_handler.cdata({}, false, true); });
    }

    static void onComment(void* userData, const xmlChar* value) {
        Stream& s = of(userData);
        if (s.skipEvent())
            return;
        s.closeNode();
        s.guarded([&] { s.m_handler.comment(view(value)); });
    }

    static void onProcessingInstruction(void* userData, const xmlChar* target,
                                        const xmlChar* data) {
        Stream& s = of(userData);
        if (s.skipEvent())
            return;
        s.closeNode();
        s.guarded([&] { s.m_handler.processingInstruction(view(target), view(data)); });
    }

    ContentHandler& m_handler;
    std::vector<bool> m_preserve;
    std::vector<NamespaceDeclaration> m_namespaces;
    std::vector<Attribute> m_attributes;
    std::deque<std::string> m_decoded;
    bool m_inCdata = false; // a CDATA section has begun whose last piece has not come
    bool m_inText = false;
    bool m_tentative = false;     // the text node so far is white space the rules may drop
    bool m_tentativeSent = false; // and some of it went to tentativeText
};

} // namespace

std::uint64_t parseFile(const QString& path, ContentHandler& handler,
                        const ReadProgress& progress) {
    Stream load(path, handler);
    load.setProgress(&progress);
    if (load.open()) {
        xmlSAXHandler sax = Stream::handlers();
        load.run(sax, true);
    }
    load.throwIfFailed();
    return load.bytesRead();
}

} // namespace xml
