#include "platform/xmlencodings.h"

namespace platform {

// The system's libxml2 converts through iconv, which already knows every encoding the
// system has; nothing needs registering.
void registerXmlEncodings() {}

} // namespace platform
