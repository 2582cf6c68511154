#include "core/urlscrambler.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

// A text of random code points (no surrogates: those are not text on their own).
QString randomText(QRandomGenerator& random) {
    const int length = static_cast<int>(random.bounded(0, 40));
    QString text;
    for (int i = 0; i < length; ++i) {
        char32_t c = 0;
        switch (random.bounded(3)) {
        case 0:
            c = static_cast<char32_t>(random.bounded(0, 0x80));
            break;
        case 1:
            c = static_cast<char32_t>(random.bounded(0x80, 0xD800));
            break;
        default:
            c = static_cast<char32_t>(random.bounded(0xE000, 0x110000));
            break;
        }
        text += QString::fromUcs4(&c, 1);
    }
    return text;
}

} // namespace

TEST(UrlScrambler, RoundTripOfChosenTexts) {
    const QString texts[] = {
        QString(),
        QStringLiteral("h"),
        QStringLiteral("http://quenlow.example/download/brindleaf-setup.exe"),
        QStringLiteral("https://example.test:8443/a b?c=d&e=%20#frag"),
        QStringLiteral(u"http://bücher.example/über/日本語/\U0001F600"),
        QString(QChar(0)) + QStringLiteral("after nul"),
        QString(2000, QLatin1Char('x')),
    };
    for (const QString& text : texts) {
        const QString scrambled = urlscrambler::scramble(text);
        EXPECT_EQ(scrambled.size(), 2 * text.toUtf8().size());
        EXPECT_EQ(urlscrambler::unscramble(scrambled), text) << text.toStdString();
    }
}

TEST(UrlScrambler, RoundTripOfRandomTexts) {
    QRandomGenerator random(20261210);
    static const QRegularExpression upperHex(QStringLiteral("^([0-9A-F]{2})*$"));
    for (int i = 0; i < 2000; ++i) {
        const QString text = randomText(random);
        const QString scrambled = urlscrambler::scramble(text);
        ASSERT_TRUE(upperHex.match(scrambled).hasMatch()) << scrambled.toStdString();
        ASSERT_EQ(urlscrambler::unscramble(scrambled), text) << "case " << i;
    }
}

TEST(UrlScrambler, StoredFormDoesNotShowTheAddress) {
    const QString address = QStringLiteral("http://quenlow.example/download/");
    const QString scrambled = urlscrambler::scramble(address);
    EXPECT_NE(scrambled, QString::fromLatin1(address.toUtf8().toHex().toUpper()));
    // Each byte depends on the ones before it: equal plain bytes scramble differently.
    const QString repeated = urlscrambler::scramble(QStringLiteral("aaaa"));
    EXPECT_FALSE(repeated.mid(0, 2) == repeated.mid(2, 2) &&
                 repeated.mid(2, 2) == repeated.mid(4, 2));
}

TEST(UrlScrambler, MalformedStoredText) {
    const QString text = QStringLiteral("http://quenlow.example/");
    const QString scrambled = urlscrambler::scramble(text);
    // Lower-case digits read the same; a single digit left at the end is ignored.
    EXPECT_EQ(urlscrambler::unscramble(scrambled.toLower()), text);
    EXPECT_EQ(urlscrambler::unscramble(scrambled + "7"), text);
    EXPECT_EQ(urlscrambler::unscramble(QStringLiteral("7")), QString());
    // Any pair that is not hexadecimal empties the whole result.
    const QString malformed[] = {
        QStringLiteral("G1") + scrambled,
        scrambled.left(4) + QStringLiteral("G1") + scrambled.mid(4),
        scrambled.left(4) + QStringLiteral(" 1") + scrambled.mid(4),
        scrambled.left(4) + QStringLiteral(u"\uFB00") + scrambled.mid(4, 1), // "ff" ligature
        scrambled.left(4) + QStringLiteral("-1") + scrambled.mid(4),
    };
    for (const QString& stored : malformed)
        EXPECT_EQ(urlscrambler::unscramble(stored), QString()) << stored.toStdString();
}
