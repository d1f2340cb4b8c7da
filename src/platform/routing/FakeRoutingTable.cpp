#include "platform/routing/FakeRoutingTable.h"

#include "platform/routing/Ipv4Conversions.h"

#include <algorithm>

namespace platform {

void FakeRoutingTable::setForwardRows(std::vector<ForwardRow> rows)
{
    m_forwardRows = std::move(rows);
    sortForwardRows(m_forwardRows);
}

bool FakeRoutingTable::open()
{
    m_open = m_openable;
    return m_open;
}

std::uint32_t FakeRoutingTable::forwardTable(std::vector<ForwardRow> &rows)
{
    rows.clear();
    if (const std::uint32_t code = error(Call::ForwardTable))
        return code;
    rows = m_forwardRows;
    return 0;
}

std::uint32_t FakeRoutingTable::neighbourTable(std::vector<NeighbourRow> &rows)
{
    rows.clear();
    if (const std::uint32_t code = error(Call::NeighbourTable))
        return code;
    rows = m_neighbourRows;
    return 0;
}

std::uint32_t FakeRoutingTable::createRoute(const ForwardRow &row)
{
    if (const std::uint32_t code = error(Call::CreateRoute))
        return code;
    if (findRoute(row) != m_forwardRows.end())
        return kRouteExists;
    m_forwardRows.push_back(row);
    sortForwardRows(m_forwardRows);
    m_createdRows.push_back(row);
    return 0;
}

std::uint32_t FakeRoutingTable::deleteRoute(const ForwardRow &row)
{
    if (const std::uint32_t code = error(Call::DeleteRoute))
        return code;
    const auto found = findRoute(row);
    if (found == m_forwardRows.end())
        return kNoSuchRoute;
    m_forwardRows.erase(found);
    m_deletedRows.push_back(row);
    return 0;
}

std::string FakeRoutingTable::errorText(std::uint32_t code) const
{
    switch (code) {
    case 0:
        return {};
    case kNotOpen:
        return "The routing table is not open.";
    case kRouteExists:
        return "The route exists already.";
    case kNoSuchRoute:
        return "There is no such route.";
    default:
        return "Error " + std::to_string(code) + ".";
    }
}

std::uint32_t FakeRoutingTable::error(Call call) const
{
    if (!m_open)
        return kNotOpen;
    const auto found = m_errors.find(call);
    return found == m_errors.end() ? 0 : found->second;
}

std::vector<ForwardRow>::iterator FakeRoutingTable::findRoute(const ForwardRow &row)
{
    return std::find_if(m_forwardRows.begin(), m_forwardRows.end(), [&row](const ForwardRow &held) {
        return held.destination == row.destination && held.mask == row.mask &&
               held.nextHop == row.nextHop && held.interfaceIndex == row.interfaceIndex;
    });
}

} // namespace platform
