#include "core/replydecoding.h"

#include <QRegularExpression>

#include <unicode/ucnv.h>

#include <memory>

namespace replydecoding {

namespace {

struct ConverterClose {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

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
    // ICU opens its default converter for an empty name; that is not a charset.
    if (charset.trimmed().isEmpty())
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UConverter, ConverterClose> converter(
        ucnv_open(charset.constData(), &status));
    if (U_FAILURE(status) || !converter)
        return std::nullopt;
    const int32_t needed = ucnv_toUChars(converter.get(), nullptr, 0, bytes.constData(),
                                         int32_t(bytes.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return std::nullopt;
    QString text(needed, Qt::Uninitialized);
    status = U_ZERO_ERROR;
    ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(text.data()), needed, bytes.constData(),
                  int32_t(bytes.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

} // namespace replydecoding
