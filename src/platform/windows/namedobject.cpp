#include "platform/namedobject.h"

#include <windows.h>

namespace platform {

void holdNamedObject(const QString& name) {
    // Not initially owned; an existing mutex of that name is simply opened. The handle is
    // deliberately never closed: the system releases it when the process ends.
    static_cast<void>(
        ::CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(name.utf16())));
}

} // namespace platform
