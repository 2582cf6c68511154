#include "platform/uilanguage.h"

#include <QList>
#include <QtGlobal>

#include <initializer_list>

namespace platform {
namespace {

QByteArray firstSetVariable(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

} // namespace

// LANGUAGE lists the user's languages by preference; the first one is the UI language.
// Without it the locale categories decide, as gettext would.
QByteArray uiLanguageName() {
    for (const QByteArray& entry : qgetenv("LANGUAGE").split(':')) {
        if (!entry.isEmpty())
            return entry;
    }
    return localeName();
}

QByteArray localeName() {
    return firstSetVariable({"LC_ALL", "LC_MESSAGES", "LANG"});
}

} // namespace platform
