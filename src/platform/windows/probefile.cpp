#include "platform/probefile.h"

#include <QDir>
#include <windows.h>

namespace platform {

bool canCreateFile(const QString& path) {
    const QString native = QDir::toNativeSeparators(path);
    // The system deletes the file when the handle closes, so nothing is left behind.
    const HANDLE file = ::CreateFileW(
        reinterpret_cast<const wchar_t*>(native.utf16()), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
        CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

} // namespace platform
