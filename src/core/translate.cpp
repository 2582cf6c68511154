#include "core/translate.h"

#include "core/apperror.h"
#include "core/languageid.h"
#include "core/textlines.h"
#include "platform/collation.h"
#include "platform/executablepath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <memory>

// Written once by the language initialisation, before the program reads a text; only read
// afterwards.
struct Translator::LanguageState {
    QString folder;
    QStringList candidates;
    QString filePath; // set: a language is in effect
    QStringList table;
    std::unique_ptr<platform::Collator> collator;
};

namespace {

using LanguageState = Translator::LanguageState;

const QString codeTableName = QStringLiteral("LanguageCodes.csv");

bool startsWith(const QByteArray& bytes, std::initializer_list<unsigned char> prefix) {
    if (bytes.size() < qsizetype(prefix.size()))
        return false;
    qsizetype i = 0;
    for (const unsigned char b : prefix) {
        if (static_cast<unsigned char>(bytes.at(i++)) != b)
            return false;
    }
    return true;
}

// A byte-order mark chooses UTF-8 or UTF-16; otherwise the system's character set (UTF-8
// here), and a file that is not valid in it is read as Latin-1, the single-byte fallback.
QString decodeCodeTable(const QByteArray& bytes) {
    if (startsWith(bytes, {0xEF, 0xBB, 0xBF}))
        return QString::fromUtf8(bytes.mid(3));
    if (startsWith(bytes, {0xFF, 0xFE})) {
        QStringDecoder decoder(QStringConverter::Utf16LE);
        return decoder(bytes.mid(2));
    }
    if (startsWith(bytes, {0xFE, 0xFF})) {
        QStringDecoder decoder(QStringConverter::Utf16BE);
        return decoder(bytes.mid(2));
    }
    QStringDecoder system(QStringConverter::System);
    QString text = system(bytes);
    if (system.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

// The file name the code table assigns to a language identifier, or empty. A table that
// cannot be read counts as empty.
QString wantedFileName(const QString& tablePath, quint32 languageId) {
    QFile file(tablePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};
    const QString id = QString::number(languageId);
    for (const QString& line : splitLines(decodeCodeTable(bytes))) {
        const qsizetype comma = line.indexOf(u',');
        if (comma < 0)
            continue;
        if (trimSpacesAndControls(line.left(comma)) == id)
            return trimSpacesAndControls(line.mid(comma + 1));
    }
    return {};
}

// Entries of the folder whose names end in "lang.txt" in any mix of case ("German.LANG.TXT"
// counts), directories left out. Sorted by name so that the first match does not depend on
// the file system's order.
QStringList candidateNames(const QString& folder) {
    QDir dir(folder);
    dir.setNameFilters({QStringLiteral("*lang.txt")});
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::System);
    dir.setSorting(QDir::Name);
    return dir.entryList();
}

void loadTable(LanguageState& language) {
    QFile file(language.filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2")
                           .arg(QDir::toNativeSeparators(language.filePath), file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AppError(QStringLiteral("Cannot read file \"%1\". %2")
                           .arg(QDir::toNativeSeparators(language.filePath), file.errorString()));
    if (startsWith(bytes, {0xEF, 0xBB, 0xBF}))
        bytes.remove(0, 3);
    language.table = splitLines(QString::fromUtf8(bytes));
}

// A line's key matches when it equals the text under the locale's collation at tertiary
// strength: canonically equivalent spellings match, while case and accents still count.
// Plain equality answers nearly every line at once.
bool keyMatches(const LanguageState& language, QStringView linePrefix, QStringView pattern) {
    if (linePrefix == pattern)
        return true;
    if (!language.collator)
        return false;
    return language.collator->equal(linePrefix, pattern);
}

} // namespace

Translator::Translator() : m_language(std::make_unique<LanguageState>()) {}

Translator::~Translator() = default;

void Translator::languageInitialisation(const QString& name) {
    languageInitialisation(name, platform::executableFolder() + QStringLiteral("Languages"),
                           languageid::userUiLanguage());
}

void Translator::languageInitialisation(const QString& name, const QString& languageFolder,
                                        quint32 userLanguageId) {
    LanguageState& language = *m_language;
    language.folder = languageFolder;
    language.candidates.clear();
    if (!QFileInfo(language.folder).isDir())
        return;
    language.candidates = candidateNames(language.folder);

    QString chosen = name;
    const QString tablePath = language.folder + u'/' + codeTableName;
    if (trimSpacesAndControls(name).isEmpty() && QFileInfo(tablePath).isFile()) {
        const QString wanted = asciiLower(wantedFileName(tablePath, userLanguageId));
        for (const QString& candidate : std::as_const(language.candidates)) {
            if (asciiLower(candidate) == wanted) {
                chosen = candidate;
                break;
            }
        }
    }

    const QString path = language.folder + u'/' + chosen;
    if (!QFileInfo(path).isFile())
        return;
    language.filePath = path;
    language.table.clear();
    language.collator = platform::openCollator();
    loadTable(language);
}

QString Translator::translate(const QString& key) const {
    const LanguageState& language = *m_language;
    if (language.filePath.isEmpty())
        return key;
    const QString pattern = u'{' + key + u'}';
    for (const QString& line : language.table) {
        if (line.size() < pattern.size() ||
            !keyMatches(language, QStringView(line).first(pattern.size()), pattern))
            continue;
        const QString translation = line.mid(line.indexOf(u'}') + 1);
        return translation.isEmpty() ? key : translation;
    }
    return key;
}

QString fillPlaceholders(const QString& format, const QStringList& values) {
    QString result;
    qsizetype next = 0;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = format.indexOf(QStringLiteral("%s"), from);
        if (at < 0 || next >= values.size())
            break;
        result += format.mid(from, at - from);
        result += values.at(next++);
        from = at + 2;
    }
    result += format.mid(from);
    return result;
}

QString localeName() {
    const QString name = languageid::isoName(languageid::currentLocale());
    return name.isEmpty() ? QStringLiteral("xx") : name;
}
