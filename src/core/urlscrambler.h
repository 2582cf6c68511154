#pragma once

#include <QString>

// The reversible scrambling under which the last download address is stored, so the
// settings file does not show it in plain text. Not a cipher: anyone with the program
// can reverse it.
namespace urlscrambler {

// UTF-8 bytes of the text, scrambled, as upper-case hexadecimal (two digits a byte).
QString scramble(const QString& text);

// The reverse of scramble. Empty when a pair of digits is not hexadecimal; a single
// digit left over at the end is ignored.
QString unscramble(const QString& hexText);

} // namespace urlscrambler
