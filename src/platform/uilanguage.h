#pragma once

#include <QByteArray>

namespace platform {

// The user's UI language as a locale name ("de_DE.UTF-8", "sr_RS@latin", "pt-BR"); empty
// when none is set. The core maps it to a language identifier.
QByteArray uiLanguageName();

// The locale the program runs in, as a locale name; empty when none is set.
QByteArray localeName();

} // namespace platform
