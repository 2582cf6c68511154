#pragma once

#include <QString>
#include <QStringList>

// Language files and the translation lookup. The language is chosen once at start-up
// from the user's UI language; afterwards every function here is read-only and
// safe to call from any thread.
namespace translation {

// Chooses and loads the language file from the folder "Languages" beside the executable.
// An empty name lets the language-code table choose. Throws AppError when the chosen
// file cannot be read; the language then stays in effect with no entries.
void languageInitialisation(const QString& name = QString());

// The same over a given language folder (no trailing separator) and UI language identifier.
void languageInitialisation(const QString& name, const QString& languageFolder,
                            quint32 userLanguageId);

// Forgets the language in effect (tests only: the program initialises once).
void resetForTests();

} // namespace translation

// The translation of an English message key, or the key itself.
QString translate(const QString& key);

// Fills "%s" placeholders in order by plain replacement, never through a printf-style
// formatter, so a language file cannot smuggle in other conversions.
QString fillPlaceholders(const QString& format, const QStringList& values);

// The user's locale as "ll-CC", or "xx".
QString localeName();
