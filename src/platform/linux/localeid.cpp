#include "platform/localeid.h"

#include "platform/linux/icunames.h"

#include <QHash>

#include <array>
#include <unicode/uloc.h>

namespace platform {
namespace {

constexpr int localeCapacity = ULOC_FULLNAME_CAPACITY;

// The parts of a locale that decide its identifier, after ICU has filled in the likely script
// and region ("sr_RS" is Serbian in Cyrillic).
struct LocaleParts {
    QByteArray language;
    QByteArray script;
    QByteArray region;
};

bool expand(const QByteArray& icuId, LocaleParts& parts) {
    UErrorCode status = U_ZERO_ERROR;
    std::array<char, localeCapacity> canonical{};
    uloc_canonicalize(icuId.constData(), canonical.data(), localeCapacity, &status);
    std::array<char, localeCapacity> likely{};
    uloc_addLikelySubtags(canonical.data(), likely.data(), localeCapacity, &status);
    std::array<char, ULOC_LANG_CAPACITY> language{};
    std::array<char, ULOC_SCRIPT_CAPACITY> script{};
    std::array<char, ULOC_COUNTRY_CAPACITY> region{};
    uloc_getLanguage(likely.data(), language.data(), ULOC_LANG_CAPACITY, &status);
    uloc_getScript(likely.data(), script.data(), ULOC_SCRIPT_CAPACITY, &status);
    uloc_getCountry(likely.data(), region.data(), ULOC_COUNTRY_CAPACITY, &status);
    if (U_FAILURE(status) || language[0] == '\0' || region[0] == '\0')
        return false;
    parts = {QByteArray(language.data()), QByteArray(script.data()), QByteArray(region.data())};
    return true;
}

// An identifier for one language in one country, not a language-only or script-only
// ("neutral") one: its sublanguage lies between 1 and 0x1D.
bool isSpecific(quint32 lcid) {
    const quint32 sublanguage = (lcid >> 10) & 0x3F;
    return sublanguage >= 1 && sublanguage < 0x1E;
}

// uloc_getLCID wants language and country; the script decides only where Windows has one
// identifier per script (Serbian, Uzbek, Hausa...). Elsewhere ICU maps the script-qualified
// name to a neutral identifier (en_Latn_US gives 9), so that one is passed over.
quint32 lcidOf(const LocaleParts& parts) {
    const QByteArray withScript = parts.language + '_' + parts.script + '_' + parts.region;
    const QByteArray withoutScript = parts.language + '_' + parts.region;
    const quint32 scripted = parts.script.isEmpty() ? 0 : uloc_getLCID(withScript.constData());
    if (isSpecific(scripted))
        return scripted;
    const quint32 plain = uloc_getLCID(withoutScript.constData());
    if (isSpecific(plain))
        return plain;
    return plain != 0 ? plain : scripted;
}

// ICU's available locales by identifier, with their ISO names.
QHash<quint32, QString> buildIsoNames() {
    QHash<quint32, QString> names;
    const int32_t count = uloc_countAvailable();
    for (int32_t i = 0; i < count; ++i) {
        LocaleParts parts;
        if (!expand(QByteArray(uloc_getAvailable(i)), parts))
            continue;
        const quint32 lcid = lcidOf(parts);
        if (lcid != 0 && !names.contains(lcid))
            names.insert(lcid, QString::fromLatin1(parts.language + '-' + parts.region));
    }
    return names;
}

} // namespace

quint32 localeIdOf(const QByteArray& localeName) {
    LocaleParts parts;
    if (!expand(icu::icuIdOfPosixName(localeName), parts))
        return 0;
    return lcidOf(parts);
}

QString isoNameOf(quint32 lcid) {
    static const QHash<quint32, QString> names = buildIsoNames();
    return names.value(lcid);
}

} // namespace platform
