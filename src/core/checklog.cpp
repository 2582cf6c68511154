#include "core/checklog.h"

#include "core/textlines.h"

void CheckLog::append(const QString& message) {
    if (trimSpacesAndControls(message).isEmpty())
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
