#include "core/textlines.h"

#include <QLocale>

QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < size && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(text.mid(start));
    return lines;
}

QString trimSpacesAndControls(const QString& text) {
    const auto isSpaceOrControl = [](QChar c) { return c.unicode() <= u' '; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpaceOrControl(text.at(begin)))
        ++begin;
    while (end > begin && isSpaceOrControl(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

QString asciiLower(const QString& text) {
    QString lower = text;
    for (QChar& c : lower) {
        if (c.unicode() >= u'A' && c.unicode() <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return lower;
}

int hexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

QString formatBytes(std::uint64_t bytes) {
    const QLocale c = QLocale::c();
    if (bytes >= 1000ull * 1000 * 1000)
        return c.toString(double(bytes) / 1e9, 'f', 2) + QStringLiteral(" GB");
    if (bytes >= 1000ull * 1000)
        return c.toString(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
    if (bytes >= 1000)
        return c.toString(bytes / 1000) + QStringLiteral(" KB");
    return c.toString(bytes) + QStringLiteral(" B");
}
