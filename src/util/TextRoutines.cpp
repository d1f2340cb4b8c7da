#include "util/TextRoutines.h"

#include <limits>
#include <type_traits>

namespace util {

QStringList splitText(const QString &text, const QString &separator)
{
    QStringList pieces;
    QString rest = text;
    if (!separator.isEmpty()) {
        qsizetype at = rest.indexOf(separator);
        while (at >= 0) {
            if (at > 0)
                pieces.append(rest.left(at));
            rest.remove(0, at + separator.size());
            at = rest.indexOf(separator);
        }
    }
    pieces.append(rest);
    return pieces;
}

QString trimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= 0x20)
        ++first;
    while (last > first && text.at(last - 1).unicode() <= 0x20)
        --last;
    return text.mid(first, last - first);
}

QString lowerAscii(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return result;
}

QString upperAscii(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return result;
}

namespace {

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int value = -1;
    if (u >= u'0' && u <= u'9')
        value = u - u'0';
    else if (u >= u'a' && u <= u'f')
        value = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        value = u - u'A' + 10;
    return value < base ? value : -1;
}

template <typename Signed> std::optional<Signed> parseInteger(const QString &text)
{
    using Unsigned = std::make_unsigned_t<Signed>;
    const qsizetype length = text.size();
    qsizetype i = 0;
    while (i < length && text.at(i) == u' ')
        ++i;
    bool negative = false;
    if (i < length && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    int base = 10;
    if (i < length && text.at(i) == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < length && text.at(i) == u'0' &&
               (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == length)
        return std::nullopt;

    const Unsigned limit = base == 16 ? std::numeric_limits<Unsigned>::max()
                                      : static_cast<Unsigned>(std::numeric_limits<Signed>::max()) +
                                            (negative ? 1U : 0U);
    Unsigned magnitude = 0;
    for (; i < length; ++i) {
        const int digit = digitValue(text.at(i), base);
        if (digit < 0)
            return std::nullopt;
        const auto unsignedDigit = static_cast<Unsigned>(digit);
        if (magnitude > (limit - unsignedDigit) / static_cast<Unsigned>(base))
            return std::nullopt;
        magnitude = magnitude * static_cast<Unsigned>(base) + unsignedDigit;
    }
    // Modular conversion: hexadecimal wraps, and the most negative decimal value fits.
    return static_cast<Signed>(negative ? static_cast<Unsigned>(Unsigned{0} - magnitude)
                                        : magnitude);
}

} // namespace

std::optional<qint32> parseInt32(const QString &text)
{
    return parseInteger<qint32>(text);
}

std::optional<qint64> parseInt64(const QString &text)
{
    return parseInteger<qint64>(text);
}

} // namespace util
