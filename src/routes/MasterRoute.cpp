#include "routes/MasterRoute.h"

#include "app/ClientState.h"
#include "app/Services.h"
#include "platform/routing/RoutingTable.h"
#include "routes/IpHelper.h"
#include "util/TextRoutines.h"

#include <QRegularExpression>

namespace routes {

namespace {

constexpr std::uint32_t NoArpInterface = 65540;

QString withoutSpaces(QString text)
{
    return text.remove(u' ');
}

// The address comes from the back end. Anything but a plain unicast dotted quad would turn
// into a route to some other destination, and at close into deleting every route to it:
// garbage parses as 0.0.0.0, the destination of the default route.
bool isHostAddress(const QString &text)
{
    static const QRegularExpression dottedQuad(
        QStringLiteral("^([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})$"));
    const QRegularExpressionMatch match = dottedQuad.match(text);
    if (!match.hasMatch())
        return false;
    for (int i = 1; i <= 4; ++i) {
        if (match.captured(i).toInt() > 255)
            return false;
    }
    const int first = match.captured(1).toInt();
    return first != 0 && first < 224;
}

// The interface of the gateway's neighbour entry; without one, that of the last entry
// that has an address.
std::uint32_t gatewayInterface(const QString &gateway)
{
    QStringList arpLines;
    DumpArpTable(&arpLines);
    std::uint32_t index = NoArpInterface;
    for (const QString &line : std::as_const(arpLines)) {
        const QStringList parts = util::splitText(line, QStringLiteral("|"));
        const QString address = parts.value(2);
        if (address.isEmpty())
            continue;
        bool isHex = false;
        const std::uint32_t parsed = util::trimBlanks(parts.value(0)).toUInt(&isHex, 16);
        index = isHex ? parsed : NoArpInterface;
        if (withoutSpaces(address) == gateway)
            break;
    }
    return index;
}

} // namespace

void MasterRoute::PrepareMasterRoute(const QString &)
{
    QStringList routeLines;
    DumpRouteTable(&routeLines);
    // Without any route text there is no gateway; the route then gets none, and
    // AddMasterRoute finds no table to take it from.
    const QStringList parts = util::splitText(routeLines.value(0), QStringLiteral("|"));
    Tmyrouter &route = m_routerlist.at(0);
    route.destionation = app::client().MasterRouteAddress;
    route.mask = QStringLiteral("255.255.255.255");
    route.gateway = withoutSpaces(parts.value(2));
}

void MasterRoute::AddMasterRoute()
{
    if (!BindIpHelper()) {
        app::client().MasterRouteAdded = false;
        return;
    }
    platform::RoutingTable &routing = *app::services().routing;
    std::vector<platform::ForwardRow> rows;
    // Without a row to copy the unset fields from, no route is made at all.
    if (routing.forwardTable(rows) != 0 || rows.empty())
        return;
    const Tmyrouter &route = m_routerlist.at(0);
    if (!isHostAddress(route.destionation))
        return;

    platform::ForwardRow row = rows.front();
    row.interfaceIndex = gatewayInterface(route.gateway);
    row.destination = TextToIpAddr(route.destionation);
    row.mask = TextToIpAddr(route.mask);
    row.metric1 = 10;
    row.nextHop = TextToIpAddr(route.gateway);
    routing.createRoute(row);
    app::client().MasterRouteAdded = true;
}

void MasterRoute::DeleteListedRoutes()
{
    if (!BindIpHelper())
        return;
    platform::RoutingTable &routing = *app::services().routing;
    std::vector<platform::ForwardRow> rows;
    if (routing.forwardTable(rows) != 0)
        return;
    for (const platform::ForwardRow &row : rows) {
        for (const Tmyrouter &route : m_routerlist) {
            if (isHostAddress(route.destionation) &&
                TextToIpAddr(route.destionation) == row.destination)
                routing.deleteRoute(row);
        }
    }
}

} // namespace routes
