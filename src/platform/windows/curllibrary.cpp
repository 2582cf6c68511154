#include "platform/curllibrary.h"

namespace platform {

// The name libcurl's own build gives its DLL; the interface version is not part of it.
CurlLibrary curlLibrary() {
    return {"libcurl", 4, "libcurl.dll could not be loaded"};
}

} // namespace platform
