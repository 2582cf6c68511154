#include "core/checklog.h"

namespace {

// Blanks and control characters, the characters a trim removes.
bool isTrimmed(QChar c) {
    return c.unicode() <= 0x20;
}

bool isBlank(const QString& message) {
    for (const QChar c : message) {
        if (!isTrimmed(c))
            return false;
    }
    return true;
}

} // namespace

void CheckLog::append(const QString& message) {
    if (isBlank(message))
        return;
    m_error = true;
    if (m_text.isEmpty())
        m_text = message;
    else
        m_text += QStringLiteral("\r\r") + message;
}

void CheckLog::clear() {
    m_error = false;
    m_text.clear();
}
