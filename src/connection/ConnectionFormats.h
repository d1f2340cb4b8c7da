#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>

namespace connection {

// The back end's line-check encoding: Base64 where each decoded byte becomes one
// character, trailing "=" ignored, and characters outside the alphabet taking part in
// the arithmetic as -1 rather than being rejected, as the back end's other clients do.
QString DecodeBase64Text(const QString &text);

// Bytes as whole kilobytes: bytes times the extended-precision (64-bit mantissa) value
// nearest to 0.001, rounded to that precision, then to the nearest integer with ties to
// even. Computed exactly, so it does not depend on the compiler's long double: 1500 gives
// 1, 2500 gives 2, 1501 gives 2.
std::uint64_t Kilobytes(std::uint64_t bytes);

// "已加速:<sent>KB/<received>KB  在线时间:hh:nn:ss"; only the time of day of the online
// time is shown, so the hours start again at 00 after a day.
QString TrafficLine(std::uint64_t bytesSent, std::uint64_t bytesReceived, qint64 onlineMs);

// Name of the phone-book entry of a dial started at moment: month and day with two
// digits, hour, minute and second without leading zeros, milliseconds with at least two.
QString EntryName(const QDateTime &moment);
// The connection's id for the back end: the year, the entry name of that moment, then
// eight random decimal digits drawn from nextDigit (each 0 to 9).
QString UniqueId(const QDateTime &moment, const std::function<int()> &nextDigit);

} // namespace connection
