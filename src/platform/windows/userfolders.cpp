#include "platform/userfolders.h"

#include <QDir>
#include <shlobj.h>
#include <windows.h>

namespace platform {

QString userDataFolder() {
    PWSTR path = nullptr;
    QString folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &path)))
        folder = QDir::fromNativeSeparators(QString::fromWCharArray(path));
    // The system allocates the text even when the call fails.
    ::CoTaskMemFree(path);
    while (folder.size() > 3 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

} // namespace platform
