#pragma once

#include <QString>
#include <functional>

// Modal message boxes with one OK button, owned by the active window.
// Flags as the program uses them: 16 error, 48 warning, 64 information.
enum MessageFlags : int { MB_ICONERROR = 16, MB_ICONWARNING = 48, MB_ICONINFORMATION = 64 };

struct ShownMessage {
    QString text;
    QString caption;
    int flags = 0;
};

void showMessage(const QString& text, const QString& caption, int flags);

// Tests put a recorder in place of the real boxes; an empty function restores them.
using MessageSink = std::function<void(const ShownMessage&)>;
void setMessageSink(MessageSink sink);
