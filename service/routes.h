#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

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

// What the service answers to one complete request: the two form endpoints and the pages.
// The server adds the protocol version and the connection handling.
class Routes {
public:
    Routes(Store& store, Release release) : store_(store), release_(std::move(release)) {}

    // secure: the request came over TLS. Never throws: failures become error replies.
    Response handle(const Request& request, bool secure) const;

private:
    Response check(const Request& request, bool secure) const;
    Response feedback(const Request& request, bool secure) const;

    Store& store_;
    const Release release_;
};

// A reply with a status, a plain-text or HTML body and the usual headers.
Response textResponse(boost::beast::http::status status, std::string body,
                      const char* contentType = "text/plain; charset=utf-8");

} // namespace service
