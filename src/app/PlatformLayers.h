#pragma once

#include <memory>

namespace platform {
class BrowserPaneFactory;
class HttpTransport;
class MessageBoxes;
class RegFileSettingsStore;
class Shell;
class TrayIcon;
class Dialer;
class ProcessTable;
class ServiceControl;
class RoutingTable;
class IcmpProber;
} // namespace platform

namespace app {

struct Configuration;
struct Services;

// The real platform layers of this machine, chosen in one place from the configuration.
class PlatformLayers
{
public:
    explicit PlatformLayers(const Configuration &config);
    ~PlatformLayers();

    void install(Services &services);

private:
    std::unique_ptr<platform::RegFileSettingsStore> m_settings;
    std::unique_ptr<platform::HttpTransport> m_http;
    std::unique_ptr<platform::MessageBoxes> m_boxes;
    std::unique_ptr<platform::Shell> m_shell;
    std::unique_ptr<platform::BrowserPaneFactory> m_browsers;
    std::unique_ptr<platform::TrayIcon> m_tray;
    std::unique_ptr<platform::Dialer> m_dialer;
    std::unique_ptr<platform::ProcessTable> m_processes;
    std::unique_ptr<platform::ServiceControl> m_serviceControl;
    std::unique_ptr<platform::RoutingTable> m_routing;
    std::unique_ptr<platform::IcmpProber> m_icmp;
};

} // namespace app
