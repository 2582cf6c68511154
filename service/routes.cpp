#include "service/routes.h"

#include "service/formdecode.h"
#include "service/pages.h"
#include "service/store.h"

#include <boost/beast/http/field.hpp>
#include <boost/beast/http/status.hpp>
#include <boost/beast/http/verb.hpp>

#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <iostream>

namespace service {
namespace {

namespace http = boost::beast::http;

constexpr std::string_view checkPath = "/php/check2.php";
constexpr std::string_view feedbackPath = "/php/feedback.php";
// The program waits 3 s for the feedback reply before it tries the other scheme; an answer
// well inside that keeps a stored feedback from being sent again or reported as failed.
constexpr std::chrono::milliseconds feedbackAnswerWithin{1500};
// Nobody waits for a check's row, so it may wait for a locked database much longer.
constexpr std::chrono::seconds checkRowWait{30};

bool isFormBody(const Request& request) {
    const auto it = request.find(http::field::content_type);
    if (it == request.end())
        return true; // a bare body is read as a form too
    std::string type(it->value().substr(0, it->value().find(';')));
    type.erase(std::remove(type.begin(), type.end(), ' '), type.end());
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return type == "application/x-www-form-urlencoded";
}

bool isBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c <= 0x20; });
}

Response methodNotAllowed(const char* allowed) {
    Response response = textResponse(http::status::method_not_allowed, "Method not allowed\n");
    response.set(http::field::allow, allowed);
    return response;
}

// Replies of the update check that the program must treat as invalid begin with "ERROR".
Response checkError(http::status status, const std::string& reason) {
    return textResponse(status, "ERROR: " + reason + "\r\n");
}

Response notStored() {
    Response response = textResponse(http::status::service_unavailable,
                                     "Feedback could not be stored, please try again later\n");
    response.set(http::field::retry_after, "5");
    return response;
}

// A value for the reply's <check> line that tells nothing about the service: random, and
// kept with the row, so that a reply a user quotes can be found.
std::string randomReference() {
    std::array<unsigned char, 8> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1)
        throw std::runtime_error("no random bytes for the check reference");
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : bytes) {
        text += hex[byte >> 4];
        text += hex[byte & 0xF];
    }
    return text;
}

// A field's text as stored: NUL characters are dropped, since they cut the text short in
// most tools that read the database.
std::optional<std::string> textField(const FormFields& fields, std::string_view name) {
    std::optional<std::string> text = fields.value(name);
    if (text)
        std::erase(*text, '\0');
    return text;
}

Response pageReply(const Request& request, std::string_view path) {
    const bool read = request.method() == http::verb::get || request.method() == http::verb::head;
    std::optional<std::string> page = pageAt(path);
    if (!page && !path.ends_with('/') && pageAt(std::string(path) + "/")) {
        Response response = textResponse(http::status::moved_permanently, "");
        response.set(http::field::location, std::string(path) + "/");
        return response;
    }
    if (!page)
        return textResponse(http::status::not_found, errorPage(404, "Not Found"),
                            "text/html; charset=utf-8");
    if (!read)
        return methodNotAllowed("GET, HEAD");
    Response response =
        textResponse(http::status::ok, std::move(*page), "text/html; charset=utf-8");
    response.set(http::field::cache_control, "max-age=300");
    if (request.method() == http::verb::head) {
        const auto length = response.body().size();
        response.body().clear();
        response.content_length(length);
    }
    return response;
}

} // namespace

Response textResponse(http::status status, std::string body, const char* contentType) {
    Response response{status, 11};
    response.set(http::field::server, "brindleaf-service");
    response.set(http::field::content_type, contentType);
    response.set(http::field::cache_control, "no-store");
    response.set("X-Content-Type-Options", "nosniff");
    response.body() = std::move(body);
    response.prepare_payload();
    return response;
}

void Routes::handle(const Request& request, const Client& client, Respond respond) {
    const std::string_view target = request.target();
    const std::string_view path = target.substr(0, target.find('?'));
    if (path != checkPath && path != feedbackPath)
        return respond(pageReply(request, path));

    const bool isCheck = path == checkPath;
    if (request.method() != http::verb::post)
        return respond(methodNotAllowed("POST"));
    if (!isFormBody(request))
        return respond(textResponse(http::status::unsupported_media_type,
                                    "Send the fields as application/x-www-form-urlencoded\n"));
    if (const std::chrono::seconds wait = limiter_.admit(client.address, request.body().size());
        wait.count() > 0) {
        Response response =
            isCheck ? checkError(http::status::too_many_requests, "too many requests")
                    : textResponse(http::status::too_many_requests,
                                   "Too many posts from your address, please try again later\n");
        response.set(http::field::retry_after, std::to_string(wait.count()));
        return respond(std::move(response));
    }
    std::optional<Response> failure;
    try {
        if (isCheck)
            return respond(check(request, client));
        return feedback(request, client, respond);
    } catch (const std::exception& error) {
        std::cerr << "brindleaf-service: " << error.what() << std::endl;
        failure = isCheck ? checkError(http::status::service_unavailable, "check not recorded")
                          : notStored();
    }
    respond(std::move(*failure));
}

Response Routes::check(const Request& request, const Client& client) {
    const FormFields fields = decodeForm(request.body());
    CheckRecord record;
    record.scheme = client.secure ? "https" : "http";
    record.cmd = textField(fields, "cmd");
    record.appname = textField(fields, "appname");
    record.version = textField(fields, "version");
    record.os = textField(fields, "os");
    record.local = textField(fields, "local");
    record.guid = textField(fields, "guid");
    record.howmany = textField(fields, "howmany");
    if (record.cmd != "check")
        return checkError(http::status::bad_request, "cmd=check expected");
    if (!record.version)
        return checkError(http::status::bad_request, "version missing");
    record.offeredVersion = release_.version;
    record.result = *record.version != release_.version;
    record.reference = randomReference();
    const std::string reference = record.reference;
    const bool result = record.result;
    // The reply does not wait for the row: a check is answered at once even while the
    // database is locked.
    store_.recordCheck(std::move(record), Store::Clock::now() + checkRowWait);

    // Eight lines: the program reads the version from line 1, the address from line 2 and
    // the result from line 4; the rest is for people reading the reply.
    const std::string reply =
        "<version>" + release_.version + "</version>\r\n" + "<url>" + release_.url + "</url>\r\n" +
        "<message></message>\r\n" + "<result>" + (result ? "1" : "0") + "</result>\r\n" +
        "<check>" + reference + "</check>\r\n" + "<scheme>" + (client.secure ? "https" : "http") +
        "</scheme>\r\n" + "<status>OK</status>\r\n" + "<service>brindleaf-service</service>\r\n";
    return textResponse(http::status::ok, reply);
}

void Routes::feedback(const Request& request, const Client& client, const Respond& respond) {
    const FormFields fields = decodeForm(request.body());
    const std::optional<std::string> cmd = textField(fields, "cmd");
    const std::optional<std::string> text = textField(fields, "feedback");
    if (cmd != "feedback")
        return respond(
            textResponse(http::status::bad_request, "Bad request: cmd=feedback expected\n"));
    if (!text || isBlank(*text))
        return respond(
            textResponse(http::status::bad_request, "Bad request: feedback text missing\n"));
    FeedbackRecord record;
    record.scheme = client.secure ? "https" : "http";
    record.cmd = *cmd;
    record.appname = textField(fields, "appname");
    record.version = textField(fields, "version");
    record.feedback = *text;
    record.email = textField(fields, "email");
    store_.recordFeedback(std::move(record), Store::Clock::now() + feedbackAnswerWithin,
                          [respond](bool stored) {
                              respond(stored ? textResponse(http::status::ok, "OK") : notStored());
                          });
}

} // namespace service
