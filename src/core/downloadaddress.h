#pragma once

#include <QString>

// The download address arrives from the network and goes to the desktop's opener, so only
// an absolute http:// or https:// address with a host passes. Anything else (empty, a
// local path, file:, javascript:, data:, a program name) gives the maker's home page.
namespace downloadaddress {

bool isWebAddress(const QString& address);

// The address itself when it is a web address, else maker::homePageFallbackUrl().
QString openTarget(const QString& address);

} // namespace downloadaddress
