#include "core/languageid.h"

#include "platform/localeid.h"
#include "platform/uilanguage.h"

namespace languageid {
quint32 fromLocaleName(const QByteArray& posixName) {
    if (posixName.isEmpty() || platform::isCLocaleName(posixName))
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
