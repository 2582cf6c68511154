#include "platform/executablepath.h"

#include <QDir>
#include <QFileInfo>
#include <windows.h>

#include <vector>

namespace platform {

QString executablePath() {
    // Paths may be longer than MAX_PATH; grow the buffer until the name fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return QDir::fromNativeSeparators(
                QString::fromWCharArray(buffer.data(), static_cast<qsizetype>(length)));
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace platform
