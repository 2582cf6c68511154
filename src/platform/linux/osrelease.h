#pragma once

#include <QString>

// The parts of the operating-system description on Linux, kept apart from the system calls
// so they can be checked: the product from os-release, the numbers from the kernel release.
namespace platform {

QString prettyNameFromOsRelease(const QString& osReleaseText);
QString formatOperatingSystem(const QString& productName, const QString& kernelRelease,
                              const QString& machine);

} // namespace platform
