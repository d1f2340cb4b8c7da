#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace util {

// Formats a moment with the pattern letters long used by the client's settings and logs
// (letters in either case):
//   y, yy: two-digit year; yyy or more: four-digit year
//   m, mm: month; mmm: short month name; mmmm or more: long month name
//     (m or mm right after an h or hh pattern means minutes, as in "hh:mm")
//   d, dd: day; ddd: short day name; dddd or more: long day name
//   h, hh: hour (24-hour clock); n, nn: minute; s, ss: second
//   z, zz: milliseconds; zzz or more: milliseconds with three digits
//   "text" or 'text': copied as it is
// A single letter gives the number without leading zeros, a doubled one pads to two
// digits. Every other character, including "/" and ":", is copied unchanged.
QString formatDateTime(const QDateTime &moment, const QString &pattern,
                       const QLocale &locale = QLocale());

} // namespace util
