#include "platform/osdescription.h"

#include <windows.h>

namespace platform {
namespace {

// GetVersionExW answers with the version the program's manifest claims to know, so the
// kernel is asked directly.
using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);

OSVERSIONINFOEXW windowsVersion() {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
        const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
        if (rtlGetVersion && rtlGetVersion(&info) == 0)
            return info;
    }
    return {};
}

QString productName(const OSVERSIONINFOEXW& version) {
    const bool workstation = version.wProductType == VER_NT_WORKSTATION;
    const DWORD major = version.dwMajorVersion;
    const DWORD minor = version.dwMinorVersion;
    if (major == 10 && minor == 0) {
        if (workstation)
            return version.dwBuildNumber >= 22000 ? QStringLiteral("Windows 11")
                                                  : QStringLiteral("Windows 10");
        if (version.dwBuildNumber >= 20348)
            return QStringLiteral("Windows Server 2022");
        return version.dwBuildNumber >= 17763 ? QStringLiteral("Windows Server 2019")
                                              : QStringLiteral("Windows Server 2016");
    }
    if (major == 6 && minor == 3)
        return workstation ? QStringLiteral("Windows 8.1")
                           : QStringLiteral("Windows Server 2012 R2");
    if (major == 6 && minor == 2)
        return workstation ? QStringLiteral("Windows 8") : QStringLiteral("Windows Server 2012");
    if (major == 6 && minor == 1)
        return workstation ? QStringLiteral("Windows 7") : QStringLiteral("Windows Server 2008 R2");
    if (major == 6 && minor == 0)
        return workstation ? QStringLiteral("Windows Vista")
                           : QStringLiteral("Windows Server 2008");
    return QStringLiteral("Windows");
}

} // namespace

QString operatingSystemDescription() {
    const OSVERSIONINFOEXW version = windowsVersion();
    QString product = productName(version);
    if (version.wServicePackMajor > 0)
        product += QStringLiteral(" Service Pack %1").arg(version.wServicePackMajor);
    SYSTEM_INFO system{};
    ::GetNativeSystemInfo(&system);
    const QString edition = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64
                                ? QStringLiteral("64-bit Edition")
                                : QStringLiteral("32-bit Edition");
    return product +
           QStringLiteral(" (Version %1.%2, Build %3, ")
               .arg(version.dwMajorVersion)
               .arg(version.dwMinorVersion)
               .arg(version.dwBuildNumber) +
           edition + QLatin1Char(')');
}

} // namespace platform
