// The settings store where it keeps a key as an INI file: where the file lies, the text it
// holds, values of other types written into it by hand, and errors of the file system.
#include "core/apperror.h"
#include "core/settingsstore.h"
#include "support/tempconfighome.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

const QString keyName = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");

class SettingsFileTest : public ::testing::Test {
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

TEST_F(SettingsFileTest, ValueOfAnotherTypeMakesTheReadRaise) {
    const char* stored[] = {"@ByteArray(1)", "1, 2", "@Rect(0 0 10 10)",
                            R"(@Variant(\0\0\0\x2\0\0\0\0\x1))"};
    for (const char* value : stored) {
        writeSettingsFile(QStringLiteral("[Settings]\nShowUpdate=%1\nHowMany=2\n").arg(value));
        EXPECT_THROW(store.readString("ShowUpdate"), AppError) << value;
        EXPECT_THROW(store.readInteger("ShowUpdate", 1), AppError) << value;
        EXPECT_EQ(store.readInteger("HowMany", 0), 2) << value;
    }
}

TEST_F(SettingsFileTest, WritesCreateTheFoldersAndFileAndStoreText) {
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

TEST_F(SettingsFileTest, FailingWriteRaises) {
    // A folder where the file should be: the write cannot replace it, even as root.
    ASSERT_TRUE(QDir().mkpath(store.filePath()));
    EXPECT_THROW(store.writeString("HowMany", "1"), AppError);
    EXPECT_EQ(store.readString("HowMany"), QString());
}

TEST_F(SettingsFileTest, OpenFailsWhenTheFolderCannotBeMade) {
    writeTextFile(home.path() + "/SOFTWARE", "a file where a folder belongs");
    EXPECT_THROW(store.open(), AppError);
    EXPECT_EQ(store.readString("HowMany"), QString());
    EXPECT_THROW(store.writeString("HowMany", "1"), AppError);
}
