#include "support/formfields.h"

QStringList decodeFormLines(const QByteArray& body) {
    QStringList lines;
    for (QByteArray pair : body.split('&')) {
        pair.replace('+', ' ');
        lines << QString::fromUtf8(QByteArray::fromPercentEncoding(pair));
    }
    return lines;
}
