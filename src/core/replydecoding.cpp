#include "core/replydecoding.h"

#include "platform/textcodec.h"

#include <QRegularExpression>

namespace replydecoding {

namespace {

QByteArray unquoted(QByteArray value) {
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2).trimmed();
    return value;
}

} // namespace

QByteArray charsetOfContentType(const QByteArray& contentType) {
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray parameter = parts[i].trimmed();
        const qsizetype equals = parameter.indexOf('=');
        if (equals > 0 && parameter.left(equals).trimmed().toLower() == "charset")
            return unquoted(parameter.mid(equals + 1));
    }
    return {};
}

QByteArray charsetInDocument(const QByteArray& body) {
    if (body.startsWith("\xEF\xBB\xBF"))
        return "UTF-8";
    // Browsers look for the declaration only near the start; so does this.
    const QString start = QString::fromLatin1(body.left(1024));
    // Made per call: a QRegularExpression is not meant to be shared between threads.
    const QRegularExpression xmlDeclaration(
        QStringLiteral(R"(^\s*<\?xml\s[^>]*?\bencoding\s*=\s*["']\s*([A-Za-z0-9._:-]+))"));
    const QRegularExpression metaTag(
        QStringLiteral(R"(<meta\s[^>]*?\bcharset\s*=\s*["']?\s*([A-Za-z0-9._:-]+))"),
        QRegularExpression::CaseInsensitiveOption);
    for (const QRegularExpression* pattern : {&xmlDeclaration, &metaTag}) {
        const QRegularExpressionMatch match = pattern->match(start);
        if (match.hasMatch())
            return match.captured(1).toLatin1();
    }
    return {};
}

std::optional<QString> decode(const QByteArray& bytes, const QByteArray& charset) {
    std::optional<QString> text = platform::decodeText(bytes, charset);
    if (text && text->startsWith(QChar(0xFEFF)))
        text->remove(0, 1);
    return text;
}

} // namespace replydecoding
