#include "platform/fontpreload.h"

namespace platform {

// Windows keeps its font list in the system: a program has nothing to read at start-up.
FontPreload::FontPreload() = default;

void FontPreload::wait() {}

} // namespace platform
