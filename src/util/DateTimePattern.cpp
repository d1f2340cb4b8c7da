#include "util/DateTimePattern.h"

namespace util {

namespace {

QString number(int value, qsizetype runLength)
{
    return runLength == 1 ? QString::number(value)
                          : QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

char16_t lowerLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') ? static_cast<char16_t>(u + (u'a' - u'A')) : u;
}

bool isLetter(char16_t u)
{
    return u >= u'a' && u <= u'z';
}

} // namespace

QString formatDateTime(const QDateTime &moment, const QString &pattern, const QLocale &locale)
{
    const QDate date = moment.date();
    const QTime time = moment.time();
    QString out;
    char16_t lastLetter = 0;
    qsizetype i = 0;
    while (i < pattern.size()) {
        const QChar c = pattern.at(i);
        if (c == u'"' || c == u'\'') {
            qsizetype closing = pattern.indexOf(c, i + 1);
            if (closing < 0)
                closing = pattern.size();
            out += pattern.mid(i + 1, closing - i - 1);
            i = closing + 1;
            continue;
        }
        const char16_t letter = lowerLetter(c);
        qsizetype run = 1;
        while (i + run < pattern.size() && lowerLetter(pattern.at(i + run)) == letter)
            ++run;

        char16_t token = letter;
        if (token == u'm' && lastLetter == u'h' && run <= 2)
            token = u'n';
        switch (token) {
        case u'y':
            out += run <= 2 ? QStringLiteral("%1").arg(date.year() % 100, 2, 10, QLatin1Char('0'))
                            : QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
            break;
        case u'm':
            if (run <= 2)
                out += number(date.month(), run);
            else
                out += locale.monthName(date.month(),
                                        run == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
            break;
        case u'd':
            if (run <= 2)
                out += number(date.day(), run);
            else
                out += locale.dayName(date.dayOfWeek(),
                                      run == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
            break;
        case u'h':
            out += number(time.hour(), run);
            break;
        case u'n':
            out += number(time.minute(), run);
            break;
        case u's':
            out += number(time.second(), run);
            break;
        case u'z':
            out += run <= 2 ? QString::number(time.msec())
                            : QStringLiteral("%1").arg(time.msec(), 3, 10, QLatin1Char('0'));
            break;
        default:
            out += pattern.mid(i, run);
            break;
        }
        if (isLetter(letter))
            lastLetter = token;
        i += run;
    }
    return out;
}

} // namespace util
