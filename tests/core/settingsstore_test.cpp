#include "core/apperror.h"
#include "core/settingsstore.h"
#include "support/tempconfighome.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

const QString keyName = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");

class SettingsStoreTest : public ::testing::Test {
protected:
    TemporaryConfigHome home;
    SettingsStore store{keyName};

    void writeSettingsFile(const QString& text) { writeTextFile(store.filePath(), text); }
};

} // namespace

TEST(SettingsLocation, KeyFileLiesBelowTheConfigHome) {
    const TemporaryConfigHome home;
    EXPECT_EQ(settings::keyFilePath(keyName),
              home.path() + "/SOFTWARE/Microsoft/VS/ServiceModules/" + keyName + ".ini");
    EXPECT_EQ(SettingsStore(keyName).filePath(), settings::keyFilePath(keyName));
}

TEST(SettingsLocation, UnsetOrRelativeConfigHomeMeansDotConfig) {
    const TemporaryConfigHome home; // restores the variable afterwards
    const QString expected =
        QDir::homePath() + "/.config/SOFTWARE/Microsoft/VS/ServiceModules/" + keyName + ".ini";
    for (const char* value : {"", "relative/folder"}) {
        qputenv("XDG_CONFIG_HOME", value);
        EXPECT_EQ(settings::keyFilePath(keyName), expected) << value;
    }
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(settings::keyFilePath(keyName), expected);
}

TEST(SettingsKeyName, Md5OfTheTitleOneBytePerCharacter) {
    const struct {
        QString title;
        const char* expected;
    } cases[] = {
        {QString(), "D41D8CD98F00B204E9800998ECF8427E"},
        {QStringLiteral("QUENLOW - Brindleaf"), "09A9ABE139B255E6873827B8FA84C933"},
        // Every character outside ASCII hashes as "?", whatever its UTF-8 length.
        {QStringLiteral(u"Ünïcode"), "DF4CB9560B22671B8C747B9D97EE8114"},
        {QStringLiteral(u"?n?code"), "DF4CB9560B22671B8C747B9D97EE8114"},
        {QStringLiteral(u"日本"), "EA03FCB8C47822BCE772CF6C07D0EBBB"},
        {QStringLiteral(u"a\U0001F600b"), "0166D849F21A9D699D896EA2A79A375F"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(settings::settingsKeyName(c.title), QLatin1String(c.expected))
            << c.title.toStdString();
}

TEST_F(SettingsStoreTest, MissingFileGroupOrValueReadsAsDefault) {
    const QString layouts[] = {
        QString(), // no file at all
        QStringLiteral("[Other]\nShowUpdate=0\n"),
        QStringLiteral("[Settings]\nHowMany=3\n"),
    };
    for (const QString& layout : layouts) {
        if (!layout.isNull())
            writeSettingsFile(layout);
        EXPECT_EQ(store.readString("HowMany"), layout.contains("HowMany") ? "3" : "");
        EXPECT_EQ(store.readString("ShowUpdate"), QString());
        EXPECT_EQ(store.readInteger("ShowUpdate", 1), 1);
        if (layout.isNull()) {
            EXPECT_FALSE(QFileInfo::exists(store.filePath())) << "reads create nothing";
        }
    }
}

TEST_F(SettingsStoreTest, IntegersAreReadFromDecimalText) {
    const struct {
        const char* stored;
        int expected;
    } cases[] = {{"17", 17}, {"-3", -3},  {"0", 0},           {"abc", 42},
                 {"", 42},   {"1.5", 42}, {"99999999999", 42}};
    for (const auto& c : cases) {
        writeSettingsFile(QStringLiteral("[Settings]\nHowMany=%1\n").arg(c.stored));
        EXPECT_EQ(store.readInteger("HowMany", 42), c.expected) << c.stored;
    }
}

TEST_F(SettingsStoreTest, ValueOfAnotherTypeMakesTheReadRaise) {
    const char* stored[] = {"@ByteArray(1)", "1, 2", "@Rect(0 0 10 10)",
                            R"(@Variant(\0\0\0\x2\0\0\0\0\x1))"};
    for (const char* value : stored) {
        writeSettingsFile(QStringLiteral("[Settings]\nShowUpdate=%1\nHowMany=2\n").arg(value));
        EXPECT_THROW(store.readString("ShowUpdate"), AppError) << value;
        EXPECT_THROW(store.readInteger("ShowUpdate", 1), AppError) << value;
        EXPECT_EQ(store.readInteger("HowMany", 0), 2) << value;
    }
}

TEST_F(SettingsStoreTest, WritesCreateTheFoldersAndFileAndStoreText) {
    ASSERT_FALSE(QFileInfo::exists(store.filePath()));
    store.writeInteger("HowMany", 17);
    store.writeString("InstalledVersion", "1.4");
    store.setNotificationsOff();
    const QString text = readTextFile(store.filePath());
    EXPECT_TRUE(text.startsWith("[Settings]\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nHowMany=17\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nInstalledVersion=1.4\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nShowUpdate=0\n")) << text.toStdString();
    store.setNotificationsOn();
    EXPECT_EQ(store.readString("ShowUpdate"), "1");
}

TEST_F(SettingsStoreTest, TextsReadBackAsWritten) {
    // Commas and a leading "@" must not turn a text into a list or another type.
    const QString texts[] = {QStringLiteral("a, b"), QStringLiteral("@ByteArray(1)"),
                             QStringLiteral(u"Grüße \"quoted\" ; # = \\"), QStringLiteral(" "),
                             QString()};
    for (const QString& text : texts) {
        store.writeString("CurrentVersion", text);
        EXPECT_EQ(store.readString("CurrentVersion"), text) << text.toStdString();
    }
}

TEST_F(SettingsStoreTest, ReadStopsAtTheFirstNul) {
    store.writeString("CurrentVersion", QStringLiteral("1.5") + QChar(0) + "junk");
    EXPECT_EQ(store.readString("CurrentVersion"), "1.5");
}

TEST_F(SettingsStoreTest, FailingWriteRaises) {
    // A folder where the file should be: the write cannot replace it, even as root.
    ASSERT_TRUE(QDir().mkpath(store.filePath()));
    EXPECT_THROW(store.writeString("HowMany", "1"), AppError);
    EXPECT_EQ(store.readString("HowMany"), QString());
}

TEST_F(SettingsStoreTest, OpenFailsWhenTheFolderCannotBeMade) {
    writeTextFile(home.path() + "/SOFTWARE", "a file where a folder belongs");
    EXPECT_THROW(store.open(), AppError);
    EXPECT_EQ(store.readString("HowMany"), QString());
    EXPECT_THROW(store.writeString("HowMany", "1"), AppError);
}
