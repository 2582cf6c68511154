#include "platform/openaddress.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>
#include <windows.h>

#include <shellapi.h>

namespace platform {

namespace {

const wchar_t* wide(const QString& text) {
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

} // namespace

void openAddress(const QString& address) {
    // The only files opened are text files (the licence): Notepad shows them, with the path
    // as its parameter, whatever program the user made the default for text.
    const QUrl url(address);
    if (url.isLocalFile()) {
        const QString path = QDir::toNativeSeparators(url.toLocalFile());
        ::ShellExecuteW(nullptr, nullptr, L"notepad.exe", wide(path), nullptr, SW_SHOWNORMAL);
        return;
    }
    // Qt hands a web address to ShellExecuteW with its default verb, "open", as on Linux to
    // the desktop's opener.
    QDesktopServices::openUrl(url);
}

} // namespace platform
