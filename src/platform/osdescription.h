#pragma once

#include <QString>

namespace platform {

// The operating-system description sent with the update check:
// "<product> (Version <major>.<minor>, Build <build>, <edition>)", the edition
// "64-bit Edition" on x86-64 and "32-bit Edition" otherwise.
QString operatingSystemDescription();

} // namespace platform
