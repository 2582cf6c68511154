#include "core/xmldocument.h"

#include "core/apperror.h"
#include "platform/filedescriptor.h"

#include <QFile>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace xml {

void DocumentDeleter::operator()(_xmlDoc* doc) const {
    xmlFreeDoc(doc);
}

QString loadErrorMessage(const QString& reason, int line, const QString& lineText) {
    return reason + QStringLiteral("\r\nLine: ") + QString::number(line) + QStringLiteral("\r\n") +
           lineText;
}

namespace {

// No network, no entity substitution, no DTD loading or defaulting: those options are
// simply left off. Large text nodes are allowed; depth is bounded by the handlers below,
// since libxml2 lifts its own depth limit together with the size limits.
constexpr int parseOptions = XML_PARSE_NONET | XML_PARSE_HUGE;

constexpr std::size_t readChunk = 256 * 1024;
constexpr int lineTextLength = 40;

void initialiseLibrary() {
    static const bool initialised = [] {
        xmlInitParser();
        return true;
    }();
    (void)initialised;
}

struct ParserContextDeleter {
    void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};
using ParserContext = std::unique_ptr<xmlParserCtxt, ParserContextDeleter>;

using platform::FileDescriptor;

ssize_t readRetrying(int fd, char* buffer, std::size_t size) {
    ssize_t n;
    do {
        n = ::read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

// Text of a line of the file, cut to its first 40 characters. libxml2 does not keep the
// source text, so the line is found again in the file's bytes: by 16-bit units for
// UTF-16, by bytes for everything else (no other supported encoding has 0x0A inside a
// character), then decoded with the document's encoding.
QString sourceLineText(const QString& path, int line, const std::string& encoding) {
    if (line <= 0)
        return {};
    const FileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return {};
    std::vector<char> buffer(64 * 1024);
    std::string lineBytes;
    constexpr std::size_t maxLineBytes = 4 * (lineTextLength + 2);
    int width = 1;
    bool bigEndian = false;
    bool first = true;
    int currentLine = 1;
    std::string carry; // an odd byte left over between reads of UTF-16
    bool done = false;
    while (!done) {
        const ssize_t n = readRetrying(file.get(), buffer.data(), buffer.size());
        if (n <= 0)
            break;
        std::string_view data(buffer.data(), static_cast<std::size_t>(n));
        std::string joined;
        if (!carry.empty()) {
            joined = carry + std::string(data);
            data = joined;
            carry.clear();
        }
        if (first) {
            first = false;
            const auto b = [&](std::size_t i) {
                return i < data.size() ? static_cast<unsigned char>(data[i]) : 0xffU;
            };
            if ((b(0) == 0xff && b(1) == 0xfe) || (b(0) == '<' && b(1) == 0 && b(2) == '?')) {
                width = 2;
            } else if ((b(0) == 0xfe && b(1) == 0xff) || (b(0) == 0 && b(1) == '<' && b(2) == 0)) {
                width = 2;
                bigEndian = true;
            }
        }
        std::size_t i = 0;
        for (; i + width <= data.size(); i += width) {
            const bool newline = width == 1 ? data[i] == '\n'
                                            : (bigEndian ? data[i] == 0 && data[i + 1] == '\n'
                                                         : data[i] == '\n' && data[i + 1] == 0);
            if (currentLine == line) {
                if (newline || lineBytes.size() >= maxLineBytes * width) {
                    done = true;
                    break;
                }
                lineBytes.append(data.substr(i, width));
            } else if (newline) {
                ++currentLine;
            }
        }
        if (!done && i < data.size())
            carry.assign(data.substr(i));
    }

    QString text;
    if (width == 2) {
        std::u16string units;
        for (std::size_t i = 0; i + 1 < lineBytes.size(); i += 2) {
            const auto hi = static_cast<unsigned char>(lineBytes[bigEndian ? i : i + 1]);
            const auto lo = static_cast<unsigned char>(lineBytes[bigEndian ? i + 1 : i]);
            units.push_back(static_cast<char16_t>(hi << 8 | lo));
        }
        text = QString::fromStdU16String(units);
    } else {
        const bool utf8 = encoding.empty() || qstricmp(encoding.c_str(), "UTF-8") == 0 ||
                          qstricmp(encoding.c_str(), "UTF8") == 0;
        if (!utf8) {
            UErrorCode status = U_ZERO_ERROR;
            UConverter* converter = ucnv_open(encoding.c_str(), &status);
            if (U_SUCCESS(status)) {
                std::vector<UChar> units(lineBytes.size() + 1);
                const int32_t count = ucnv_toUChars(
                    converter, units.data(), static_cast<int32_t>(units.size()), lineBytes.data(),
                    static_cast<int32_t>(lineBytes.size()), &status);
                ucnv_close(converter);
                if (U_SUCCESS(status))
                    text = QString(reinterpret_cast<const QChar*>(units.data()), count);
            } else {
                text = QString::fromUtf8(lineBytes);
            }
        } else {
            text = QString::fromUtf8(lineBytes);
        }
    }
    if (line == 1 && text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    if (text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    if (text.size() > lineTextLength) {
        int cut = lineTextLength;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        text.truncate(cut);
    }
    return text;
}

// Errors raised without a parser context (encoding conversion) go to the thread's own
// handler; this points it at one load for as long as the load runs.
class ThreadErrorHandler {
public:
    ThreadErrorHandler(void* context, xmlStructuredErrorFunc handler)
        : m_previous(xmlStructuredError), m_previousContext(xmlStructuredErrorContext) {
        xmlSetStructuredErrorFunc(context, handler);
    }
    ThreadErrorHandler(const ThreadErrorHandler&) = delete;
    ThreadErrorHandler& operator=(const ThreadErrorHandler&) = delete;
    ~ThreadErrorHandler() { xmlSetStructuredErrorFunc(m_previousContext, m_previous); }

private:
    xmlStructuredErrorFunc m_previous;
    void* m_previousContext;
};

// One load: the file read in large chunks, the nesting depth and the first error.
// Stream and TreeLoad below add the SAX side.
class Load {
public:
    explicit Load(const QString& path) : m_path(path) {}

    // Opens the file; an error here is recorded like a parse error without a line.
    bool open() {
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            recordSystemError(errno);
            return false;
        }
        m_fd = std::make_unique<FileDescriptor>(fd);
        m_buffer.resize(readChunk);
        return true;
    }

    // Runs the parse with the given SAX handlers; the handlers find this object in
    // ctxt->_private and the context is passed to them as their user data.
    ParserContext run(xmlSAXHandler& sax) {
        initialiseLibrary();
        sax.initialized = XML_SAX2_MAGIC;
        sax.serror = &Load::contextError;
        sax.internalSubset = &Load::rejectDocumentType;
        sax.externalSubset = nullptr;
        ParserContext ctxt(xmlCreateIOParserCtxt(&sax, nullptr, &Load::readInput, &Load::noClose,
                                                 this, XML_CHAR_ENCODING_NONE));
        if (!ctxt)
            throw AppError(QStringLiteral("Out of memory"));
        m_ctxt = ctxt.get();
        ctxt->_private = this;
        xmlCtxtUseOptions(ctxt.get(), parseOptions);
        {
            const ThreadErrorHandler threadHandler(this, &Load::threadError);
            xmlParseDocument(ctxt.get());
        }
        m_ctxt = nullptr;
        if (m_handlerError)
            std::rethrow_exception(m_handlerError);
        if (!m_failed && !ctxt->wellFormed)
            record(QStringLiteral("The document is not well-formed"),
                   ctxt->input ? ctxt->input->line : 0);
        return ctxt;
    }

    void throwIfFailed() const {
        if (m_failed)
            throw AppError(
                loadErrorMessage(m_reason, m_line, sourceLineText(m_path, m_line, m_encoding)));
    }

    bool failed() const { return m_failed; }
    std::uint64_t bytesRead() const { return m_bytesRead; }
    void setProgress(const ReadProgress* progress) { m_progress = progress; }

    static Load& of(void* userData) {
        return *static_cast<Load*>(static_cast<xmlParserCtxtPtr>(userData)->_private);
    }
    xmlParserCtxtPtr context() const { return m_ctxt; }

    // The first error wins; the parser is stopped from the next SAX callback, where
    // stopping is safe, rather than from inside the error report.
    void record(const QString& reason, int line) {
        if (m_failed)
            return;
        m_failed = true;
        m_reason = reason;
        m_line = line;
        if (m_ctxt && m_ctxt->input && m_ctxt->input->buf && m_ctxt->input->buf->encoder)
            m_encoding = m_ctxt->input->buf->encoder->name;
        else if (m_ctxt && m_ctxt->encoding)
            m_encoding = reinterpret_cast<const char*>(m_ctxt->encoding);
    }

    // Stops the parser when the load has already failed; true when it did.
    bool stopIfFailed() {
        if (!m_failed && !m_handlerError)
            return false;
        if (m_ctxt)
            xmlStopParser(m_ctxt);
        return true;
    }

    void fail(const QString& reason) {
        record(reason, m_ctxt && m_ctxt->input ? m_ctxt->input->line : 0);
        if (m_ctxt) {
            m_ctxt->wellFormed = 0;
            xmlStopParser(m_ctxt);
        }
    }

    // Runs a handler call; an exception stops the parse and is rethrown after it.
    template <typename F> void guarded(F&& call) {
        try {
            call();
        } catch (...) {
            m_handlerError = std::current_exception();
            if (m_ctxt)
                xmlStopParser(m_ctxt);
        }
    }

    int depth = 0;

private:
    void recordSystemError(int error) { record(qt_error_string(error), 0); }

    void recordError(const xmlError* error) {
        if (error == nullptr || error->level < XML_ERR_ERROR)
            return;
        QString reason = QString::fromUtf8(error->message ? error->message : "").trimmed();
        if (reason.isEmpty())
            reason = QStringLiteral("Error %1").arg(error->code);
        int line = error->line;
        if (line <= 0 && m_ctxt && m_ctxt->input)
            line = m_ctxt->input->line;
        record(reason, line);
    }

    static void contextError(void* userData, xmlErrorPtr error) { of(userData).recordError(error); }
    static void threadError(void* load, xmlErrorPtr error) {
        static_cast<Load*>(load)->recordError(error);
    }

    static void rejectDocumentType(void* userData, const xmlChar*, const xmlChar*, const xmlChar*) {
        of(userData).fail(QStringLiteral("A document type declaration is not allowed"));
    }

    static int readInput(void* context, char* out, int length) {
        auto& self = *static_cast<Load*>(context);
        if (self.m_failed || self.m_handlerError)
            return 0;
        if (self.m_pos == self.m_end) {
            const ssize_t n = readRetrying(self.m_fd->get(), self.m_buffer.data(), readChunk);
            if (n < 0) {
                self.recordSystemError(errno);
                return -1;
            }
            self.m_pos = 0;
            self.m_end = static_cast<std::size_t>(n);
            self.m_bytesRead += static_cast<std::uint64_t>(n);
            if (self.m_progress && *self.m_progress && n > 0) {
                // Not guarded(): stopping the parser from inside its own read leaves libxml2
                // with a freed input; a failed read ends the parse as well.
                try {
                    (*self.m_progress)(self.m_bytesRead);
                } catch (...) {
                    self.m_handlerError = std::current_exception();
                    return -1;
                }
            }
            if (n == 0)
                return 0;
        }
        const std::size_t count =
            std::min(static_cast<std::size_t>(std::max(length, 0)), self.m_end - self.m_pos);
        std::memcpy(out, self.m_buffer.data() + self.m_pos, count);
        self.m_pos += count;
        return static_cast<int>(count);
    }
    static int noClose(void*) { return 0; }

    QString m_path;
    std::unique_ptr<FileDescriptor> m_fd;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    std::uint64_t m_bytesRead = 0;
    const ReadProgress* m_progress = nullptr;
    xmlParserCtxtPtr m_ctxt = nullptr;
    bool m_failed = false;
    QString m_reason;
    int m_line = 0;
    std::string m_encoding;
    std::exception_ptr m_handlerError;
};

std::string_view view(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

bool isBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
}

bool depthExceeded(Load& load) {
    if (++load.depth <= maxDepth)
        return false;
    load.fail(QStringLiteral("Elements are nested deeper than %1 levels").arg(maxDepth));
    return true;
}

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

    // Ends the text node in progress: white space still held back was not preserved.
    void closeText() {
        m_held.clear();
        m_heldBlank = false;
        m_inText = false;
    }

    static void onStartDocument(void* userData) {
        Stream& s = of(userData);
        if (s.stopIfFailed())
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
        if (s.stopIfFailed())
            return;
        s.closeText();
        if (depthExceeded(s))
            return;
        const int space = spaceSetting(attributeCount, attributes);
        s.m_preserve.push_back(space < 0 ? s.m_preserve.back() : space == 1);

        s.m_namespaces.clear();
        for (int i = 0; i < namespaceCount; ++i)
            s.m_namespaces.push_back({view(namespaces[2 * i]), view(namespaces[2 * i + 1])});
        s.m_attributes.clear();
        s.m_decoded.clear();
        // Views into m_decoded must stay valid while more values are added.
        s.m_decoded.reserve(static_cast<std::size_t>(attributeCount));
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** a = attributes + 5 * i;
            std::string_view value(reinterpret_cast<const char*>(a[3]),
                                   static_cast<std::size_t>(a[4] - a[3]));
            // Without entity substitution libxml2 hands over a literal "&" as "&#38;" (its
            // tree builder decodes that again); no other reference can remain.
            if (value.find('&') != std::string_view::npos) {
                std::string decoded;
                decoded.reserve(value.size());
                for (std::size_t p = 0; p < value.size();) {
                    if (value.compare(p, 5, "&#38;") == 0) {
                        decoded.push_back('&');
                        p += 5;
                    } else {
                        decoded.push_back(value[p++]);
                    }
                }
                s.m_decoded.push_back(std::move(decoded));
                value = s.m_decoded.back();
            }
            s.m_attributes.push_back({view(a[0]), view(a[1]), view(a[2]), value});
        }
        Element element;
        element.localName = view(localName);
        element.prefix = view(prefix);
        element.uri = view(uri);
        element.namespaces = s.m_namespaces;
        element.attributes = s.m_attributes;
        s.guarded([&] { s.m_handler.startElement(element); });
    }

    static void onEndElement(void* userData, const xmlChar*, const xmlChar*, const xmlChar*) {
        Stream& s = of(userData);
        if (s.stopIfFailed())
            return;
        s.closeText();
        --s.depth;
        s.m_preserve.pop_back();
        s.guarded([&] { s.m_handler.endElement(); });
    }

    static void onCharacters(void* userData, const xmlChar* chars, int length) {
        Stream& s = of(userData);
        if (s.stopIfFailed())
            return;
        const std::string_view piece(reinterpret_cast<const char*>(chars),
                                     static_cast<std::size_t>(length));
        if (!s.m_inText) {
            s.m_inText = true;
            s.m_heldBlank = !s.m_preserve.back();
        }
        if (s.m_heldBlank) {
            if (isBlank(piece)) {
                s.m_held.append(piece);
                return;
            }
            // Not white space only after all: what was held back belongs to the text.
            s.m_heldBlank = false;
            if (!s.m_held.empty()) {
                s.guarded([&] { s.m_handler.text(s.m_held); });
                s.m_held.clear();
            }
        }
        s.guarded([&] { s.m_handler.text(piece); });
    }

    static void onCdata(void* userData, const xmlChar* value, int length) {
        Stream& s = of(userData);
        if (s.stopIfFailed())
            return;
        s.closeText();
        s.guarded([&] {
            s.m_handler.cdata(std::string_view(reinterpret_cast<const char*>(value),
                                               static_cast<std::size_t>(length)));
        });
    }

    static void onComment(void* userData, const xmlChar* value) {
        Stream& s = of(userData);
        if (s.stopIfFailed())
            return;
        s.closeText();
        s.guarded([&] { s.m_handler.comment(view(value)); });
    }

    static void onProcessingInstruction(void* userData, const xmlChar* target,
                                        const xmlChar* data) {
        Stream& s = of(userData);
        if (s.stopIfFailed())
            return;
        s.closeText();
        s.guarded([&] { s.m_handler.processingInstruction(view(target), view(data)); });
    }

    ContentHandler& m_handler;
    std::vector<bool> m_preserve;
    std::vector<NamespaceDeclaration> m_namespaces;
    std::vector<Attribute> m_attributes;
    std::vector<std::string> m_decoded;
    bool m_inText = false;
    bool m_heldBlank = false;
    std::string m_held;
};

// The tree load: libxml2's own tree builder, with the depth bound in front of it.
class TreeLoad : public Load {
public:
    using Load::Load;

    static xmlSAXHandler handlers() {
        xmlSAXHandler sax{};
        xmlSAXVersion(&sax, 2);
        sax.startElementNs = &TreeLoad::onStartElement;
        sax.endElementNs = &TreeLoad::onEndElement;
        return sax;
    }

private:
    static void onStartElement(void* userData, const xmlChar* localName, const xmlChar* prefix,
                               const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                               int attributeCount, int defaulted, const xmlChar** attributes) {
        Load& load = Load::of(userData);
        if (load.stopIfFailed() || depthExceeded(load))
            return;
        xmlSAX2StartElementNs(userData, localName, prefix, uri, namespaceCount, namespaces,
                              attributeCount, defaulted, attributes);
    }

    static void onEndElement(void* userData, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri) {
        Load& load = Load::of(userData);
        if (load.stopIfFailed())
            return;
        --load.depth;
        xmlSAX2EndElementNs(userData, localName, prefix, uri);
    }
};

bool preservesSpace(const xmlNode* element, bool inherited) {
    xmlChar* value = xmlGetNsProp(element, BAD_CAST "space", xmlNamespaceUri);
    if (value == nullptr)
        return inherited;
    const bool preserve = xmlStrEqual(value, BAD_CAST "preserve")
                              ? true
                              : (xmlStrEqual(value, BAD_CAST "default") ? false : inherited);
    xmlFree(value);
    return preserve;
}

// Drops the text nodes of white space only, walking the tree without recursion.
void dropBlankText(xmlNode* root) {
    std::vector<bool> preserve{preservesSpace(root, false)};
    xmlNode* node = root->children;
    xmlNode* parent = root;
    while (parent != nullptr) {
        if (node == nullptr) {
            // Done with this element's children: continue after it.
            preserve.pop_back();
            if (parent == root)
                break;
            node = parent->next;
            parent = parent->parent;
            continue;
        }
        xmlNode* const next = node->next;
        if (node->type == XML_TEXT_NODE && !preserve.back() && isBlank(view(node->content))) {
            xmlUnlinkNode(node);
            xmlFreeNode(node);
            node = next;
        } else if (node->type == XML_ELEMENT_NODE) {
            preserve.push_back(preservesSpace(node, preserve.back()));
            parent = node;
            node = node->children;
        } else {
            node = next;
        }
    }
}

} // namespace

std::uint64_t parseFile(const QString& path, ContentHandler& handler,
                        const ReadProgress& progress) {
    Stream load(path, handler);
    load.setProgress(&progress);
    if (load.open()) {
        xmlSAXHandler sax = Stream::handlers();
        load.run(sax);
    }
    load.throwIfFailed();
    return load.bytesRead();
}

Document loadDocument(const QString& path) {
    TreeLoad load(path);
    Document document;
    if (load.open()) {
        xmlSAXHandler sax = TreeLoad::handlers();
        const ParserContext ctxt = load.run(sax);
        document.reset(ctxt->myDoc);
        ctxt->myDoc = nullptr;
        if (!load.failed() && (!document || document->intSubset != nullptr))
            load.record(QStringLiteral("A document type declaration is not allowed"), 0);
    }
    load.throwIfFailed();
    dropBlankText(xmlDocGetRootElement(document.get()));
    return document;
}

} // namespace xml
