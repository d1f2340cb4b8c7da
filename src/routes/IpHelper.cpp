#include "routes/IpHelper.h"

#include "app/Services.h"
#include "platform/routing/RoutingTable.h"
#include "util/TextRoutines.h"

#include <array>

namespace routes {

namespace {

const std::array<const char *, 5> RouteTypes = {"", "other", "invalid", "local", "remote"};
const std::array<const char *, 19> RouteProtocols = {
    "",      "OTHER", "LOCAL", "NETMGMT", "ICMP", "EGP",   "GGP",       "HELO",   "RIP",    "IS_IS",
    "ES_IS", "CISCO", "BBN",   "OSPF",    "BGP",  "BOOTP", "AUTO_STAT", "STATIC", "NOT_DOD"};
const std::array<const char *, 5> NeighbourTypes = {"", "Other", "Invalid", "Dynamic", "Static"};

template <std::size_t N>
QString nameOf(const std::array<const char *, N> &names, std::uint32_t value)
{
    return QString::fromLatin1(value < N ? names[value] : names[0]);
}

QString rightAligned(const QString &text, int width)
{
    return text.rightJustified(width, u' ');
}

QString errorLine(std::uint32_t code)
{
    return QString::fromStdString(app::services().routing->errorText(code));
}

} // namespace

bool BindIpHelper()
{
    return app::services().routing->open();
}

QString IpAddrToText(std::uint32_t address)
{
    QStringList octets;
    for (int shift = 0; shift < 32; shift += 8)
        octets << rightAligned(QString::number((address >> shift) & 0xFF), 3);
    return octets.join(u'.');
}

std::uint32_t TextToIpAddr(const QString &text)
{
    QString rest = text;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const std::optional<qint32> octet = util::parseInt32(TakeToken(rest, u'.'));
        value = octet ? (value >> 8) | (std::uint32_t(*octet) << 24) : 0;
    }
    return value;
}

QString MacAddrToText(const std::array<std::uint8_t, 8> &bytes, std::uint32_t length)
{
    if (length == 0)
        return QStringLiteral("00-00-00-00-00-00");
    QStringList parts;
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(length, 8); ++i)
        parts << QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(u'-');
}

QString TakeToken(QString &text, QChar separator)
{
    const qsizetype at = text.indexOf(separator);
    if (at < 0)
        return std::exchange(text, QString());
    const QString token = text.left(at);
    text.remove(0, at + 1);
    return token;
}

void DumpArpTable(QStringList *lines)
{
    if (!lines || !BindIpHelper())
        return;
    lines->clear();
    std::vector<platform::NeighbourRow> rows;
    if (const std::uint32_t code = app::services().routing->neighbourTable(rows); code != 0) {
        lines->append(errorLine(code));
        return;
    }
    if (rows.empty()) {
        lines->append(QStringLiteral(" ARP-cache empty."));
        return;
    }
    for (const platform::NeighbourRow &row : rows)
        lines->append(QStringLiteral("%1 | %2 | %3| %4")
                          .arg(QString::number(row.interfaceIndex, 16).toUpper(), 8)
                          .arg(MacAddrToText(row.physical, row.physicalLength), 12)
                          .arg(IpAddrToText(row.address), 16)
                          .arg(nameOf(NeighbourTypes, row.type), 10));
}

void DumpRouteTable(QStringList *lines)
{
    if (!lines || !BindIpHelper())
        return;
    lines->clear();
    std::vector<platform::ForwardRow> rows;
    if (const std::uint32_t code = app::services().routing->forwardTable(rows); code != 0) {
        lines->append(errorLine(code));
        return;
    }
    if (rows.empty()) {
        lines->append(QStringLiteral("no entries."));
        return;
    }
    for (const platform::ForwardRow &row : rows)
        lines->append(
            QStringLiteral("%1|%2|%3|%4|%5|   %6|    %7|        %8")
                .arg(IpAddrToText(row.destination), IpAddrToText(row.mask),
                     IpAddrToText(row.nextHop))
                .arg(
                    QStringLiteral("%1").arg(row.interfaceIndex, 8, 16, QLatin1Char('0')).toUpper())
                .arg(nameOf(RouteTypes, row.type), 7)
                .arg(QStringLiteral("%1").arg(row.nextHopAs, 5, 10, QLatin1Char('0')))
                .arg(nameOf(RouteProtocols, row.protocol), 7)
                .arg(QStringLiteral("%1").arg(row.metric1, 2, 10, QLatin1Char('0'))));
}

} // namespace routes
