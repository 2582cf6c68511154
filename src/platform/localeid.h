#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Whether a POSIX locale name is C or POSIX, with or without a character set or modifier:
// the locale of no language, which callers take as English.
bool isCLocaleName(const QByteArray& localeName);

// The Windows language identifier (LCID) of a locale name such as "de_DE.UTF-8", "sr_RS@latin",
// "zh_TW" or "pt-BR"; 0 when the system knows no identifier for it. C and POSIX are the
// caller's matter.
quint32 localeIdOf(const QByteArray& localeName);

// "ll-CC" for an identifier that one of the system's locales carries, else empty. Safe to
// call from any thread.
QString isoNameOf(quint32 lcid);

} // namespace platform
