#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Turning a reply body into text by the charset it declares.
namespace replydecoding {

// The charset parameter of a Content-Type value, unquoted; empty when there is none.
QByteArray charsetOfContentType(const QByteArray& contentType);

// The charset a document names at its start: a byte order mark, an XML declaration's
// encoding or an HTML meta tag (within the first 1024 bytes); empty when there is none.
QByteArray charsetInDocument(const QByteArray& body);

// The bytes read in the named charset, a leading byte order mark dropped; nullopt when
// the system knows no such charset.
std::optional<QString> decode(const QByteArray& bytes, const QByteArray& charset);

} // namespace replydecoding
