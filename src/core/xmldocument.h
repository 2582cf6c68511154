#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

struct _xmlDoc;

// The XML document layer: the one place where the parse settings live and take effect.
//
// Every load, streamed or into a tree, runs under the same rules:
// - nothing is fetched: no network, no DTD loading, no entity substitution;
// - a document type declaration fails the load at the declaration, before any of it is used;
// - text nodes of white space only are dropped unless xml:space="preserve" applies;
// - text nodes may be very large, but elements nest at most maxDepth levels;
// - any error the parser reports fails the load with the first error's message:
//   reason, CR LF, "Line: N", CR LF, the first 40 characters of that source line.
// Errors are thrown as AppError.
namespace xml {

inline constexpr int maxDepth = 256;

// Strings handed to a ContentHandler are UTF-8 and live only for the call.
struct NamespaceDeclaration {
    std::string_view prefix; // empty for the default namespace
    std::string_view uri;    // empty for xmlns=""
};

struct Attribute {
    std::string_view localName;
    std::string_view prefix; // empty when unprefixed
    std::string_view uri;    // empty when in no namespace
    std::string_view value;
};

struct Element {
    std::string_view localName;
    std::string_view prefix;                          // empty when unprefixed
    std::string_view uri;                             // empty when in no namespace
    std::span<const NamespaceDeclaration> namespaces; // declared on this element, in order
    std::span<const Attribute> attributes;            // in order, without the declarations
};

struct Declaration {
    std::string_view version;
    int standalone = -1; // -1 absent, 0 no, 1 yes
};

// Receives a document as it is read. Text of one text node may arrive in several pieces;
// white space that the rules drop never arrives.
class ContentHandler {
public:
    virtual ~ContentHandler() = default;
    virtual void startDocument(const Declaration& declaration) = 0;
    virtual void startElement(const Element& element) = 0;
    virtual void endElement() = 0;
    virtual void text(std::string_view piece) = 0;
    virtual void cdata(std::string_view content) = 0;
    virtual void comment(std::string_view content) = 0;
    virtual void processingInstruction(std::string_view target, std::string_view data) = 0;
};

// Called while a file is read with the number of bytes read from it so far.
using ReadProgress = std::function<void(std::uint64_t bytesRead)>;

// Streams the file through the handler. Throws AppError when the load fails; the handler
// may have seen part of the document by then. Exceptions thrown by the handler stop the
// parse and pass through. Returns the number of bytes read.
std::uint64_t parseFile(const QString& path, ContentHandler& handler,
                        const ReadProgress& progress = {});

struct DocumentDeleter {
    void operator()(_xmlDoc* doc) const;
};
using Document = std::unique_ptr<_xmlDoc, DocumentDeleter>;

// Loads the file into a libxml2 tree under the same rules as parseFile.
Document loadDocument(const QString& path);

// The load error message: reason, CR LF, "Line: N", CR LF, the first 40 characters of the line.
QString loadErrorMessage(const QString& reason, int line, const QString& lineText);

} // namespace xml
