#pragma once

#include <QString>
#include <QStringList>

#include <memory>

// Language files and the translation lookup. Each program has one Translator, owned by its
// front end (the main window, the command's main) and handed to whatever shows a text. The
// language is chosen once at start-up from the user's UI language; afterwards the object is
// only read, so it may be read from any thread.
class Translator {
public:
    // No language in effect: every key is its own translation.
    Translator();
    ~Translator();
    Translator(const Translator&) = delete;
    Translator& operator=(const Translator&) = delete;

    // Chooses and loads the language file from the folder "Languages" beside the executable.
    // An empty name lets the language-code table choose. Throws AppError when the chosen
    // file cannot be read; the language then stays in effect with no entries.
    void languageInitialisation(const QString& name = QString());

    // The same over a given language folder (no trailing separator) and UI language
    // identifier.
    void languageInitialisation(const QString& name, const QString& languageFolder,
                                quint32 userLanguageId);

    // The translation of an English message key, or the key itself.
    QString translate(const QString& key) const;

    // The chosen file and its lines; known only to the lookup's own code.
    struct LanguageState;

private:
    const std::unique_ptr<LanguageState> m_language;
};

// Fills "%s" placeholders in order by plain replacement, never through a printf-style
// formatter, so a language file cannot smuggle in other conversions.
QString fillPlaceholders(const QString& format, const QStringList& values);

// The user's locale as "ll-CC", or "xx".
QString localeName();
