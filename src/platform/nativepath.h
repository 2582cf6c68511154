#pragma once

#include <QByteArray>
#include <QString>

// File names on Linux are bytes, not text. A name that is not valid UTF-8 still has to reach
// the file system as the bytes it came as, so each byte that is not part of a valid UTF-8
// sequence is carried in the text as a lone surrogate U+DC80..U+DCFF and turned back into that
// byte on the way out. Valid UTF-8 decodes as usual, so ordinary names are ordinary text.
namespace nativepath {

// The bytes to hand to the file system for a name.
QByteArray encode(const QString& name);

// A name as the file system gave it, as text that encode() turns back into the same bytes.
QString decode(const QByteArray& bytes);

} // namespace nativepath
