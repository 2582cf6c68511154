// The real brindleaf-combine in the language that the LANGUAGE variable asks for, as Linux
// chooses it; Windows takes the user's display language instead.
#include "support/combineprogram.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

TEST_F(BrindleafCombine, SpeaksTheLanguageOfItsLanguageFiles) {
    // A copy of the program beside a language folder of the test's own.
    const QString copy = path("bin/" + QFileInfo(combineProgram()).fileName());
    ASSERT_TRUE(QDir().mkpath(path("bin/Languages")));
    ASSERT_TRUE(QFile::copy(combineProgram(), copy));
    write("bin/Languages/LanguageCodes.csv", "1031,test.lang.txt\r\n");
    write("bin/Languages/test.lang.txt", "\xEF\xBB\xBF"
                                         "{WARNING}WARNUNG\r\n"
                                         "{SUCCESS}ERFOLG\r\n"
                                         "{Root element mismatch in file: %s}Anderes Wurzelelement "
                                         "in Datei: %s\r\n"
                                         "{Saved as file: }Gespeichert als Datei: \r\n");
    const QString out = path("out.xml");
    const QString other = otherRoot();
    const ProgramOutcome r = runCombine({"-o", out, base(), other}, "de", copy);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errText(),
              ("brindleaf-combine: WARNUNG: Anderes Wurzelelement in Datei: " + other + "\n" +
               "brindleaf-combine: ERFOLG: Gespeichert als Datei: " + out + "\n")
                  .toStdString());

    // Without a matching language the messages stay English.
    EXPECT_EQ(
        runCombine({"-o", out, base(), other}, "", copy).errLines().value(0).toStdString(),
        ("brindleaf-combine: WARNING: Root element mismatch in file: " + other).toStdString());
}

// The translation of key in the language file that the shipped code table names for
// language 1031, read as the program reads it.
QString shippedGerman(const QString& key) {
    const QString folder = QStringLiteral(BRINDLEAF_BIN_DIR "/Languages/");
    QString fileName;
    for (const QByteArray& line : readAll(folder + "LanguageCodes.csv").split('\n'))
        if (line.trimmed().startsWith("1031,"))
            fileName = QString::fromUtf8(line.trimmed().mid(5)).trimmed();
    const QString prefix = "{" + key + "}";
    for (const QString& line :
         QString::fromUtf8(readAll(folder + fileName)).split(QRegularExpression("\r\n|\r|\n")))
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    return {};
}

TEST_F(BrindleafCombine, SpeaksGermanWithTheShippedLanguageFiles) {
    const QString warning = shippedGerman("WARNING");
    const QString mismatch = shippedGerman("Root element mismatch in file: %s");
    const QString success = shippedGerman("SUCCESS");
    const QString saved = shippedGerman("Saved as file: ");
    ASSERT_FALSE(warning.isEmpty() || mismatch.isEmpty() || success.isEmpty() || saved.isEmpty());
    ASSERT_NE(warning, "WARNING");

    const QString out = path("out.xml");
    const QString other = otherRoot();
    const ProgramOutcome r = runCombine({"-o", out, base(), other}, "de");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errText(),
              ("brindleaf-combine: " + warning + ": " + QString(mismatch).replace("%s", other) +
               "\nbrindleaf-combine: " + success + ": " + saved + out + "\n")
                  .toStdString());
}

} // namespace
