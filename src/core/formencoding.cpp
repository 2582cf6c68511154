#include "core/formencoding.h"

namespace formencoding {

namespace {

bool keptAsIs(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
           c == '-' || c == '.' || c == '_';
}

} // namespace

QByteArray encodeComponent(const QString& text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    // An unpaired surrogate has no UTF-8 form: Qt writes "?" in its place.
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() * 3);
    for (const char c : utf8) {
        if (keptAsIs(c)) {
            out += c;
        } else if (c == ' ') {
            out += '+';
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        }
    }
    return out;
}

QByteArray encodeFields(const QStringList& fields) {
    QByteArray body;
    for (const QString& line : fields) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? line : line.left(equals);
        const QString value = equals < 0 ? QString() : line.mid(equals + 1);
        if (!body.isEmpty())
            body += '&';
        body += encodeComponent(name) + '=' + encodeComponent(value);
    }
    return body;
}

} // namespace formencoding
