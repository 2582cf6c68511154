#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {

// Decodes bytes in the named character encoding (a registered name or a common alias, any
// case). Bytes that are no character of it become U+FFFD. Nothing when the name is empty
// or names no encoding the system knows.
std::optional<QString> decodeText(const QByteArray& bytes, const QByteArray& encoding);

} // namespace platform
