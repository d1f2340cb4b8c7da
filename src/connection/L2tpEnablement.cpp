#include "connection/L2tpEnablement.h"

#include "app/AppInfo.h"
#include "app/Services.h"
#include "connection/TServiceManager.h"
#include "platform/messagebox/MessageBoxes.h"
#include "platform/processes/ProcessTable.h"
#include "platform/settings/SettingsStore.h"
#include "util/TextRoutines.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <array>

namespace connection {

namespace {

const std::u16string RasManKey = u"SYSTEM\\CurrentControlSet\\Services\\RasMan\\Parameters";
const std::array<QString, 6> RestartedServices = {
    QStringLiteral("AudioSrv"), QStringLiteral("CryptSvc"),          QStringLiteral("RasMan"),
    QStringLiteral("Dhcp"),     QStringLiteral("lanmanworkstation"), QStringLiteral("netman")};

platform::BoxAnswer ask(QWidget *window, const QString &text)
{
    return app::services().boxes->show(window, platform::BoxIcon::Question, app::ApplicationTitle,
                                       text, platform::BoxButtons::YesNo);
}

void inform(QWidget *window, const QString &text)
{
    app::services().boxes->show(window, platform::BoxIcon::Information, app::ApplicationTitle, text,
                                platform::BoxButtons::Ok);
}

} // namespace

// A local event loop rather than a busy wait: the window stays just as responsive, and an
// application that quits ends every such loop at once.
void PauseWithMessages(std::uint32_t milliseconds)
{
    if (QCoreApplication::closingDown())
        return;
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(milliseconds), &loop, &QEventLoop::quit);
    loop.exec();
}

L2tpEnablement::L2tpEnablement(QWidget *window, Pause pause)
    : m_window(window), m_pause(std::move(pause))
{}

void L2tpEnablement::OfferL2tpEnforcement()
{
    const platform::SettingsStore &store = *app::services().settings;
    const auto root = platform::RegistryRoot::LocalMachine;
    if (!store.keyExists(root, RasManKey))
        return;
    // A value of another type than a 32-bit integer is not "off" either.
    const std::optional<platform::RegistryValue> value =
        store.readValue(root, RasManKey, u"ProhibitIPSec");
    if (!value || value->type != platform::ValueType::DWord || value->dword != 0)
        return;
    if (ask(m_window, QStringLiteral("要强行生效L2TP设置吗？")) != platform::BoxAnswer::Yes)
        return;
    EnforceL2tp();
    inform(m_window, QStringLiteral("强制生效L2TP的设置完成"));
}

void L2tpEnablement::L2TPQ1Click()
{
    if (ask(m_window, QStringLiteral("确定要强制生效L2TP的设置吗？")) != platform::BoxAnswer::Yes)
        return;
    EnforceL2tp();
    inform(m_window, QStringLiteral("强制生效OK!\r\n\r\n尝试继续连接"));
}

void L2tpEnablement::SetProhibitIpSec()
{
    platform::SettingsStore &store = *app::services().settings;
    const auto root = platform::RegistryRoot::LocalMachine;
    store.createKey(root, RasManKey);
    store.writeValue(root, RasManKey, u"ProhibitIPSec", platform::RegistryValue::fromDWord(1));
}

QString L2tpEnablement::ReadProcessCommandLine(std::uint32_t processId)
{
    return QString::fromStdU16String(app::services().processes->commandLine(processId));
}

void L2tpEnablement::EnforceL2tp()
{
    SetProhibitIpSec();

    platform::ProcessTable &processes = *app::services().processes;
    std::optional<std::uint32_t> target;
    for (const platform::ProcessEntry &process : processes.snapshot()) {
        if (util::lowerAscii(QString::fromStdU16String(process.executable)) !=
            QLatin1String("svchost.exe"))
            continue;
        if (ReadProcessCommandLine(process.id).contains(QLatin1String("-k netsvc"))) {
            target = process.id;
            break;
        }
    }
    if (!target)
        return;
    processes.terminate(*target);

    TServiceManager manager;
    manager.Connect();
    for (const QString &service : RestartedServices) {
        manager.OpenServiceConnection(service);
        manager.StartService();
        m_pause(1000);
        manager.StartService();
    }
    m_pause(10000);
}

} // namespace connection
