#pragma once

#include "core/apperror.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

// The XML document layer: the one place where the parse settings live and take effect.
//
// Every load runs under the same rules:
// - nothing is fetched: no network, no DTD loading, no entity substitution;
// - a document type declaration fails the load at the declaration, before any of it is used;
// - text nodes of white space only are dropped unless xml:space="preserve" applies;
// - text nodes may be very large, but elements nest at most maxDepth levels;
// - a NUL character anywhere is an error on its line;
// - namespace names are taken as written, like attribute values, whether or not they are
//   valid URIs;
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

// Receives a document as it is read. Text of one text node may arrive in several pieces.
class ContentHandler {
public:
    virtual ~ContentHandler() = default;
    virtual void startDocument(const Declaration& declaration) = 0;
    virtual void startElement(const Element& element) = 0;
    virtual void endElement() = 0;
    virtual void text(std::string_view piece) = 0;
    // A text node that the rules may drop starts as white space, which is not held in memory
    // however long it is: its pieces arrive here first. tentativeTextEnded then tells whether
    // they belong to the document (the node holds more; the rest follows through text()) or
    // are dropped (the node was white space only).
    virtual void tentativeText(std::string_view piece) = 0;
    virtual void tentativeTextEnded(bool kept) = 0;
    // A CDATA section may arrive in several pieces: the first and the last say where it
    // starts and ends (one piece may be both).
    virtual void cdata(std::string_view piece, bool first, bool last) = 0;
    virtual void comment(std::string_view content) = 0;
    virtual void processingInstruction(std::string_view target, std::string_view data) = 0;
};

// Called while a file is read with the number of bytes read from it so far, and again with
// the same number whenever a signal interrupted a read or an open that waits (a pipe with no
// writer yet), so that a caller may stop the load by throwing.
using ReadProgress = std::function<void(std::uint64_t bytesRead)>;

// A failed load. message() is the document layer's error text: reason, CR LF, "Line: N",
// CR LF, the first 40 characters of that line.
class LoadError : public AppError {
public:
    LoadError(const QString& reason, int line, const QString& lineText, bool fileError);
    const QString& reason() const { return m_reason; }
    int line() const { return m_line; }
    const QString& lineText() const { return m_lineText; }
    // The file could not be opened or read (missing, a folder, unreadable); not its content.
    bool isFileError() const { return m_fileError; }

private:
    QString m_reason;
    int m_line;
    QString m_lineText;
    bool m_fileError;
};

// Streams the file through the handler. Throws LoadError when the load fails; the handler
// may have seen part of the document by then. Exceptions thrown by the handler or the
// progress report stop the parse and pass through. Returns the number of bytes read.
std::uint64_t parseFile(const QString& path, ContentHandler& handler,
                        const ReadProgress& progress = {});

// The load error message: reason, CR LF, "Line: N", CR LF, the first 40 characters of the line.
QString loadErrorMessage(const QString& reason, int line, const QString& lineText);

} // namespace xml
