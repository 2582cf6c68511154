#include "core/apperror.h"
#include "core/translate.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

// A temporary language folder; each language file translates "Send" to its own marker so a
// lookup shows which file is in effect.
class LanguageFolder {
public:
    LanguageFolder() { EXPECT_TRUE(m_root.isValid()); }
    QString path() const { return m_root.filePath(QStringLiteral("Languages")); }
    void create() const { ASSERT_TRUE(QDir().mkpath(path())); }
    void write(const QString& name, const QByteArray& bytes) const {
        create();
        QFile file(path() + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    void language(const QString& name, const QByteArray& marker) const {
        write(name, "; header line\n{Send}" + marker + "\n");
    }
    void directory(const QString& name) const { ASSERT_TRUE(QDir().mkpath(path() + u'/' + name)); }

private:
    QTemporaryDir m_root;
};

class Translate : public ::testing::Test {
protected:
    Translator translator;
};

QByteArray utf16(const QString& text, bool bigEndian) {
    QByteArray bytes;
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8);
        const char low = char(c.unicode() & 0xFF);
        bytes += bigEndian ? QByteArray{&high, 1} + QByteArray{&low, 1}
                           : QByteArray{&low, 1} + QByteArray{&high, 1};
    }
    return bytes;
}

struct ChoiceCase {
    const char* name;
    QByteArray codeTable; // empty: no LanguageCodes.csv
    quint32 languageId;
    QByteArray expected; // what "Send" translates to
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class CodeTableChoice : public Translate, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(CodeTableChoice, ChoosesTheFileForTheUsersLanguage) {
    const ChoiceCase& c = GetParam();
    LanguageFolder folder;
    folder.language(QStringLiteral("German.lang.txt"), "German");
    folder.language(QStringLiteral("French.lang.txt"), "French");
    folder.language(QStringLiteral("Name.lang.txt"), "Name");
    folder.language(QStringLiteral(u"über.lang.txt"), "Umlaut");
    folder.language(QStringLiteral(u"Grüße.lang.txt"), "Latin1");
    folder.write(QStringLiteral("German.txt"), "{Send}NotACandidate\n");
    folder.directory(QStringLiteral("Folder.lang.txt"));
    if (!c.codeTable.isEmpty())
        folder.write(QStringLiteral("LanguageCodes.csv"), c.codeTable);

    translator.languageInitialisation(QString(), folder.path(), c.languageId);
    EXPECT_EQ(translator.translate(QStringLiteral("Send")), QString::fromUtf8(c.expected));
}

const QString germanTable = QStringLiteral("1036,French.lang.txt\r\n1031,German.lang.txt\r\n");

INSTANTIATE_TEST_SUITE_P(
    Cases, CodeTableChoice,
    ::testing::Values(
        ChoiceCase{"NoCodeTableStaysEnglish", {}, 1031, "Send"},
        ChoiceCase{"MatchingLine", germanTable.toUtf8(), 1031, "German"},
        ChoiceCase{"NoMatchingLine", germanTable.toUtf8(), 1055, "Send"},
        ChoiceCase{"FieldsTrimmedOfSpacesAndControls", " \t1031 \x01, German.lang.txt \t\n", 1031,
                   "German"},
        ChoiceCase{"AsciiLettersFolded", "1031,gERMAN.LANG.TXT\n", 1031, "German"},
        ChoiceCase{"OtherLettersNotFolded",
                   "1031,\xc3\x9c"
                   "ber.lang.txt\n",
                   1031, "Send"},
        ChoiceCase{"FirstMatchingLineWins", "1031,French.lang.txt\n1031,German.lang.txt\n", 1031,
                   "French"},
        ChoiceCase{"FurtherCommasBelongToTheName", "1033,Name.lang.txt,x\n", 1033, "Send"},
        ChoiceCase{"LeadingZeroNeverMatches", "01031,German.lang.txt\n", 1031, "Send"},
        ChoiceCase{"LineWithoutCommaSkipped", "1031 German.lang.txt\n1031,French.lang.txt\n", 1031,
                   "French"},
        ChoiceCase{"NameNotEndingInLangTxtIsNoCandidate", "1031,German.txt\n", 1031, "Send"},
        ChoiceCase{"DirectoryIsNoCandidate", "1031,Folder.lang.txt\n", 1031, "Send"},
        ChoiceCase{"CrLineEnds", "1036,French.lang.txt\r1031,German.lang.txt\r", 1031, "German"},
        ChoiceCase{"Utf8ByteOrderMark",
                   "\xef\xbb\xbf"
                   "1031,German.lang.txt\n",
                   1031, "German"},
        ChoiceCase{"Utf16LittleEndianByteOrderMark",
                   "\xff\xfe" + utf16(QStringLiteral("1031,German.lang.txt\r\n"), false), 1031,
                   "German"},
        ChoiceCase{"Utf16BigEndianByteOrderMark",
                   "\xfe\xff" + utf16(QStringLiteral("1031,German.lang.txt\r\n"), true), 1031,
                   "German"},
        ChoiceCase{"Utf16WithoutByteOrderMarkMatchesNothing",
                   utf16(QStringLiteral("1031,German.lang.txt\r\n"), false), 1031, "Send"},
        ChoiceCase{"SingleByteTableReadAsLatin1",
                   "1031,Gr\xfc\xdf"
                   "e.lang.txt\n",
                   1031, "Latin1"}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

TEST_F(Translate, NoLanguageFolderStaysEnglish) {
    const QTemporaryDir root;
    translator.languageInitialisation(QString(), root.filePath(QStringLiteral("Languages")), 1031);
    EXPECT_EQ(translator.translate(QStringLiteral("Send")), QStringLiteral("Send"));
}

TEST_F(Translate, GivenNameSkipsTheCodeTableAndIsNotTrimmed) {
    LanguageFolder folder;
    folder.language(QStringLiteral("German.lang.txt"), "German");
    folder.language(QStringLiteral("French.lang.txt"), "French");
    folder.write(QStringLiteral("LanguageCodes.csv"), "1031,German.lang.txt\n");

    translator.languageInitialisation(QStringLiteral("French.lang.txt"), folder.path(), 1031);
    EXPECT_EQ(translator.translate(QStringLiteral("Send")), QStringLiteral("French"));
    Translator untrimmed;
    untrimmed.languageInitialisation(QStringLiteral(" French.lang.txt"), folder.path(), 1031);
    EXPECT_EQ(untrimmed.translate(QStringLiteral("Send")), QStringLiteral("Send"));
}

TEST_F(Translate, UnreadableLanguageFileIsReportedAndLeavesEveryKeyEnglish) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a file that opens but cannot be read: /proc/self/mem";
#endif
    LanguageFolder folder;
    folder.create();
    // Opens as a file but every read fails, even for root.
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), folder.path() + "/Broken.lang.txt"));
    EXPECT_THROW(
        translator.languageInitialisation(QStringLiteral("Broken.lang.txt"), folder.path(), 1033),
        AppError);
    EXPECT_EQ(translator.translate(QStringLiteral("Send")), QStringLiteral("Send"));
}

struct LookupCase {
    const char* name;
    QByteArray file;
    QString key;
    QString expected;
};

void PrintTo(const LookupCase& c, std::ostream* os) {
    *os << c.name;
}

class Lookup : public Translate, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(Lookup, FindsTheTranslation) {
    const LookupCase& c = GetParam();
    LanguageFolder folder;
    folder.write(QStringLiteral("Test.lang.txt"), c.file);
    translator.languageInitialisation(QStringLiteral("Test.lang.txt"), folder.path(), 1033);
    EXPECT_EQ(translator.translate(c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Lookup,
    ::testing::Values(
        LookupCase{"Entry", "{Send}T\n", "Send", "T"},
        LookupCase{"NoEntry", "{Send}T\n", "OK", "OK"},
        LookupCase{"KeyIsCaseSensitive", "{send}T\n", "Send", "Send"},
        LookupCase{"SpaceBeforeBraceNeverMatches", " {Send}T\n", "Send", "Send"},
        LookupCase{"EmptyTranslationGivesTheKey", "{Send}\n{Send}B\n", "Send", "Send"},
        LookupCase{"FirstLineWins", "{Send}A\n{Send}B\n", "Send", "A"},
        LookupCase{"TranslationKeptVerbatim", "{OK}A } \n", "OK", "A } "},
        LookupCase{"KeyMustBeClosed", "{Sendx}T\n{Send\n", "Send", "Send"},
        LookupCase{"TrailingSpaceInKey", "{Saved as file:}A\n{Saved as file: }B: \n",
                   "Saved as file: ", "B: "},
        LookupCase{"Utf8ByteOrderMarkSkipped", "\xef\xbb\xbf{Send}T\n", "Send", "T"},
        LookupCase{"Utf16FileMatchesNothing",
                   "\xff\xfe" + utf16(QStringLiteral("{Send}T\r\n"), false), "Send", "Send"},
        LookupCase{"CrLfLineEnds", "x\r\n{Send}T\r\n{OK}Y\r\n", "Send", "T"},
        LookupCase{"CrLineEnds", "x\r{OK}Y\r{Send}T\r", "Send", "T"},
        LookupCase{"LastLineWithoutLineEnd", "x\n{Send}T", "Send", "T"},
        LookupCase{"Utf8Text",
                   "{Send}\xc3\x9c"
                   "ber\n",
                   "Send", QStringLiteral(u"Über")},
        // U+212A KELVIN SIGN is canonically the letter K: equal under the locale's collation.
        LookupCase{"CanonicallyEquivalentKey", "{O\xe2\x84\xaa}T\n", "OK", "T"}),
    [](const ::testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.name); });

TEST(FillPlaceholders, ReplacesInOrderWithoutFormatting) {
    struct Case {
        QString format;
        QStringList values;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"Failed to load %s: %s", {"a.xml", "bad"}, "Failed to load a.xml: bad"},
        {"%s yüklenemedi: %s", {"a.xml", "bad"}, "a.xml yüklenemedi: bad"},
        {"%n %d %x %s", {"v"}, "%n %d %x v"},
        {"%s %s %s", {"a"}, "a %s %s"},
        {"%s", {"%s%n", "unused"}, "%s%n"},
        {"no placeholder", {"a"}, "no placeholder"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fillPlaceholders(c.format, c.values), c.expected) << c.format.toStdString();
}

} // namespace
