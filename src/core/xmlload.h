#pragma once

#include "core/sourcelines.h"
#include "core/xmldocument.h"
#include "platform/filedescriptor.h"

#include <libxml/parser.h>

#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

// The load under the document layer's rules, shared by the streamed parse and by the tree
// loader of the tests: the file read in large chunks and kept for the error's quote, the
// parse settings, the nesting depth and the first error. The SAX side is the caller's.
namespace xml {

struct ParserContextDeleter {
    void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};
using ParserContext = std::unique_ptr<xmlParserCtxt, ParserContextDeleter>;

class Load {
public:
    explicit Load(const QString& path) : m_path(path) {}

    // Opens the file; an error here is recorded like a parse error without a line.
    bool open();

    // Runs the parse with the given SAX handlers; the handlers find this object in
    // ctxt->_private and the context is passed to them as their user data.
    //
    // libxml2's pull parser keeps a whole start tag in its input and copies a long attribute
    // value once more. When `resumable`, a plain ASCII value past a megabyte makes the load
    // read on from that tag with the push parser, which hands the value over from its input;
    // the handlers then see the rest of the document from another context. The push parser
    // is the slower of the two, so it takes over only there.
    ParserContext run(xmlSAXHandler& sax, bool resumable = false);

    void throwIfFailed() const;

    bool failed() const { return m_failed; }
    std::uint64_t bytesRead() const { return m_bytesRead; }
    void setProgress(const ReadProgress* progress) { m_progress = progress; }

    static Load& of(void* userData);
    xmlParserCtxtPtr context() const { return m_ctxt; }

    // The first error wins; the parser is stopped from the next SAX callback, where
    // stopping is safe, rather than from inside the error report.
    void record(const QString& reason, int line);

    // True when a SAX event is not the document's to handle: the load has failed (the parser
    // is stopped then), the pull parser reads on in what it holds after it was left (the push
    // parser reads that again), or the push parser replays what came before.
    bool skipEvent() {
        if (m_leaving || m_replaying)
            return true;
        return (m_failed || m_handlerError) && stopParser();
    }

    void fail(const QString& reason);

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
    void recordFileError(int error);
    bool stopParser();

    void reportProgress();
    // Returns once the input has data, an end or an error to read.
    void waitForInput();

    void recordError(const xmlError* error);

    static void contextError(void* userData, xmlErrorPtr error) { of(userData).recordError(error); }
    static void threadError(void* load, xmlErrorPtr error);

    static void rejectDocumentType(void* userData, const xmlChar*, const xmlChar*, const xmlChar*);

    // Serves the pull parser from the latest chunk; a NUL ends what the parser sees.
    static int readInput(void* context, char* out, int length);
    static int noClose(void*) { return 0; }
    // Called from the pull parser's read: true, with what the push parser needs kept, when
    // it is time to read on with the push parser (see run()).
    bool leavePull();
    ParserContext readOnInPush(xmlSAXHandler& sax);

    // Reads the next chunk of the file: empty at its end, at a NUL (which ends what the
    // parser sees) and when the load failed.
    std::string_view nextChunk();
    void feed(std::string_view bytes);
    void parseUnparsed();
    // Tells the parser that the input ended.
    void finish();
    // True when the document was left unfinished; the reason is recorded.
    bool reportUnfinished();
    // Reads what the push parser still holds once more with the pull parser, behind a
    // stand-in for what came before; true when that recorded a failure.
    bool rereadRest();
    bool stopped() const;

    QString m_path;
    platform::FileDescriptor m_fd;
    bool m_waits = false; // a pipe or a device, whose read may wait
    SourceLines m_source;
    std::size_t m_pos = 0; // what the pull parser has taken of the latest chunk
    std::size_t m_end = 0;
    bool m_inputEnded = false;
    bool m_resumable = false;
    bool m_leaving = false;     // the pull parser is being left for the push parser
    bool m_pushing = false;     // the push parser has taken over
    bool m_replaying = false;   // the push parser reads the stand-in for what came before
    std::string m_standIn;      // the open elements, up to the tag being read
    long m_standInEnd = 0;      // the file's offset of that tag
    std::string m_held;         // the tag so far, from the pull parser's input
    long m_offsetShift = 0;     // from the push parser's byte count to the file's offset
    std::size_t m_unparsed = 0; // bytes put into the push parser's input that it has not seen
    xmlParserCtxtPtr m_rereading = nullptr; // reads the rest again, see rereadRest()
    long m_rereadBase = 0;                  // the file's offset of its first byte
    std::uint64_t m_bytesRead = 0;
    const ReadProgress* m_progress = nullptr;
    xmlParserCtxtPtr m_ctxt = nullptr;
    bool m_failed = false;
    bool m_fileError = false;
    QString m_reason;
    int m_line = 0;
    long m_errorOffset = -1;
    std::string m_encoding;
    std::exception_ptr m_handlerError;
};

std::string_view view(const xmlChar* text);
bool isBlank(std::string_view text);
// Counts an element in; true, with the load failed, when it nests too deep.
bool depthExceeded(Load& load);

// libxml2 without entity substitution hands over a literal "&" in an attribute value or a
// namespace name as "&#38;" (its tree builder decodes that again); no other reference can
// remain. Returns the value itself when there is nothing to decode, else a decoded copy kept
// in `store`.
std::string_view decodeAmpersands(std::string_view value, std::deque<std::string>& store);

} // namespace xml
