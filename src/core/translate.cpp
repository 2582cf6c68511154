#include "core/translate.h"

// First cut: no language files yet, every key is its own translation.

namespace translation {
void languageInitialisation(const QString&) {}
void resetForTests() {}
} // namespace translation

QString translate(const QString& key) {
    return key;
}

QString fillPlaceholders(const QString& format, const QStringList& values) {
    QString result;
    qsizetype next = 0;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = format.indexOf(QStringLiteral("%s"), from);
        if (at < 0 || next >= values.size())
            break;
        result += format.mid(from, at - from);
        result += values.at(next++);
        from = at + 2;
    }
    result += format.mid(from);
    return result;
}

QString localeName() {
    return QStringLiteral("xx");
}
