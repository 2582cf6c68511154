#include "core/formpost.h"

#include "core/apperror.h"
#include "core/formencoding.h"
#include "core/maker.h"
#include "core/replydecoding.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Both callers expect a few lines of text; anything near this is not their reply.
constexpr qsizetype maxReplyBytes = 1 << 20;
constexpr long maxRedirections = 5;

struct EasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiCleanup {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;
using HeaderList = std::unique_ptr<curl_slist, SlistFree>;

// Keeps an easy handle in a multi handle for one transfer.
class Attachment {
public:
    Attachment(CURLM* multi, CURL* easy)
        : m_multi(multi), m_easy(easy), m_added(curl_multi_add_handle(multi, easy) == CURLM_OK) {}
    ~Attachment() {
        if (m_added)
            curl_multi_remove_handle(m_multi, m_easy);
    }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;
    bool added() const { return m_added; }

private:
    CURLM* m_multi;
    CURL* m_easy;
    bool m_added;
};

// What the callbacks collect during one transfer.
struct Received {
    QByteArray body;
    QByteArray statusLine; // of the last response
    curl_off_t headerBytes = 0;
    bool overCap = false;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* received = static_cast<Received*>(user);
    const size_t bytes = size * count;
    if (received->body.size() + qsizetype(bytes) > maxReplyBytes) {
        received->overCap = true;
        return 0; // anything but bytes stops the transfer
    }
    received->body.append(data, qsizetype(bytes));
    return bytes;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* received = static_cast<Received*>(user);
    const size_t bytes = size * count;
    received->headerBytes += curl_off_t(bytes);
    const QByteArray line(data, qsizetype(bytes));
    // A new response (after a redirection or an interim one) replaces the last.
    if (line.startsWith("HTTP/")) {
        received->statusLine = line.trimmed();
        received->body.clear();
    }
    return bytes;
}

// The step a transfer had reached when its time ran out, for the error message.
QString stalledStep(CURL* easy, const Received& received, bool secure) {
    curl_off_t connected = 0;
    curl_off_t handshaken = 0;
    curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connected);
    curl_easy_getinfo(easy, CURLINFO_APPCONNECT_TIME_T, &handshaken);
    if (connected == 0)
        return QStringLiteral("connecting");
    if (secure && handshaken == 0)
        return QStringLiteral("during the TLS handshake");
    if (received.headerBytes == 0)
        return QStringLiteral("waiting for the reply");
    return QStringLiteral("receiving the reply");
}

// The outcome of one transfer, read out before its handles are released.
struct Outcome {
    QString failure; // empty on success
    QByteArray body;
    QByteArray contentType;
};

Outcome failed(QString message) {
    return {std::move(message), {}, {}};
}

// Fills the options of the path; false when libcurl refuses one.
bool configure(CURL* easy, const QByteArray& url, bool secure, const QByteArray& body,
               curl_slist* headers, Received& received, char* errorText, int timeoutMs) {
    CURLcode rc = CURLE_OK;
    const auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK)
            rc = curl_easy_setopt(easy, option, value);
    };
    set(CURLOPT_URL, url.constData());
    set(CURLOPT_NOSIGNAL, 1L); // several threads may post at once
    set(CURLOPT_ERRORBUFFER, errorText);
    set(CURLOPT_POST, 1L);
    set(CURLOPT_POSTFIELDS, body.constData());
    set(CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    set(CURLOPT_HTTPHEADER, headers);
    set(CURLOPT_WRITEFUNCTION, onBody);
    set(CURLOPT_WRITEDATA, &received);
    set(CURLOPT_HEADERFUNCTION, onHeader);
    set(CURLOPT_HEADERDATA, &received);
    set(CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maxReplyBytes));
    // Name resolution, connecting and the TLS handshake; every later wait is watched in
    // the transfer loop.
    set(CURLOPT_CONNECTTIMEOUT_MS, long(timeoutMs));
    if (secure) {
        set(CURLOPT_PROTOCOLS_STR, "https");
        // Never down to plain HTTP by a redirection.
        set(CURLOPT_REDIR_PROTOCOLS_STR, "https");
        set(CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        set(CURLOPT_FOLLOWLOCATION, 1L);
        set(CURLOPT_MAXREDIRS, maxRedirections);
        // libcurl reads the proxy variables itself but not these, which OpenSSL-based
        // tools honour; without them the system's store applies.
        const QByteArray caFile = qgetenv("SSL_CERT_FILE");
        const QByteArray caDir = qgetenv("SSL_CERT_DIR");
        if (!caFile.isEmpty())
            set(CURLOPT_CAINFO, caFile.constData());
        if (!caDir.isEmpty())
            set(CURLOPT_CAPATH, caDir.constData());
    } else {
        set(CURLOPT_PROTOCOLS_STR, "http");
        set(CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
        set(CURLOPT_FOLLOWLOCATION, 0L);
        set(CURLOPT_NOPROXY, "*");
    }
    return rc == CURLE_OK;
}

HeaderList headersFor(bool secure) {
    const char* const secureHeaders[] = {
        "Content-Type: application/x-www-form-urlencoded; charset=utf-8",
        "Connection: close",
        "Accept:", // an empty value removes libcurl's own
        "Expect:",
    };
    const char* const plainHeaders[] = {
        "Content-Type: application/x-www-form-urlencoded",
        "Connection: keep-alive",
        "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8",
        "Expect:",
    };
    HeaderList list;
    for (const char* header : secure ? secureHeaders : plainHeaders) {
        curl_slist* const grown = curl_slist_append(list.get(), header);
        if (grown == nullptr)
            return nullptr;
        (void)list.release(); // grown is the same list, one longer
        list.reset(grown);
    }
    return list;
}

// One request from start to end. The handles live only in here, so they are released
// before the caller turns a failure into an error.
Outcome transfer(const QByteArray& url, bool secure, const QByteArray& body, int timeoutMs,
                 const std::stop_token& stop) {
    // Declared before the handles that point to them, so they outlive those handles.
    Received received;
    char errorText[CURL_ERROR_SIZE] = {};
    const HeaderList headers = headersFor(secure);
    const EasyHandle easy(curl_easy_init());
    const MultiHandle multi(curl_multi_init());
    if (!easy || !multi || !headers)
        return failed(QStringLiteral("The network library could not be started."));
    if (!configure(easy.get(), url, secure, body, headers.get(), received, errorText, timeoutMs))
        return failed(QStringLiteral("The network library refused the request settings."));

    // The easy handle is driven through a multi handle so that the whole transfer, however
    // the server trickles, ends within the timeout to the millisecond (libcurl's own
    // low-speed limit counts whole seconds and only per wait).
    const Attachment attachment(multi.get(), easy.get());
    if (!attachment.added())
        return failed(QStringLiteral("The network library could not be started."));
    // A stop request wakes the wait below at once, from whichever thread makes it.
    const std::stop_callback wakeOnStop(stop, [&multi] { curl_multi_wakeup(multi.get()); });
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    CURLcode result = CURLE_OK;
    for (bool done = false; !done;) {
        if (stop.stop_requested())
            return failed(QStringLiteral("The request was stopped."));
        int running = 0;
        const CURLMcode multiResult = curl_multi_perform(multi.get(), &running);
        if (multiResult != CURLM_OK)
            return failed(QString::fromUtf8(curl_multi_strerror(multiResult)));
        int queued = 0;
        while (const CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                done = true;
            }
        }
        if (done)
            break;
        const auto now = Clock::now();
        if (now >= deadline)
            return failed(QStringLiteral("The server did not answer within %1 ms (%2).")
                              .arg(timeoutMs)
                              .arg(stalledStep(easy.get(), received, secure)));
        const auto wait = std::chrono::ceil<milliseconds>(deadline - now);
        curl_multi_poll(multi.get(), nullptr, 0, int(std::max<milliseconds::rep>(wait.count(), 1)),
                        nullptr);
    }

    if (received.overCap || result == CURLE_FILESIZE_EXCEEDED)
        return failed(QStringLiteral("The reply is larger than %1 bytes.").arg(maxReplyBytes));
    if (result != CURLE_OK)
        return failed(errorText[0] != '\0' ? QString::fromUtf8(errorText).trimmed()
                                           : QString::fromUtf8(curl_easy_strerror(result)));
    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    if (!secure && (status < 200 || status > 299))
        return failed(received.statusLine.isEmpty()
                          ? QStringLiteral("The server answered with status %1.").arg(status)
                          : QString::fromLatin1(received.statusLine));
    const char* contentType = nullptr;
    curl_easy_getinfo(easy.get(), CURLINFO_CONTENT_TYPE, &contentType);
    return {QString(), std::move(received.body), QByteArray(contentType)};
}

// Only ASCII letters are lowered, so the scheme test does not depend on the locale.
bool isSecureUrl(const QString& url) {
    return url.left(8).toLatin1().toLower() == "https://";
}

QString replyText(const Outcome& outcome, bool secure) {
    QByteArray charset = replydecoding::charsetOfContentType(outcome.contentType);
    if (secure) {
        if (charset.isEmpty())
            return *replydecoding::decode(outcome.body, "UTF-8");
        const std::optional<QString> text = replydecoding::decode(outcome.body, charset);
        if (!text)
            throw AppError(QStringLiteral("The reply is in an unknown character set: %1")
                               .arg(QString::fromLatin1(charset)));
        return *text;
    }
    if (charset.isEmpty())
        charset = replydecoding::charsetInDocument(outcome.body);
    const std::optional<QString> text =
        charset.isEmpty() ? std::nullopt : replydecoding::decode(outcome.body, charset);
    return text ? *text : QString::fromLatin1(outcome.body);
}

} // namespace

QString formPost(const QString& url, const QStringList& fields, int timeoutMs,
                 std::stop_token stop) {
    // Once per process, before any handle exists; a function-local static is
    // initialised exactly once even when two threads arrive together.
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (initialised != CURLE_OK)
        throw AppError(QString::fromUtf8(curl_easy_strerror(initialised)));

    const bool secure = isSecureUrl(url);
    const Outcome outcome = transfer(url.toUtf8(), secure, formencoding::encodeFields(fields),
                                     std::max(timeoutMs, 1), stop);
    if (!outcome.failure.isEmpty())
        throw AppError(outcome.failure);
    return replyText(outcome, secure);
}

QString postToMakerService(const QString& path, const QStringList& fields, int timeoutMs,
                           const std::function<void(const AppError&)>& onSecureFailure,
                           std::stop_token stop) {
    try {
        return formPost(maker::secureServiceUrl(path), fields, timeoutMs, stop);
    } catch (const AppError& secureError) {
        if (stop.stop_requested())
            throw;
        if (onSecureFailure)
            onSecureFailure(secureError);
    }
    return formPost(maker::plainServiceUrl(path), fields, timeoutMs, stop);
}
