#pragma once

#include <QString>

namespace routes {

// One route of the main window's route list, addresses in dotted decimal.
struct Tmyrouter
{
    QString destionation;
    QString mask;
    QString gateway;
};

// The route list always has this many entries; only the first is ever filled.
constexpr int RouterListSize = 2000;

} // namespace routes
