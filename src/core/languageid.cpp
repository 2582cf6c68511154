#include "core/languageid.h"

#include "platform/localeid.h"
#include "platform/uilanguage.h"

namespace languageid {
namespace {

bool isCLocale(const QByteArray& posixName) {
    qsizetype end = 0;
    while (end < posixName.size() && posixName.at(end) != '.' && posixName.at(end) != '@')
        ++end;
    const QByteArray base = posixName.first(end);
    return base == "C" || base == "POSIX";
}

} // namespace

quint32 fromLocaleName(const QByteArray& posixName) {
    if (posixName.isEmpty() || isCLocale(posixName))
        return englishUnitedStates;
    return platform::localeIdOf(posixName);
}

quint32 userUiLanguage() {
    const quint32 lcid = fromLocaleName(platform::uiLanguageName());
    return lcid != 0 ? lcid : englishUnitedStates;
}

quint32 currentLocale() {
    return fromLocaleName(platform::localeName());
}

QString isoName(quint32 lcid) {
    return platform::isoNameOf(lcid);
}

} // namespace languageid
