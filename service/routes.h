#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include "service/postlimits.h"

#include <functional>
#include <string>

namespace service {

class Store;

using Request = boost::beast::http::request<boost::beast::http::string_body>;
using Response = boost::beast::http::response<boost::beast::http::string_body>;

// The release that the update check offers.
struct Release {
    std::string version;
    std::string url;
};

// Who sent a request.
struct Client {
    bool secure = false; // over TLS
    std::string address; // the address the limits count under (see Server)
};

// Takes the reply to a request; may be called from any thread, exactly once.
using Respond = std::function<void(Response)>;

// What the service answers to one complete request: the two form endpoints and the pages.
// The server adds the protocol version and the connection handling.
class Routes {
public:
    Routes(Store& store, Release release, PostLimits limits = {})
        : store_(store), release_(std::move(release)), limiter_(limits) {}

    // Answers at once, except a feedback post, which is answered when its row is stored or
    // could not be stored in time. Never blocks and never throws: failures become replies.
    void handle(const Request& request, const Client& client, Respond respond);

private:
    Response check(const Request& request, const Client& client);
    void feedback(const Request& request, const Client& client, const Respond& respond);

    Store& store_;
    const Release release_;
    PostLimiter limiter_;
};

// A reply with a status, a plain-text or HTML body and the usual headers.
Response textResponse(boost::beast::http::status status, std::string body,
                      const char* contentType = "text/plain; charset=utf-8");

} // namespace service
