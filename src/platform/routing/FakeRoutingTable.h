#pragma once

#include "platform/routing/RoutingTable.h"

#include <map>

namespace platform {

// Routing tables held in memory, for tests of code that reads and changes routes. Calls
// before a successful open() fail, and each call can be set to fail with a code; a failed
// call changes nothing.
class FakeRoutingTable : public RoutingTable
{
public:
    enum class Call { ForwardTable, NeighbourTable, CreateRoute, DeleteRoute };

    // The codes of a call before open(), of a route created twice and of deleting one that
    // is not there; the errno values the Linux table answers.
    static constexpr std::uint32_t kNotOpen = 9;
    static constexpr std::uint32_t kRouteExists = 17;
    static constexpr std::uint32_t kNoSuchRoute = 3;

    void setOpenable(bool openable) { m_openable = openable; }
    bool isOpen() const { return m_open; }
    // The call answers the code from now on; 0 lets it work again.
    void setError(Call call, std::uint32_t code) { m_errors[call] = code; }
    // Replaces the forwarding table; it is kept sorted as forwardTable() lists it.
    void setForwardRows(std::vector<ForwardRow> rows);
    void setNeighbourRows(std::vector<NeighbourRow> rows) { m_neighbourRows = std::move(rows); }
    const std::vector<ForwardRow> &forwardRows() const { return m_forwardRows; }
    // The rows of successful calls, in order.
    const std::vector<ForwardRow> &createdRows() const { return m_createdRows; }
    const std::vector<ForwardRow> &deletedRows() const { return m_deletedRows; }

    bool open() override;
    std::uint32_t forwardTable(std::vector<ForwardRow> &rows) override;
    std::uint32_t neighbourTable(std::vector<NeighbourRow> &rows) override;
    // Fails with kRouteExists when a row of the same destination, mask, next hop and
    // interface is there.
    std::uint32_t createRoute(const ForwardRow &row) override;
    // Removes the first row of the same destination, mask, next hop and interface.
    std::uint32_t deleteRoute(const ForwardRow &row) override;
    std::string errorText(std::uint32_t code) const override;

private:
    std::uint32_t error(Call call) const;
    std::vector<ForwardRow>::iterator findRoute(const ForwardRow &row);

    bool m_openable = true;
    bool m_open = false;
    std::map<Call, std::uint32_t> m_errors;
    std::vector<ForwardRow> m_forwardRows;
    std::vector<NeighbourRow> m_neighbourRows;
    std::vector<ForwardRow> m_createdRows;
    std::vector<ForwardRow> m_deletedRows;
};

} // namespace platform
