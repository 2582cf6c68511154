#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// application/x-www-form-urlencoded over UTF-8, as a browser encodes a submitted form.
namespace formencoding {

// One name or value: A-Z a-z 0-9 * - . _ as they are, space as "+", every other
// UTF-8 byte as "%" and two upper-case hexadecimal digits.
QByteArray encodeComponent(const QString& text);

// Lines "name=value" split at their first "=" (a line without one is all name), each
// part encoded, pairs joined with "&" in order.
QByteArray encodeFields(const QStringList& fields);

} // namespace formencoding
