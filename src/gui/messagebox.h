#pragma once

#include "gui/messageflags.h"

#include <QString>
#include <functional>

// Message boxes with one OK button, modal to the active window that owns them.
// Flags: MB_ICONERROR, MB_ICONWARNING, MB_ICONINFORMATION.

struct ShownMessage {
    QString text;
    QString caption;
    int flags = 0;
};

void showMessage(const QString& text, const QString& caption, int flags);

// Tests put a recorder in place of the real boxes; an empty function restores them.
using MessageSink = std::function<void(const ShownMessage&)>;
void setMessageSink(MessageSink sink);
