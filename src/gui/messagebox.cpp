#include "gui/messagebox.h"

#include <QApplication>
#include <QMessageBox>

namespace {
MessageSink& sink() {
    static MessageSink s;
    return s;
}
} // namespace

void setMessageSink(MessageSink s) {
    sink() = std::move(s);
}

void showMessage(const QString& text, const QString& caption, int flags) {
    if (sink()) {
        sink()({text, caption, flags});
        return;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case MB_ICONERROR:
        icon = QMessageBox::Critical;
        break;
    case MB_ICONWARNING:
        icon = QMessageBox::Warning;
        break;
    case MB_ICONINFORMATION:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    // A CR in a message breaks the line on screen, as the texts are assembled with CR.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(icon, caption, shown, QMessageBox::Ok, QApplication::activeWindow());
    // Modal to its own window only: the update notice and any other window stay usable.
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}
