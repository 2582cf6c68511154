#pragma once

#include <QString>

namespace platform {

// Opens a web address or a file address with the desktop's default handler; failures are
// ignored, as nothing can be done about them.
void openAddress(const QString& address);

} // namespace platform
