#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// Plain-text helpers: the one place for each small text rule the program uses.

// Splits text into lines ending in CR LF, LF or CR; a final line without an end counts,
// an empty text has no lines.
QStringList splitLines(const QString& text);

// The letters A to Z lowered, every other character kept: the file and page names compared
// or built this way must not depend on the user's locale.
QString asciiLower(const QString& text);

// The value of a hexadecimal digit, 0-9, a-f or A-F; -1 for any other character.
int hexDigitValue(QChar c);

// Removes leading and trailing characters up to U+0020: spaces, line breaks and other
// control characters, but no other white space.
QString trimSpacesAndControls(const QString& text);

// A size for people, in decimal units: "12.3 MB", "512 KB", "100 B".
QString formatBytes(std::uint64_t bytes);
