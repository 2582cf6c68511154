#pragma once

#include <QString>
#include <QStringList>

// Plain-text helpers shared by the language files and the feedback window.

// Splits text into lines ending in CR LF, LF or CR; a final line without an end counts,
// an empty text has no lines.
QStringList splitLines(const QString& text);

// Removes leading and trailing characters up to U+0020: spaces, line breaks and other
// control characters, but no other white space.
QString trimSpacesAndControls(const QString& text);
