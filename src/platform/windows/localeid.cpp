#include "platform/localeid.h"

#include <windows.h>

#include <array>

namespace platform {
namespace {

QString localeInfo(LCID lcid, LCTYPE type) {
    std::array<wchar_t, LOCALE_NAME_MAX_LENGTH> text{};
    const int length = ::GetLocaleInfoW(lcid, type, text.data(), static_cast<int>(text.size()));
    return length > 1 ? QString::fromWCharArray(text.data(), length - 1) : QString();
}

} // namespace

quint32 localeIdOf(const QByteArray& localeName) {
    // The system's names are "ll-CC" or "ll-Scrp-CC"; a character set or modifier after "."
    // or "@" has no bearing on the language.
    QByteArray name = localeName;
    if (const qsizetype cut = name.indexOf('.'); cut >= 0)
        name.truncate(cut);
    if (const qsizetype cut = name.indexOf('@'); cut >= 0)
        name.truncate(cut);
    name.replace('_', '-');
    if (name.isEmpty())
        return 0;
    const std::wstring wide = QString::fromLatin1(name).toStdWString();
    const LCID lcid = ::LocaleNameToLCID(wide.c_str(), 0);
    // The identifier of a custom or unknown locale stands for no language.
    return lcid == LOCALE_CUSTOM_UNSPECIFIED || lcid == LOCALE_CUSTOM_DEFAULT ? 0 : lcid;
}

QString isoNameOf(quint32 lcid) {
    if (lcid == 0 || !::IsValidLocale(lcid, LCID_SUPPORTED))
        return {};
    const QString language = localeInfo(lcid, LOCALE_SISO639LANGNAME);
    const QString region = localeInfo(lcid, LOCALE_SISO3166CTRYNAME);
    if (language.isEmpty() || region.isEmpty())
        return {};
    return language + u'-' + region;
}

} // namespace platform
