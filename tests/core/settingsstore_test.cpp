#include "core/apperror.h"
#include "core/settingsstore.h"
#include "support/tempsettingskey.h"

#include <QRect>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    TemporarySettingsKey key;
    SettingsStore store{key.name()};
};

} // namespace

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

TEST_F(SettingsStoreTest, MissingKeyGroupOrValueReadsAsDefault) {
    const struct {
        const char* key; // what is stored before the reads: nothing, or "0" or "3" there
        const char* value;
    } layouts[] = {{nullptr, nullptr}, {"Other/ShowUpdate", "0"}, {"Settings/HowMany", "3"}};
    for (const auto& layout : layouts) {
        if (layout.key)
            key.writeValue(layout.key, QString::fromLatin1(layout.value));
        const bool howMany = layout.key && QLatin1String(layout.key) == "Settings/HowMany";
        EXPECT_EQ(store.readString("HowMany"), howMany ? "3" : "");
        EXPECT_EQ(store.readString("ShowUpdate"), QString());
        EXPECT_EQ(store.readInteger("ShowUpdate", 1), 1);
        if (!layout.key) {
            EXPECT_FALSE(key.exists()) << "reads create nothing";
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
        key.writeValue("Settings/HowMany", QString::fromLatin1(c.stored));
        EXPECT_EQ(store.readInteger("HowMany", 42), c.expected) << c.stored;
    }
}

// Values kept as another type than text by the platform's own settings: a list, bytes, a
// rectangle, and in the registry a number; the read raises, and the other values still read.
TEST_F(SettingsStoreTest, ValueStoredAsAnotherTypeMakesTheReadRaise) {
    const QVariant stored[] = {
        QStringList{"1", "2"}, QByteArray("1"), QRect(0, 0, 10, 10),
#ifdef _WIN32
        1, // a DWORD value
#endif
    };
    key.writeValue("Settings/HowMany", QStringLiteral("2"));
    for (const QVariant& value : stored) {
        key.writeValue("Settings/ShowUpdate", value);
        EXPECT_THROW(store.readString("ShowUpdate"), AppError) << value.typeName();
        EXPECT_THROW(store.readInteger("ShowUpdate", 1), AppError) << value.typeName();
        EXPECT_EQ(store.readInteger("HowMany", 0), 2) << value.typeName();
    }
}

// Every value is stored as text in the group "Settings", integers in decimal.
TEST_F(SettingsStoreTest, WritesStoreText) {
    store.writeInteger("HowMany", 17);
    store.writeString("InstalledVersion", "1.4");
    store.setNotificationsOff();
    EXPECT_EQ(key.readValue("Settings/HowMany"), QVariant(QStringLiteral("17")));
    EXPECT_EQ(key.readValue("Settings/InstalledVersion"), QVariant(QStringLiteral("1.4")));
    EXPECT_EQ(key.readValue("Settings/ShowUpdate"), QVariant(QStringLiteral("0")));
    store.setNotificationsOn();
    EXPECT_EQ(store.readString("ShowUpdate"), "1");
    EXPECT_EQ(store.readInteger("HowMany", 0), 17);
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
