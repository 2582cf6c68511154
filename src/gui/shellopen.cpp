#include "gui/shellopen.h"

#include <QDesktopServices>
#include <QUrl>

void shellOpen(const QString& address) {
    QDesktopServices::openUrl(QUrl(address));
}
