#include "core/xmlload.h"

#include "core/apperror.h"
#include "platform/files.h"
#include "platform/xmlencodings.h"

#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace xml {

namespace {

// No network, no entity substitution, no DTD loading or defaulting: those options are
// simply left off. Large text nodes are allowed; depth is bounded by the handlers below,
// since libxml2 lifts its own depth limit together with the size limits.
constexpr int parseOptions = XML_PARSE_NONET | XML_PARSE_HUGE;

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

ParserContext Load::run(xmlSAXHandler& sax) {
    initialiseLibrary();
    sax.initialized = XML_SAX2_MAGIC;
    sax.serror = &Load::contextError;
    sax.internalSubset = &Load::rejectDocumentType;
    sax.externalSubset = nullptr;
    ParserContext ctxt(xmlCreateIOParserCtxt(&sax, nullptr, &Load::readInput, &Load::noClose, this,
                                             XML_CHAR_ENCODING_NONE));
    if (!ctxt)
        throw AppError(QStringLiteral("Out of memory"));
    m_ctxt = ctxt.get();
    ctxt->_private = this;
    xmlCtxtUseOptions(ctxt.get(), parseOptions);
    {
        const ThreadErrorHandler threadHandler(this, &Load::threadError);
        xmlParseDocument(ctxt.get());
    }
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
    m_errorOffset = m_ctxt ? xmlByteConsumed(m_ctxt) : -1;
    if (m_ctxt && m_ctxt->input && m_ctxt->input->buf && m_ctxt->input->buf->encoder)
        m_encoding = m_ctxt->input->buf->encoder->name;
    else if (m_ctxt && m_ctxt->encoding)
        m_encoding = reinterpret_cast<const char*>(m_ctxt->encoding);
}

bool Load::stopIfFailed() {
    if (!m_failed && !m_handlerError)
        return false;
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
    if (error == nullptr || error->level < XML_ERR_ERROR)
        return;
    // A namespace name is taken as written: the document layer does not judge URIs.
    if (error->code == XML_WAR_NS_URI)
        return;
    QString reason = QString::fromUtf8(error->message ? error->message : "").trimmed();
    if (reason.isEmpty())
        reason = QStringLiteral("Error %1").arg(error->code);
    int line = error->line;
    if (line <= 0 && m_ctxt && m_ctxt->input)
        line = m_ctxt->input->line;
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
    if (self.m_failed || self.m_handlerError)
        return 0;
    if (self.m_pos == self.m_end) {
        if (self.m_source.nulFound())
            return 0;
        const std::span<char> buffer = self.m_source.readBuffer();
        std::int64_t n = -1;
        // Not guarded(): stopping the parser from inside its own read leaves libxml2
        // with a freed input; a failed read ends the parse as well.
        try {
            if (self.m_waits)
                self.waitForInput();
            n = retryInterrupted(
                [&] { return platform::readSome(self.m_fd.get(), buffer.data(), buffer.size()); },
                [&self] { self.reportProgress(); });
        } catch (...) {
            self.m_handlerError = std::current_exception();
            return -1;
        }
        if (n < 0) {
            self.recordFileError(errno);
            return -1;
        }
        self.m_bytesRead += static_cast<std::uint64_t>(n);
        self.m_pos = 0;
        self.m_end = self.m_source.take(static_cast<std::size_t>(n));
        if (n > 0) {
            try {
                self.reportProgress();
            } catch (...) {
                self.m_handlerError = std::current_exception();
                return -1;
            }
        }
        if (self.m_end == 0)
            return 0;
    }
    const std::size_t count =
        std::min(static_cast<std::size_t>(std::max(length, 0)), self.m_end - self.m_pos);
    std::memcpy(out, self.m_source.latest() + self.m_pos, count);
    self.m_pos += count;
    return static_cast<int>(count);
}

} // namespace xml
