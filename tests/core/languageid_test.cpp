#include "core/languageid.h"
#include "core/translate.h"

#include <QtGlobal>
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <ostream>

namespace {

constexpr std::array<const char*, 4> localeVariables = {"LANGUAGE", "LC_ALL", "LC_MESSAGES",
                                                        "LANG"};

// Sets exactly the given locale variables for one test and restores the rest afterwards.
class LocaleEnvironment : public ::testing::Test {
protected:
    void SetUp() override {
        for (std::size_t i = 0; i < localeVariables.size(); ++i) {
            if (qEnvironmentVariableIsSet(localeVariables[i]))
                m_saved[i] = qgetenv(localeVariables[i]);
            qunsetenv(localeVariables[i]);
        }
    }
    void TearDown() override {
        for (std::size_t i = 0; i < localeVariables.size(); ++i) {
            if (m_saved[i])
                qputenv(localeVariables[i], *m_saved[i]);
            else
                qunsetenv(localeVariables[i]);
        }
    }
    static void set(const char* language, const char* lcAll, const char* lcMessages,
                    const char* lang) {
        const std::array<const char*, 4> values = {language, lcAll, lcMessages, lang};
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (values[i])
                qputenv(localeVariables[i], values[i]);
        }
    }

private:
    std::array<std::optional<QByteArray>, 4> m_saved;
};

struct UiLanguageCase {
    const char* name;
    const char* language;
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    quint32 expected;
};

void PrintTo(const UiLanguageCase& c, std::ostream* os) {
    *os << c.name;
}

class UiLanguage : public LocaleEnvironment,
                   public ::testing::WithParamInterface<UiLanguageCase> {};

TEST_P(UiLanguage, MapsTheEnvironmentToAWindowsIdentifier) {
    const UiLanguageCase& c = GetParam();
    set(c.language, c.lcAll, c.lcMessages, c.lang);
    EXPECT_EQ(languageid::userUiLanguage(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UiLanguage,
    ::testing::Values(
        UiLanguageCase{"Nothing", nullptr, nullptr, nullptr, nullptr, 1033},
        UiLanguageCase{"C", nullptr, nullptr, nullptr, "C", 1033},
        UiLanguageCase{"Posix", nullptr, nullptr, nullptr, "POSIX", 1033},
        UiLanguageCase{"LcAllCUtf8", nullptr, "C.UTF-8", nullptr, "de_DE.UTF-8", 1033},
        UiLanguageCase{"EnUs", nullptr, nullptr, nullptr, "en_US.UTF-8", 1033},
        UiLanguageCase{"De", nullptr, nullptr, nullptr, "de_DE.UTF-8", 1031},
        UiLanguageCase{"DeAt", nullptr, nullptr, nullptr, "de_AT.UTF-8", 3079},
        UiLanguageCase{"DeEuro", nullptr, nullptr, nullptr, "de_DE@euro", 1031},
        UiLanguageCase{"PtBr", nullptr, nullptr, nullptr, "pt_BR", 1046},
        UiLanguageCase{"Tr", nullptr, nullptr, nullptr, "tr_TR.UTF-8", 1055},
        UiLanguageCase{"EsMx", nullptr, nullptr, nullptr, "es_MX.UTF-8", 2058},
        UiLanguageCase{"Fr", nullptr, nullptr, nullptr, "fr", 1036},
        UiLanguageCase{"LanguageListFirst", "fr:de", nullptr, nullptr, "de_DE.UTF-8", 1036},
        UiLanguageCase{"LanguageListFirstNonEmpty", ":de", nullptr, nullptr, "fr_FR.UTF-8", 1031},
        UiLanguageCase{"LcAllAfterEmptyLanguage", "", "tr_TR.UTF-8", "fr_FR.UTF-8", "de_DE.UTF-8",
                       1055},
        UiLanguageCase{"LcMessagesAfterEmptyLcAll", nullptr, "", "es_ES.UTF-8", "de_DE.UTF-8",
                       3082},
        UiLanguageCase{"ZhTw", nullptr, nullptr, nullptr, "zh_TW.UTF-8", 1028},
        UiLanguageCase{"ZhCn", nullptr, nullptr, nullptr, "zh_CN.UTF-8", 2052},
        UiLanguageCase{"ZhHk", nullptr, nullptr, nullptr, "zh_HK.UTF-8", 3076},
        UiLanguageCase{"ZhHant", "zh_Hant", nullptr, nullptr, nullptr, 1028},
        UiLanguageCase{"SrCyrillic", nullptr, nullptr, nullptr, "sr_RS.UTF-8", 10266},
        UiLanguageCase{"SrLatinModifier", nullptr, nullptr, nullptr, "sr_RS.UTF-8@latin", 9242},
        UiLanguageCase{"SrLatn", "sr_Latn", nullptr, nullptr, nullptr, 9242},
        UiLanguageCase{"SrMe", nullptr, nullptr, nullptr, "sr_ME.UTF-8", 11290},
        UiLanguageCase{"UzLatin", nullptr, nullptr, nullptr, "uz_UZ.UTF-8", 1091},
        UiLanguageCase{"UzCyrillicModifier", nullptr, nullptr, nullptr, "uz_UZ.UTF-8@cyrillic",
                       2115},
        UiLanguageCase{"NbNo", nullptr, nullptr, nullptr, "nb_NO.UTF-8", 1044},
        UiLanguageCase{"HaNg", nullptr, nullptr, nullptr, "ha_NG.UTF-8", 1128},
        // A language Windows has no identifier for reads as English.
        UiLanguageCase{"NoIdentifier", nullptr, nullptr, nullptr, "eo", 1033}),
    [](const ::testing::TestParamInfo<UiLanguageCase>& info) {
        return std::string(info.param.name);
    });

TEST(LanguageId, CAndPosixStandForEnglishAndUnknownLanguagesForNothing) {
    for (const char* name : {"", "C", "POSIX", "C.UTF-8", "C.utf8", "POSIX@x"})
        EXPECT_EQ(languageid::fromLocaleName(name), 1033u) << name;
    for (const char* name : {"eo", "zz_ZZ", "CC", "c_US"})
        EXPECT_EQ(languageid::fromLocaleName(name), 0u) << name;
}

struct LocaleNameCase {
    const char* name;
    const char* language;
    const char* lcAll;
    const char* lang;
    const char* expected;
};

void PrintTo(const LocaleNameCase& c, std::ostream* os) {
    *os << c.name;
}

class LocaleName : public LocaleEnvironment,
                   public ::testing::WithParamInterface<LocaleNameCase> {};

TEST_P(LocaleName, NamesTheCurrentLocale) {
    const LocaleNameCase& c = GetParam();
    set(c.language, c.lcAll, nullptr, c.lang);
    EXPECT_EQ(localeName().toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocaleName,
    ::testing::Values(LocaleNameCase{"Nothing", nullptr, nullptr, nullptr, "en-US"},
                      LocaleNameCase{"C", nullptr, nullptr, "C", "en-US"},
                      LocaleNameCase{"De", nullptr, nullptr, "de_DE.UTF-8", "de-DE"},
                      LocaleNameCase{"LcAllFirst", nullptr, "pt_BR.UTF-8", "de_DE.UTF-8", "pt-BR"},
                      // LANGUAGE lists message languages, it names no locale.
                      LocaleNameCase{"LanguageIgnored", "fr", nullptr, "de_CH.UTF-8", "de-CH"},
                      LocaleNameCase{"ZhTw", nullptr, nullptr, "zh_TW.UTF-8", "zh-TW"},
                      LocaleNameCase{"SrLatin", nullptr, nullptr, "sr_RS.UTF-8@latin", "sr-RS"},
                      LocaleNameCase{"Es419", nullptr, nullptr, "es_419.UTF-8", "es-419"},
                      LocaleNameCase{"NoIdentifier", nullptr, nullptr, "eo", "xx"},
                      LocaleNameCase{"Unknown", nullptr, nullptr, "zz_ZZ.UTF-8", "xx"}),
    [](const ::testing::TestParamInfo<LocaleNameCase>& info) {
        return std::string(info.param.name);
    });

} // namespace
