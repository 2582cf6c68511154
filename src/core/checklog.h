#pragma once

#include <QString>

// The update check's diagnostic log. Background work appends here instead of raising;
// the error flag is what the check tests before it trusts a reply. Kept in memory only.
class CheckLog {
public:
    // Ignores a message that is empty once blanks and control characters are trimmed;
    // otherwise sets the error flag and appends the message, entries separated by CR CR.
    void append(const QString& message);
    void clear();

    const QString& text() const { return m_text; }
    bool hasError() const { return m_error; }

private:
    QString m_text;
    bool m_error = false;
};
