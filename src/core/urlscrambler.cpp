#include "core/urlscrambler.h"

#include "core/textlines.h"

#include <QByteArray>
#include <cstdint>

namespace {

constexpr std::uint16_t startKey = 0x6B1D;
constexpr std::uint16_t k1 = 0x9E37;
constexpr std::uint16_t k2 = 0x3C6F;

// The state advances from the scrambled byte in both directions, so one step serves both.
std::uint16_t advance(std::uint16_t state, unsigned char scrambledByte) {
    return static_cast<std::uint16_t>((scrambledByte + state) * k1 + k2);
}

unsigned char keyByte(std::uint16_t state) {
    return static_cast<unsigned char>(state >> 8);
}

} // namespace

namespace urlscrambler {

QString scramble(const QString& text) {
    const QByteArray plain = text.toUtf8();
    QByteArray scrambled;
    scrambled.reserve(plain.size());
    std::uint16_t state = startKey;
    for (const char c : plain) {
        const auto out = static_cast<unsigned char>(static_cast<unsigned char>(c) ^ keyByte(state));
        scrambled.append(static_cast<char>(out));
        state = advance(state, out);
    }
    return QString::fromLatin1(scrambled.toHex().toUpper());
}

QString unscramble(const QString& hexText) {
    // Digits of either case; other letters stay invalid (a full Unicode upper-casing
    // could turn a ligature into hexadecimal digits).
    QByteArray plain;
    plain.reserve(hexText.size() / 2);
    std::uint16_t state = startKey;
    for (qsizetype i = 0; i + 1 < hexText.size(); i += 2) {
        const int high = hexDigitValue(hexText.at(i));
        const int low = hexDigitValue(hexText.at(i + 1));
        if (high < 0 || low < 0)
            return {};
        const auto stored = static_cast<unsigned char>(high * 16 + low);
        plain.append(static_cast<char>(stored ^ keyByte(state)));
        state = advance(state, stored);
    }
    return QString::fromUtf8(plain);
}

} // namespace urlscrambler
