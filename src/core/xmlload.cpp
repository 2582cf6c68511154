#include "core/xmlload.h"

#include "core/apperror.h"
#include "platform/files.h"
#include "platform/xmlencodings.h"

#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

namespace xml {

namespace {

// No network, no entity substitution, no DTD loading or defaulting: those options are
// simply left off. Large text nodes are allowed; depth is bounded by the handlers below,
// since libxml2 lifts its own depth limit together with the size limits.
constexpr int parseOptions = XML_PARSE_NONET | XML_PARSE_HUGE;

// Past this much of one attribute value the push parser reads on (see Load::run). The fuzz
// build hands over at short values and reads in small pieces, so that the hand-over is
// fuzzed too.
#ifdef BRINDLEAF_FUZZ_HANDOVER
constexpr std::ptrdiff_t longValueBytes = 64;
constexpr int pullReadLimit = 64;
#else
constexpr std::ptrdiff_t longValueBytes = 1024 * 1024;
constexpr int pullReadLimit = std::numeric_limits<int>::max();
#endif

void initialiseLibrary() {
    static const bool initialised = [] {
        xmlInitParser();
        platform::registerXmlEncodings();
        return true;
    }();
    (void)initialised;
}

// Runs a system call again when a signal interrupted it, after telling the caller, who may
// stop the load by throwing.
template <typename Call>
auto retryInterrupted(Call&& call, const std::function<void()>& interrupted) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR)
            return result;
        interrupted();
    }
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

// libxml2 2.9 keeps each open element's prefix, line and number of namespace entries in a
// record of this shape, which its header leaves undeclared.
struct OpenElement {
    const xmlChar* prefix;
    const xmlChar* uri;
    int line;
    int namespaceEntries;
};

// A namespace name as libxml2 keeps it, written so that it reads back the same: a literal
// "&" is already held as "&#38;", and white space other than a space would read as a space.
void appendNamespaceName(std::string& out, std::string_view name) {
    for (const char c : name) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
}

// The document so far as another parser needs it to read on at `line`: an XML declaration
// and the open elements with the namespaces they declared, each starting on its own line.
// The line breaks sit inside the tags, where they are no text.
std::string standInFor(const xmlParserCtxt& ctxt, int line) {
    std::string text = "<?xml version=\"";
    text.append(ctxt.version ? view(ctxt.version) : std::string_view("1.0")).append("\"");
    int at = 1;
    const auto breakTo = [&](int target) {
        for (; at < target; ++at)
            text += '\n';
    };
    const auto* open = reinterpret_cast<const OpenElement*>(ctxt.pushTab);
    int entry = 0;
    for (int i = 0; i < ctxt.nameNr; ++i) {
        breakTo(open[i].line);
        text += i == 0 ? "?><" : "><";
        if (open[i].prefix)
            text.append(view(open[i].prefix)).append(":");
        text += view(ctxt.nameTab[i]);
        for (const int end = entry + open[i].namespaceEntries; entry < end; entry += 2) {
            text += " xmlns";
            if (ctxt.nsTab[entry])
                text.append(":").append(view(ctxt.nsTab[entry]));
            text += "=\"";
            appendNamespaceName(text, view(ctxt.nsTab[entry + 1]));
            text += '"';
        }
    }
    breakTo(line);
    text += ctxt.nameNr == 0 ? "?>" : ">";
    return text;
}

// The start tag that `cur` is in, in a buffer from `base`, begins at the last '<' before
// `cur`, which no attribute value may hold; its line is `line`, the line at `cur`, less the
// line breaks between. `cur` itself may be a '<' that ended the tag too early. Null when the
// buffer holds no '<' there.
std::pair<const xmlChar*, int> startTagBefore(const xmlChar* base, const xmlChar* cur, int line) {
    for (const xmlChar* at = cur; at > base;) {
        if (*--at == '<')
            return {at, line};
        line -= *at == '\n' ? 1 : 0;
    }
    return {nullptr, line};
}

} // namespace

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

std::string_view decodeAmpersands(std::string_view value, std::deque<std::string>& store) {
    if (value.find('&') == std::string_view::npos)
        return value;
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
    store.push_back(std::move(decoded));
    return store.back();
}

bool Load::open() {
    for (;;) {
        int error = 0;
        m_fd = platform::openForReading(m_path, m_waits, error);
        if (m_fd.valid())
            return true;
        if (error != EINTR) {
            recordFileError(error);
            return false;
        }
        reportProgress();
    }
}

ParserContext Load::run(xmlSAXHandler& sax, bool resumable) {
    initialiseLibrary();
    sax.initialized = XML_SAX2_MAGIC;
    sax.serror = &Load::contextError;
    sax.internalSubset = &Load::rejectDocumentType;
    sax.externalSubset = nullptr;
    m_resumable = resumable;
    const ThreadErrorHandler threadHandler(this, &Load::threadError);
    ParserContext ctxt(xmlCreateIOParserCtxt(&sax, nullptr, &Load::readInput, &Load::noClose, this,
                                             XML_CHAR_ENCODING_NONE));
    if (!ctxt)
        throw AppError(QStringLiteral("Out of memory"));
    m_ctxt = ctxt.get();
    ctxt->_private = this;
    xmlCtxtUseOptions(ctxt.get(), parseOptions);
    xmlParseDocument(ctxt.get());
    if (m_leaving)
        ctxt = readOnInPush(sax);
    if (!m_failed && !m_handlerError && !ctxt->wellFormed)
        record(QStringLiteral("The document is not well-formed"),
               ctxt->input ? ctxt->input->line : 0);
    // The parser saw the bytes up to a NUL as the whole file; an error it found before
    // the NUL stands, anything from there on is the NUL's.
    if (m_source.nulFound() && !m_handlerError &&
        (!m_failed || m_errorOffset < 0 || m_errorOffset >= m_source.nulOffset())) {
        m_failed = false;
        record(QStringLiteral("Char 0x0 out of allowed range"), m_source.nulLine());
    }
    m_ctxt = nullptr;
    if (m_handlerError)
        std::rethrow_exception(m_handlerError);
    return ctxt;
}

bool Load::leavePull() {
    const xmlParserCtxt& pull = *m_ctxt;
    const xmlParserInputPtr input = pull.input;
    // Only a long attribute value in a UTF-8 document, read as it was written.
    if (!m_resumable || m_leaving || pull.instate != XML_PARSER_ATTRIBUTE_VALUE ||
        pull.inputNr != 1 || !input->buf || input->buf->encoder ||
        input->cur - input->base < longValueBytes)
        return false;
    // This runs inside the parser's read, which may just have moved its buffer: the input's
    // own pointers are set again only afterwards.
    const xmlChar* const base = xmlBufContent(input->buf->buffer);
    const xmlChar* const cur = base + (input->cur - input->base);
    const xmlChar* const end = xmlBufEnd(input->buf->buffer);
    // The push parser too copies a value that holds references, line breaks or other than
    // ASCII; the latest of it tells, once for the file.
    constexpr std::ptrdiff_t sample = std::min<std::ptrdiff_t>(longValueBytes, 4096);
    const xmlChar* const recent = cur - std::min(cur - base, sample);
    if (!std::all_of(recent, cur, [](xmlChar c) { return c >= 0x20 && c < 0x80 && c != '&'; })) {
        m_resumable = false;
        return false;
    }
    const auto [tag, line] = startTagBefore(base, cur, input->line);
    if (!tag)
        return false;
    m_leaving = true;
    m_standIn = standInFor(pull, line);
    m_standInEnd = xmlByteConsumed(m_ctxt) - (cur - tag);
    m_held.assign(reinterpret_cast<const char*>(tag), static_cast<std::size_t>(end - tag));
    return true;
}

ParserContext Load::readOnInPush(xmlSAXHandler& sax) {
    ParserContext push(xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr));
    if (!push)
        throw AppError(QStringLiteral("Out of memory"));
    m_ctxt = push.get();
    push->_private = this;
    xmlCtxtUseOptions(push.get(), parseOptions);
    m_leaving = false;
    m_pushing = true;
    // The stand-in sets up the open elements and namespaces; its events are not the
    // document's.
    m_replaying = true;
    xmlParseChunk(m_ctxt, m_standIn.data(), static_cast<int>(m_standIn.size()), 0);
    m_replaying = false;
    m_offsetShift = m_standInEnd - static_cast<long>(m_standIn.size());
    m_standIn = {};
    feed(m_held);
    m_held = {};
    // What the pull parser had not taken of the latest chunk, then the rest of the file.
    feed(std::string_view(m_source.latest() + m_pos, m_end - m_pos));
    m_pos = m_end;
    for (std::string_view chunk; !(chunk = nextChunk()).empty();)
        feed(chunk);
    finish();
    return push;
}

bool Load::stopped() const {
    return m_failed || m_handlerError || m_ctxt->instate == XML_PARSER_EOF;
}

void Load::feed(std::string_view bytes) {
    if (bytes.empty() || stopped())
        return;
    // While the parser waits for the end of a tag, a comment or the like, it searches all it
    // holds of it again on every chunk. Past a megabyte, chunks go straight into its input and
    // it is asked to parse again only once a quarter as much again has come, which keeps its
    // searches linear in the size of the file and needs no second copy of the bytes.
    constexpr std::ptrdiff_t longPast = 1024 * 1024;
    const xmlParserInputPtr input = m_ctxt->input;
    const std::ptrdiff_t held = input->end - input->cur;
    if (held <= longPast) {
        m_unparsed = 0;
        xmlParseChunk(m_ctxt, bytes.data(), static_cast<int>(bytes.size()), 0);
        return;
    }
    xmlParserInputBufferPtr buffer = input->buf;
    const std::ptrdiff_t base = input->base - xmlBufContent(buffer->buffer);
    const std::ptrdiff_t cur = input->cur - input->base;
    const int pushed =
        xmlParserInputBufferPush(buffer, static_cast<int>(bytes.size()), bytes.data());
    input->base = xmlBufContent(buffer->buffer) + base;
    input->cur = input->base + cur;
    input->end = xmlBufEnd(buffer->buffer);
    if (pushed < 0) {
        fail(QStringLiteral("Out of memory"));
        return;
    }
    m_unparsed += bytes.size();
    // A line end split between CR and LF must not be read as two.
    if (m_unparsed >= static_cast<std::size_t>(held / 4) && bytes.back() != '\r')
        parseUnparsed();
}

void Load::parseUnparsed() {
    m_unparsed = 0;
    xmlParseChunk(m_ctxt, nullptr, 0, 0);
}

void Load::finish() {
    if (m_unparsed > 0 && !stopped())
        parseUnparsed();
    if (stopped())
        return;
    if (!reportUnfinished())
        xmlParseChunk(m_ctxt, nullptr, 0, 1);
}

bool Load::reportUnfinished() {
    const xmlParserCtxt& push = *m_ctxt;
    if (push.instate == XML_PARSER_EPILOG && push.input->cur == push.input->end)
        return false;
    // At the end of the input the push parser says no more than that the document is
    // unfinished. The pull parser says what was left open, as users have always been told.
    return rereadRest();
}

bool Load::rereadRest() {
    const xmlParserCtxt& push = *m_ctxt;
    const xmlParserInputPtr input = push.input;
    const std::string_view rest(reinterpret_cast<const char*>(input->cur),
                                static_cast<std::size_t>(input->end - input->cur));
    std::string text = standInFor(push, input->line);
    if (push.instate == XML_PARSER_EPILOG)
        text += "<r/>";
    else if (push.instate == XML_PARSER_CDATA_SECTION)
        text += "<![CDATA[";
    const long standInSize = static_cast<long>(text.size());
    text.append(rest);
    ParserContext pull(xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size())));
    if (!pull)
        return false;
    xmlSAXHandler& sax = *pull->sax;
    sax = xmlSAXHandler{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.serror = &Load::contextError;
    // The parser quotes a broken comment only when someone takes comments.
    sax.comment = [](void*, const xmlChar*) {};
    pull->_private = this;
    xmlCtxtUseOptions(pull.get(), parseOptions);
    m_rereading = pull.get();
    m_rereadBase = m_offsetShift + xmlByteConsumed(m_ctxt) - standInSize;
    xmlParseDocument(pull.get());
    m_rereading = nullptr;
    return m_failed;
}

void Load::throwIfFailed() const {
    if (m_failed)
        throw LoadError(m_reason, m_line,
                        m_fileError ? QString() : m_source.lineText(m_line, m_encoding),
                        m_fileError);
}

Load& Load::of(void* userData) {
    return *static_cast<Load*>(static_cast<xmlParserCtxtPtr>(userData)->_private);
}

void Load::record(const QString& reason, int line) {
    if (m_failed)
        return;
    m_failed = true;
    m_reason = reason;
    m_line = line;
    if (m_rereading)
        m_errorOffset = m_rereadBase + xmlByteConsumed(m_rereading);
    else
        m_errorOffset = m_ctxt ? m_offsetShift + xmlByteConsumed(m_ctxt) : -1;
    if (m_ctxt && m_ctxt->input && m_ctxt->input->buf && m_ctxt->input->buf->encoder)
        m_encoding = m_ctxt->input->buf->encoder->name;
    else if (m_ctxt && m_ctxt->encoding)
        m_encoding = reinterpret_cast<const char*>(m_ctxt->encoding);
}

bool Load::stopParser() {
    if (m_ctxt)
        xmlStopParser(m_ctxt);
    return true;
}

void Load::fail(const QString& reason) {
    record(reason, m_ctxt && m_ctxt->input ? m_ctxt->input->line : 0);
    if (m_ctxt) {
        m_ctxt->wellFormed = 0;
        xmlStopParser(m_ctxt);
    }
}

void Load::recordFileError(int error) {
    record(platform::errorText(error), 0);
    m_fileError = true;
}

void Load::reportProgress() {
    if (m_progress && *m_progress)
        (*m_progress)(m_bytesRead);
}

void Load::waitForInput() {
    // A pipe or a device may keep a read waiting for good; in between the progress report
    // is asked, so that a stop request ends the load. A pipe that no writer has opened yet
    // is waited for here too: it has neither data nor an end until one comes and goes.
    constexpr int reportEveryMs = 100;
    while (retryInterrupted([&] { return platform::waitForInput(m_fd.get(), reportEveryMs); },
                            [this] { reportProgress(); }) == 0)
        reportProgress();
}

void Load::recordError(const xmlError* error) {
    // Leaving the pull parser ends its input in the middle of a value, which it reports.
    if (error == nullptr || error->level < XML_ERR_ERROR || m_leaving)
        return;
    // A namespace name is taken as written: the document layer does not judge URIs.
    if (error->code == XML_WAR_NS_URI)
        return;
    // Where content goes on with "<!" and neither a comment nor a CDATA section, the push
    // parser gives up with an internal error; the pull parser names the broken tag.
    if (m_pushing && !m_rereading && error->code == XML_ERR_INTERNAL_ERROR &&
        m_ctxt->instate == XML_PARSER_CONTENT && rereadRest())
        return;
    QString reason = QString::fromUtf8(error->message ? error->message : "").trimmed();
    if (reason.isEmpty())
        reason = QStringLiteral("Error %1").arg(error->code);
    int line = error->line;
    if (line <= 0 && m_ctxt && m_ctxt->input)
        line = m_ctxt->input->line;
    // The push parser leaves out the line of a start tag it finds no end to, which the pull
    // parser gives. The same code stands for an end tag's missing '>', worded alike by both.
    if (m_pushing && !m_rereading && error->code == XML_ERR_GT_REQUIRED &&
        reason.startsWith(QStringLiteral("Couldn't find end of Start Tag"))) {
        const xmlParserInputPtr input = m_ctxt->input;
        reason += QStringLiteral(" line %1")
                      .arg(startTagBefore(input->base, input->cur, input->line).second);
    }
    record(reason, line);
}

void Load::threadError(void* load, xmlErrorPtr error) {
    static_cast<Load*>(load)->recordError(error);
}

void Load::rejectDocumentType(void* userData, const xmlChar*, const xmlChar*, const xmlChar*) {
    of(userData).fail(QStringLiteral("A document type declaration is not allowed"));
}

int Load::readInput(void* context, char* out, int length) {
    auto& self = *static_cast<Load*>(context);
    if (self.m_failed || self.m_handlerError || self.m_leaving || self.leavePull())
        return 0;
    if (self.m_pos == self.m_end) {
        // Not guarded(): stopping the parser from inside its own read leaves libxml2
        // with a freed input; a failed read ends the parse as well.
        const std::string_view chunk = self.nextChunk();
        if (self.m_failed || self.m_handlerError)
            return -1;
        self.m_pos = 0;
        self.m_end = chunk.size();
        if (chunk.empty())
            return 0;
    }
    const std::size_t count = std::min(
        static_cast<std::size_t>(std::clamp(length, 0, pullReadLimit)), self.m_end - self.m_pos);
    std::memcpy(out, self.m_source.latest() + self.m_pos, count);
    self.m_pos += count;
    return static_cast<int>(count);
}

std::string_view Load::nextChunk() {
    // Not read again once it ended: a terminal waits for more after its end of input.
    if (m_inputEnded || m_failed || m_handlerError || m_source.nulFound())
        return {};
    const std::span<char> buffer = m_source.readBuffer();
    std::int64_t n = -1;
    try {
        if (m_waits)
            waitForInput();
        n = retryInterrupted(
            [&] { return platform::readSome(m_fd.get(), buffer.data(), buffer.size()); },
            [this] { reportProgress(); });
    } catch (...) {
        m_handlerError = std::current_exception();
        return {};
    }
    if (n < 0) {
        recordFileError(errno);
        return {};
    }
    m_inputEnded = n == 0;
    m_bytesRead += static_cast<std::uint64_t>(n);
    const std::size_t usable = m_source.take(static_cast<std::size_t>(n));
    if (n > 0) {
        try {
            reportProgress();
        } catch (...) {
            m_handlerError = std::current_exception();
            return {};
        }
    }
    return {m_source.latest(), usable};
}

} // namespace xml
