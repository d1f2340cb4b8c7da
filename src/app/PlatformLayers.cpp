#include "app/PlatformLayers.h"

#include "app/Configuration.h"
#include "app/Services.h"
#include "platform/browser/HtmlBrowserPane.h"
#include "platform/dialer/PppdDialer.h"
#include "platform/dialer/SimulatedDialer.h"
#include "platform/http/QtHttpTransport.h"
#include "platform/icmp/LinuxIcmpProber.h"
#include "platform/messagebox/QtMessageBoxes.h"
#include "platform/processes/ProcFsProcessTable.h"
#include "platform/routing/NetlinkRoutingTable.h"
#include "platform/services/SystemdServiceControl.h"
#include "platform/settings/RegFileSettingsStore.h"
#include "platform/shell/QtShell.h"
#include "platform/tray/QtTrayIcon.h"

#ifdef TAVERIN_HAVE_WEBENGINE
#include "platform/browser/WebEngineBrowserPane.h"
#endif

#include <cstdio>

namespace app {

namespace {

std::unique_ptr<platform::BrowserPaneFactory> makeBrowserFactory(const Configuration &config)
{
#ifdef TAVERIN_HAVE_WEBENGINE
    Q_UNUSED(config);
    return std::make_unique<platform::WebEngineBrowserPaneFactory>();
#else
    return std::make_unique<platform::HtmlBrowserPaneFactory>(config.codePage);
#endif
}

std::unique_ptr<platform::Dialer> makeDialer(const Configuration &config)
{
    if (config.dialer != QLatin1String("sim"))
        return std::make_unique<platform::PppdDialer>(platform::PppdDialerOptions{});
    using Outcome = platform::SimulatedDialer::Outcome;
    const Configuration::SimulatedDial &wanted = config.simulatedDial;
    Outcome outcome;
    outcome.kind = wanted.outcome == QLatin1String("fail")   ? Outcome::Kind::Fail
                   : wanted.outcome == QLatin1String("hang") ? Outcome::Kind::NeverFinish
                   : wanted.outcome == QLatin1String("drop") ? Outcome::Kind::ConnectThenDrop
                                                             : Outcome::Kind::Connect;
    outcome.after = std::chrono::milliseconds(wanted.afterMs);
    outcome.errorCode = std::uint32_t(wanted.errorCode);
    outcome.dropAfter = std::chrono::milliseconds(wanted.dropAfterMs);
    auto dialer = std::make_unique<platform::SimulatedDialer>();
    dialer->setOutcome(outcome);
    return dialer;
}

} // namespace

PlatformLayers::PlatformLayers(const Configuration &config)
    : m_settings(std::make_unique<platform::RegFileSettingsStore>(
          std::filesystem::path(config.settingsDir.toStdU16String()))),
      m_http(std::make_unique<platform::QtHttpTransport>(config.codePage)),
      m_boxes(std::make_unique<platform::QtMessageBoxes>()),
      m_shell(std::make_unique<platform::QtShell>()), m_browsers(makeBrowserFactory(config)),
      m_tray(std::make_unique<platform::QtTrayIcon>()), m_dialer(makeDialer(config)),
      m_processes(std::make_unique<platform::ProcFsProcessTable>()),
      m_serviceControl(std::make_unique<platform::SystemdServiceControl>()),
      m_routing(std::make_unique<platform::NetlinkRoutingTable>()),
      m_icmp(std::make_unique<platform::LinuxIcmpProber>())
{
    m_settings->setDiagnosticSink(
        [](const std::string &line) { std::fprintf(stderr, "taverin: %s\n", line.c_str()); });
}

PlatformLayers::~PlatformLayers() = default;

void PlatformLayers::install(Services &services)
{
    services.settings = m_settings.get();
    services.http = m_http.get();
    services.boxes = m_boxes.get();
    services.shell = m_shell.get();
    services.browsers = m_browsers.get();
    services.tray = m_tray.get();
    services.dialer = m_dialer.get();
    services.processes = m_processes.get();
    services.serviceControl = m_serviceControl.get();
    services.routing = m_routing.get();
    services.icmp = m_icmp.get();
}

} // namespace app
