#include "service/routes.h"

#include "service/formdecode.h"
#include "service/pages.h"
#include "service/store.h"

#include <boost/beast/http/field.hpp>
#include <boost/beast/http/status.hpp>
#include <boost/beast/http/verb.hpp>

#include <algorithm>
#include <cctype>
#include <iostream>

namespace service {
namespace {

namespace http = boost::beast::http;

constexpr std::string_view checkPath = "/php/check2.php";
constexpr std::string_view feedbackPath = "/php/feedback.php";

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

Response Routes::handle(const Request& request, bool secure) const {
    const std::string_view target = request.target();
    const std::string_view path = target.substr(0, target.find('?'));
    const bool post = request.method() == http::verb::post;
    const bool read = request.method() == http::verb::get || request.method() == http::verb::head;

    if (path == checkPath || path == feedbackPath) {
        if (!post)
            return methodNotAllowed("POST");
        if (!isFormBody(request))
            return textResponse(http::status::unsupported_media_type,
                                "Send the fields as application/x-www-form-urlencoded\n");
        try {
            return path == checkPath ? check(request, secure) : feedback(request, secure);
        } catch (const std::exception& error) {
            std::cerr << "brindleaf-service: " << error.what() << std::endl;
            return path == checkPath
                       ? checkError(http::status::service_unavailable, "check not recorded")
                       : textResponse(http::status::service_unavailable,
                                      "Feedback could not be stored, please try again later\n");
        }
    }

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

Response Routes::check(const Request& request, bool secure) const {
    const FormFields fields = decodeForm(request.body());
    CheckRecord record;
    record.scheme = secure ? "https" : "http";
    record.cmd = fields.value("cmd");
    record.appname = fields.value("appname");
    record.version = fields.value("version");
    record.os = fields.value("os");
    record.local = fields.value("local");
    record.guid = fields.value("guid");
    record.howmany = fields.value("howmany");
    if (record.cmd != "check")
        return checkError(http::status::bad_request, "cmd=check expected");
    if (!record.version)
        return checkError(http::status::bad_request, "version missing");
    record.offeredVersion = release_.version;
    record.result = *record.version != release_.version;
    const std::int64_t id = store_.recordCheck(record);

    // Eight lines: the program reads the version from line 1, the address from line 2 and
    // the result from line 4; the rest is for people reading the reply.
    const std::string reply =
        "<version>" + release_.version + "</version>\r\n" + "<url>" + release_.url + "</url>\r\n" +
        "<message></message>\r\n" + "<result>" + (record.result ? "1" : "0") + "</result>\r\n" +
        "<check>" + std::to_string(id) + "</check>\r\n" + "<scheme>" + record.scheme +
        "</scheme>\r\n" + "<status>OK</status>\r\n" + "<service>brindleaf-service</service>\r\n";
    return textResponse(http::status::ok, reply);
}

Response Routes::feedback(const Request& request, bool secure) const {
    const FormFields fields = decodeForm(request.body());
    const std::optional<std::string> cmd = fields.value("cmd");
    const std::optional<std::string> text = fields.value("feedback");
    if (cmd != "feedback")
        return textResponse(http::status::bad_request, "Bad request: cmd=feedback expected\n");
    if (!text || isBlank(*text))
        return textResponse(http::status::bad_request, "Bad request: feedback text missing\n");
    FeedbackRecord record;
    record.scheme = secure ? "https" : "http";
    record.cmd = *cmd;
    record.appname = fields.value("appname");
    record.version = fields.value("version");
    record.feedback = *text;
    record.email = fields.value("email");
    store_.recordFeedback(record);
    return textResponse(http::status::ok, "OK");
}

} // namespace service
