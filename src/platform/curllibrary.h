#pragma once

namespace platform {

// libcurl's runtime library of interface version 4, as the system's loader knows it.
struct CurlLibrary {
    const char* name;      // for QLibrary
    int version;           // of the name; ignored where library names carry none
    const char* notLoaded; // the error text when it cannot be loaded
};

CurlLibrary curlLibrary();

} // namespace platform
