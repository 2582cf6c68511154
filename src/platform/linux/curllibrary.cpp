#include "platform/curllibrary.h"

namespace platform {

CurlLibrary curlLibrary() {
    return {"curl", 4, "libcurl.so.4 could not be loaded"};
}

} // namespace platform
