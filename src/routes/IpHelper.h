#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace routes {

// The machine's network state as text, in the fixed column formats the route code parses.
// Addresses are 32-bit values with the first octet in the lowest byte.

// Opens the routing facility if it is not open yet; false while it cannot be opened.
bool BindIpHelper();

// Each octet right-aligned in three characters, joined by dots: always 15 characters.
QString IpAddrToText(std::uint32_t address);
// Four tokens at ".", each read as an integer of which the low 8 bits count; a token that
// is not an integer resets what was read so far to 0. Never fails.
std::uint32_t TextToIpAddr(const QString &text);
QString MacAddrToText(const std::array<std::uint8_t, 8> &bytes, std::uint32_t length);
// The text up to the first separator, removed from text with the separator; the whole
// text when there is none.
QString TakeToken(QString &text, QChar separator);

// One line per neighbour entry: "%8X | %12s | %16s| %10s".
void DumpArpTable(QStringList *lines);
// One line per route, sorted by destination:
// "%15s|%15s|%15s|%8.8X|%7s|   %5.5d|    %7s|        %2.2d".
void DumpRouteTable(QStringList *lines);

} // namespace routes
