#include "core/textlines.h"

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
