#pragma once

#include <QStringView>

#include <memory>

namespace platform {

// Compares texts under the collation of the locale the program runs in.
class Collator {
public:
    virtual ~Collator() = default;
    // Equal at tertiary strength: canonically equivalent spellings are equal, while case and
    // accents still count.
    virtual bool equal(QStringView first, QStringView second) const = 0;
};

// The collator of the current locale (platform::localeName); the root collation for none, C
// or POSIX. Null when the system cannot open one.
std::unique_ptr<Collator> openCollator();

} // namespace platform
