#pragma once

#include "app/Configuration.h"

namespace platform {
class SettingsStore;
class HttpTransport;
class MessageBoxes;
class Shell;
class BrowserPaneFactory;
class TrayIcon;
class Dialer;
class ProcessTable;
class ServiceControl;
class RoutingTable;
class IcmpProber;
} // namespace platform

namespace app {

// The platform layers the client works through, chosen once at start (or by a test).
// The pointers are not owned here.
struct Services
{
    Configuration config;
    platform::SettingsStore *settings = nullptr;
    platform::HttpTransport *http = nullptr;
    platform::MessageBoxes *boxes = nullptr;
    platform::Shell *shell = nullptr;
    platform::BrowserPaneFactory *browsers = nullptr;
    platform::TrayIcon *tray = nullptr;
    platform::Dialer *dialer = nullptr;
    platform::ProcessTable *processes = nullptr;
    platform::ServiceControl *serviceControl = nullptr;
    platform::RoutingTable *routing = nullptr;
    platform::IcmpProber *icmp = nullptr;
};

Services &services();

} // namespace app
