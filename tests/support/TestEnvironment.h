#pragma once

#include "app/Services.h"
#include "platform/browser/OfflineBrowserPane.h"
#include "platform/dialer/SimulatedDialer.h"
#include "platform/http/QtHttpTransport.h"
#include "platform/icmp/FakeIcmpProber.h"
#include "platform/messagebox/ScriptedMessageBoxes.h"
#include "platform/processes/FakeProcessTable.h"
#include "platform/routing/FakeRoutingTable.h"
#include "platform/services/FakeServiceControl.h"
#include "platform/settings/MemorySettingsStore.h"
#include "platform/shell/RecordingShell.h"
#include "platform/tray/RecordingTrayIcon.h"

#include "devbackend/DevBackend.h"

#include <QHostAddress>
#include <QString>

#include <memory>

namespace testsupport {

// Short time-outs keep failure paths quick; the POST read time-out is the client's own.
inline const platform::QtHttpTransport::Timeouts TestTimeouts{2000, 3000, 2000};

// Installs test doubles as the client's platform layers (settings in memory, scripted
// boxes, a recording shell and tray icon, a simulated dialer, panes that load nothing, real HTTP)
// with both master nodes on loopback addresses of the test's choosing, and a fresh client state.
// Restores everything on destruction.
class TestEnvironment
{
public:
    TestEnvironment(const QString &master1, const QString &master2);
    ~TestEnvironment();

    platform::MemorySettingsStore settings;
    platform::QtHttpTransport http{QStringLiteral("GBK"), TestTimeouts};
    platform::ScriptedMessageBoxes boxes;
    platform::RecordingShell shell;
    platform::OfflineBrowserPaneFactory browsers;
    platform::RecordingTrayIcon tray;
    platform::SimulatedDialer dialer;
    platform::FakeProcessTable processes;
    platform::FakeServiceControl serviceControl;
    platform::FakeRoutingTable routing;
    platform::FakeIcmpProber icmp;

private:
    app::Services m_saved;
};

// Account and line data the end-to-end tests share.
devbackend::BackendData sampleBackendData();

// A back end listening on port 8000 of address; fails the test when it cannot.
std::unique_ptr<devbackend::DevBackend>
startBackend(const QString &address, devbackend::BackendData data = sampleBackendData());

} // namespace testsupport
