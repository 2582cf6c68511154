#pragma once

#include <QString>

namespace platform {

// The operating-system description sent with the update check:
// "<product> (Version <major>.<minor>, Build <build>, <edition>)", the product from
// /etc/os-release, the numbers from the kernel release, the edition from the machine.
QString operatingSystemDescription();

// The parts of the description, kept apart from the system calls so they can be checked.
QString prettyNameFromOsRelease(const QString& osReleaseText);
QString formatOperatingSystem(const QString& productName, const QString& kernelRelease,
                              const QString& machine);

} // namespace platform
