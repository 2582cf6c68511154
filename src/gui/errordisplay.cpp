#include "gui/errordisplay.h"

#include "core/apperror.h"
#include "core/identity.h"
#include "gui/messagebox.h"

#include <exception>

void showDefaultError(const QString& message) {
    QString text = message;
    if (!text.isEmpty() && text.back().unicode() > u'.')
        text += QLatin1Char('.');
    showMessage(text, identity::applicationTitle(), MB_ICONERROR);
}

void runGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const AppError& e) {
        showDefaultError(e.message());
    } catch (const std::exception& e) {
        showDefaultError(QString::fromUtf8(e.what()));
    }
}
