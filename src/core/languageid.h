#pragma once

#include <QByteArray>
#include <QString>

// Windows language identifiers (LCIDs) for the locales the system names. The language files'
// code table is keyed by these numbers.
namespace languageid {

// English as used in the United States: what C, POSIX or no locale at all stands for.
inline constexpr quint32 englishUnitedStates = 1033;

// The identifier of a POSIX locale name such as "de_DE.UTF-8", "sr_RS@latin" or "zh_TW";
// C and POSIX give 1033; 0 when the system knows no identifier for it.
quint32 fromLocaleName(const QByteArray& posixName);

// The user's UI language (platform::uiLanguageName). None, C, POSIX or a language without an
// identifier count as 1033.
quint32 userUiLanguage();

// The locale the program runs in (platform::localeName); none, C or POSIX give 1033, a
// locale without an identifier gives 0.
quint32 currentLocale();

// "ll-CC" for an identifier that one of the system's locales carries, else empty.
// Safe to call from any thread.
QString isoName(quint32 lcid);

} // namespace languageid
