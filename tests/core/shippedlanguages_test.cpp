#include "core/translate.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QString shippedFolder = QStringLiteral(BRINDLEAF_SOURCE_DIR "/share/Languages");

// Every text the program passes to translate.
const QStringList messageKeys = {
    "About %s",
    "OK",
    "Info",
    "Acknowledgements...",
    "How to uninstall...",
    "License...",
    "File not found!",
    "License",
    "feedback",
    "We would really appreciate your feedback.",
    "What did you like or dislike?",
    "Include my e-mail:",
    "Send",
    "I like it!",
    "I dislike it!",
    "Invalid e-mail address!",
    "Failure",
    "Your feedback is received.",
    "Thank you!",
    "Success",
    "Something went wrong. Your feedback could not be delivered.",
    "Please try again later.",
    "UPDATE AVAILABLE",
    "Click to download",
    "No XML files added!",
    "WARNING",
    "Root element mismatch in file: %s",
    "ERROR",
    "Failed to load %s: %s",
    "Saved as file: ",
    "SUCCESS",
};

// Words that read the same in some of the shipped languages.
const QStringList mayStayEnglish = {"OK", "Info", "ERROR"};

QStringList shippedLanguageFiles() {
    return QDir(shippedFolder).entryList({QStringLiteral("*lang.txt")}, QDir::Files, QDir::Name);
}

QStringList percentSequences(const QString& text) {
    QStringList found;
    static const QRegularExpression percent(QStringLiteral("%."));
    for (const QRegularExpressionMatch& m : percent.globalMatch(text))
        found << m.captured();
    return found;
}

TEST(ShippedLanguages, EveryFileTranslatesEveryKeyKeepingItsPlaceholders) {
    const QStringList files = shippedLanguageFiles();
    ASSERT_EQ(files.size(), 5);
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        Translator translator;
        translator.languageInitialisation(file, shippedFolder, 1033);
        ASSERT_EQ(messageKeys.size(), 31);
        for (const QString& key : messageKeys) {
            SCOPED_TRACE(key.toStdString());
            const QString text = translator.translate(key);
            if (!mayStayEnglish.contains(key)) {
                EXPECT_NE(text, key);
            }
            EXPECT_EQ(percentSequences(text), percentSequences(key));
            EXPECT_EQ(text.endsWith(u' '), key.endsWith(u' '));
            EXPECT_EQ(text.trimmed().isEmpty(), false);
        }
    }
}

TEST(ShippedLanguages, CodeTableNamesOnlyShippedFilesOncePerIdentifier) {
    QFile table(shippedFolder + QStringLiteral("/LanguageCodes.csv"));
    ASSERT_TRUE(table.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList files = shippedLanguageFiles();
    QHash<QString, QString> fileOf;
    for (const QByteArray& raw : table.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(u',');
        ASSERT_EQ(fields.size(), 2) << line.toStdString();
        bool isNumber = false;
        fields[0].toUInt(&isNumber);
        EXPECT_TRUE(isNumber) << line.toStdString();
        EXPECT_TRUE(files.contains(fields[1])) << line.toStdString();
        EXPECT_FALSE(fileOf.contains(fields[0])) << line.toStdString();
        fileOf.insert(fields[0], fields[1]);
    }
    const QHash<QString, QString> usual = {{"1031", "German.lang.txt"},
                                           {"2055", "German.lang.txt"},
                                           {"3079", "German.lang.txt"},
                                           {"4103", "German.lang.txt"},
                                           {"5127", "German.lang.txt"},
                                           {"1036", "French.lang.txt"},
                                           {"2060", "French.lang.txt"},
                                           {"3084", "French.lang.txt"},
                                           {"4108", "French.lang.txt"},
                                           {"5132", "French.lang.txt"},
                                           {"6156", "French.lang.txt"},
                                           {"1034", "Spanish.lang.txt"},
                                           {"3082", "Spanish.lang.txt"},
                                           {"2058", "Spanish.lang.txt"},
                                           {"11274", "Spanish.lang.txt"},
                                           {"9226", "Spanish.lang.txt"},
                                           {"22538", "Spanish.lang.txt"},
                                           {"1055", "Turkish.lang.txt"},
                                           {"1046", "BrazilianPortuguese.lang.txt"}};
    for (auto it = usual.cbegin(); it != usual.cend(); ++it)
        EXPECT_EQ(fileOf.value(it.key()), it.value()) << it.key().toStdString();
}

TEST(ShippedLanguages, UsersLanguageChoosesItsFile) {
    const QHash<quint32, QString> sendIn = {{1031, "Senden"}, {4108, "Envoyer"}, {2058, "Enviar"},
                                            {1055, "Gönder"}, {1046, "Enviar"},  {1033, "Send"},
                                            {1041, "Send"}};
    for (auto it = sendIn.cbegin(); it != sendIn.cend(); ++it) {
        Translator translator;
        translator.languageInitialisation(QString(), shippedFolder, it.key());
        EXPECT_EQ(translator.translate(QStringLiteral("Send")), it.value()) << it.key();
    }
}

} // namespace
