#include "platform/uilanguage.h"

#include <QString>
#include <windows.h>

namespace platform {
namespace {

QByteArray nameOf(LCID lcid) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const int length = ::LCIDToLocaleName(lcid, name, LOCALE_NAME_MAX_LENGTH, 0);
    return length > 1 ? QString::fromWCharArray(name, length - 1).toLatin1() : QByteArray();
}

} // namespace

QByteArray uiLanguageName() {
    return nameOf(::GetUserDefaultUILanguage());
}

QByteArray localeName() {
    return nameOf(::GetThreadLocale());
}

} // namespace platform
