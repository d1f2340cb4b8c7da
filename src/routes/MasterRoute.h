#pragma once

#include "routes/Tmyrouter.h"

#include <QString>

#include <vector>

namespace routes {

// The host route that keeps the master node's route address reachable through the
// physical gateway while the tunnel carries the default route.
class MasterRoute
{
public:
    explicit MasterRoute(std::vector<Tmyrouter> &routerlist) : m_routerlist(routerlist) {}

    // Fills the first route of the list from the current default gateway; mode is unused.
    void PrepareMasterRoute(const QString &mode);
    // Creates the first route of the list in the system routing table.
    void AddMasterRoute();
    // Deletes every route whose destination is a listed destination.
    void DeleteListedRoutes();

private:
    std::vector<Tmyrouter> &m_routerlist;
};

} // namespace routes
