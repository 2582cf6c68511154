#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace service {

// The HTML page served at a path ("/", "/help/brindleaf/", ...); nothing for any other path.
std::optional<std::string> pageAt(std::string_view path);

// A small page for an error status, e.g. 404.
std::string errorPage(unsigned status, std::string_view reason);

} // namespace service
