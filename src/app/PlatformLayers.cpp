#include "app/PlatformLayers.h"

#include "app/Configuration.h"
#include "app/Services.h"
#include "platform/browser/HtmlBrowserPane.h"
#include "platform/http/QtHttpTransport.h"
#include "platform/messagebox/QtMessageBoxes.h"
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

} // namespace

PlatformLayers::PlatformLayers(const Configuration &config)
    : m_settings(std::make_unique<platform::RegFileSettingsStore>(
          std::filesystem::path(config.settingsDir.toStdU16String()))),
      m_http(std::make_unique<platform::QtHttpTransport>(config.codePage)),
      m_boxes(std::make_unique<platform::QtMessageBoxes>()),
      m_shell(std::make_unique<platform::QtShell>()), m_browsers(makeBrowserFactory(config)),
      m_tray(std::make_unique<platform::QtTrayIcon>())
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
}

} // namespace app
