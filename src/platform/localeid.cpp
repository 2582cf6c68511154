#include "platform/localeid.h"

namespace platform {

bool isCLocaleName(const QByteArray& localeName) {
    qsizetype end = 0;
    while (end < localeName.size() && localeName.at(end) != '.' && localeName.at(end) != '@')
        ++end;
    const QByteArray base = localeName.first(end);
    return base == "C" || base == "POSIX";
}

} // namespace platform
