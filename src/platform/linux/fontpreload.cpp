#include "platform/fontpreload.h"

#include <fontconfig/fontconfig.h>

namespace platform {

// FcInit parses the configuration files and loads the font caches once per process; Qt's
// font database calls it again later and then finds it done. Its setup is thread-safe.
FontPreload::FontPreload() : m_loader([] { FcInit(); }) {}

void FontPreload::wait() {
    if (m_loader.joinable())
        m_loader.join();
}

} // namespace platform
