#include "connection/ConnectionFormats.h"

#include <bit>

namespace connection {

namespace {

// Wide enough for the exact product of a 64-bit count and a 64-bit mantissa.
__extension__ typedef unsigned __int128 Uint128;

const QString Base64Alphabet =
    QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");

// The extended-precision value nearest to 0.001 is Thousandth * 2^-73: 2^73 / 1000 is
// 9444732965739290427.392, and its nearest integer fills exactly 64 bits.
constexpr std::uint64_t Thousandth = 9444732965739290427ULL;
constexpr int ThousandthExponent = -73;

std::uint32_t valueOf(QChar c)
{
    // Outside the alphabet: -1, which the decoding formulas use as all bits set.
    return std::uint32_t(Base64Alphabet.indexOf(c));
}

QChar codeUnit(std::uint32_t value)
{
    return QChar(char16_t(value & 0xFFFF));
}

// Rounds value / 2^shift to the nearest integer, ties to even.
Uint128 roundShiftHalfEven(Uint128 value, int shift)
{
    if (shift <= 0)
        return value << -shift;
    const Uint128 quotient = value >> shift;
    const Uint128 remainder = value & ((Uint128{1} << shift) - 1);
    const Uint128 half = Uint128{1} << (shift - 1);
    if (remainder > half || (remainder == half && (quotient & 1)))
        return quotient + 1;
    return quotient;
}

int bitLength(Uint128 value)
{
    const auto high = std::uint64_t(value >> 64);
    return high ? 128 - std::countl_zero(high) : 64 - std::countl_zero(std::uint64_t(value));
}

QString twoDigits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString DecodeBase64Text(const QString &text)
{
    qsizetype n = text.size();
    if (n > 0 && text.at(n - 1) == u'=')
        --n;
    if (n > 0 && text.at(n - 1) == u'=')
        --n;

    QString result;
    result.reserve(n / 4 * 3 + 2);
    const auto first = [](std::uint32_t a, std::uint32_t b) {
        return ((a << 2) & 0xFC) | ((b >> 4) & 0x03);
    };
    const auto second = [](std::uint32_t b, std::uint32_t c) {
        return ((b << 4) & 0xF0) | ((c >> 2) & 0x0F);
    };
    qsizetype at = 0;
    for (; at + 4 <= n; at += 4) {
        const std::uint32_t a = valueOf(text.at(at));
        const std::uint32_t b = valueOf(text.at(at + 1));
        const std::uint32_t c = valueOf(text.at(at + 2));
        const std::uint32_t d = valueOf(text.at(at + 3));
        result += codeUnit(first(a, b));
        result += codeUnit(second(b, c));
        result += codeUnit(((c << 6) & 0xC0) | d);
    }
    const qsizetype rest = n - at;
    if (rest >= 2) {
        const std::uint32_t a = valueOf(text.at(at));
        const std::uint32_t b = valueOf(text.at(at + 1));
        result += codeUnit(first(a, b));
        if (rest == 3)
            result += codeUnit(second(b, valueOf(text.at(at + 2))));
    }
    return result;
}

std::uint64_t Kilobytes(std::uint64_t bytes)
{
    // The exact product, then rounded to a 64-bit mantissa as the extended multiply does.
    Uint128 product = Uint128{bytes} * Thousandth;
    int exponent = ThousandthExponent;
    if (const int excess = bitLength(product) - 64; excess > 0) {
        product = roundShiftHalfEven(product, excess);
        exponent += excess;
    }
    return std::uint64_t(roundShiftHalfEven(product, -exponent));
}

QString TrafficLine(std::uint64_t bytesSent, std::uint64_t bytesReceived, qint64 onlineMs)
{
    const qint64 secondsOfDay = (onlineMs / 1000) % 86400;
    return QStringLiteral("已加速:%1KB/%2KB  在线时间:%3:%4:%5")
        .arg(Kilobytes(bytesSent))
        .arg(Kilobytes(bytesReceived))
        .arg(twoDigits(secondsOfDay / 3600), twoDigits(secondsOfDay / 60 % 60),
             twoDigits(secondsOfDay % 60));
}

QString EntryName(const QDateTime &moment)
{
    const QDate date = moment.date();
    const QTime time = moment.time();
    return twoDigits(date.month()) + twoDigits(date.day()) + QString::number(time.hour()) +
           QString::number(time.minute()) + QString::number(time.second()) + twoDigits(time.msec());
}

QString UniqueId(const QDateTime &moment, const std::function<int()> &nextDigit)
{
    QString id = QString::number(moment.date().year()).rightJustified(4, u'0') + EntryName(moment);
    for (int i = 0; i < 8; ++i)
        id += QChar(u'0' + nextDigit());
    return id;
}

} // namespace connection
