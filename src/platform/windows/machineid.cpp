#include "platform/machineid.h"

#include <windows.h>

#include <vector>

namespace platform {
namespace {

// Owns an open registry key.
class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() {
        if (m_key)
            ::RegCloseKey(m_key);
    }
    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

} // namespace

MachineIdentifier machineIdentifier() {
    // Read-only access in steps, always in the 64-bit view: the 32-bit view has no such value.
    RegistryKey key;
    bool opened = false;
    for (const REGSAM access : {REGSAM(KEY_READ), REGSAM(0x20009), REGSAM(KEY_QUERY_VALUE)}) {
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                            access | KEY_WOW64_64KEY, key.out()) == ERROR_SUCCESS) {
            opened = true;
            break;
        }
    }
    if (!opened)
        return {};
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), L"MachineGuid", nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return {{}, QStringLiteral("MachineGuid is not a registry string")};
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    const LSTATUS read = ::RegQueryValueExW(key.get(), L"MachineGuid", nullptr, &type,
                                            reinterpret_cast<BYTE*>(text.data()), &size);
    if (read != ERROR_SUCCESS)
        return {{}, qt_error_string(static_cast<int>(read))};
    return {QString::fromWCharArray(text.data()), {}};
}

} // namespace platform
