#include "platform/linux/icunames.h"

#include <QHash>

namespace platform::icu {

// glibc writes scripts as modifiers ("sr_RS@latin"); everything else after "@" or "." has no
// bearing on the language.
QByteArray icuIdOfPosixName(const QByteArray& posixName) {
    QByteArray name = posixName;
    QByteArray modifier;
    if (const qsizetype at = name.indexOf('@'); at >= 0) {
        modifier = name.mid(at + 1).toLower();
        name.truncate(at);
    }
    if (const qsizetype dot = name.indexOf('.'); dot >= 0)
        name.truncate(dot);
    static const QHash<QByteArray, QByteArray> scriptModifiers = {
        {"latin", "Latn"}, {"cyrillic", "Cyrl"}, {"devanagari", "Deva"}, {"arabic", "Arab"}};
    const auto script = scriptModifiers.constFind(modifier);
    if (script == scriptModifiers.cend())
        return name;
    const qsizetype underscore = name.indexOf('_');
    if (underscore < 0)
        return name + '_' + *script;
    return name.left(underscore) + '_' + *script + name.mid(underscore);
}

} // namespace platform::icu
