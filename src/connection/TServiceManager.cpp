#include "connection/TServiceManager.h"

#include "app/Services.h"
#include "platform/services/ServiceControl.h"

namespace connection {

namespace {

platform::ServiceControl &control()
{
    return *app::services().serviceControl;
}

QString stateText(platform::ServiceState state)
{
    using platform::ServiceState;
    switch (state) {
    case ServiceState::Stopped:
        return QStringLiteral("stopped");
    case ServiceState::StartPending:
        return QStringLiteral("start pending");
    case ServiceState::StopPending:
        return QStringLiteral("stop pending");
    case ServiceState::Running:
        return QStringLiteral("running");
    case ServiceState::ContinuePending:
        return QStringLiteral("continue pending");
    case ServiceState::PausePending:
        return QStringLiteral("pause pending");
    case ServiceState::Paused:
        return QStringLiteral("paused");
    case ServiceState::Unknown:
        break;
    }
    return {};
}

QString startTypeText(platform::ServiceStartType type)
{
    switch (type) {
    case platform::ServiceStartType::Auto:
        return QStringLiteral("auto");
    case platform::ServiceStartType::Manual:
        return QStringLiteral("manual");
    case platform::ServiceStartType::Disabled:
        return QStringLiteral("disable");
    case platform::ServiceStartType::Other:
        break;
    }
    return {};
}

} // namespace

bool TServiceManager::Connect(const QString &, const QString &, quint32)
{
    m_connected = control().available();
    return m_connected;
}

bool TServiceManager::OpenServiceConnection(const QString &service)
{
    m_service.reset();
    const std::u16string name = service.toStdU16String();
    if (m_connected && control().exists(name))
        m_service = name;
    return m_service.has_value();
}

bool TServiceManager::StartService()
{
    return StartService({});
}

bool TServiceManager::StartService(const QStringList &arguments)
{
    if (!m_service)
        return false;
    std::vector<std::u16string> converted;
    for (const QString &argument : arguments)
        converted.push_back(argument.toStdU16String());
    return control().start(*m_service, converted);
}

bool TServiceManager::StopService()
{
    return m_service && control().stop(*m_service);
}

void TServiceManager::PauseService()
{
    if (m_service)
        control().pause(*m_service);
}

void TServiceManager::ContinueService()
{
    if (m_service)
        control().resume(*m_service);
}

void TServiceManager::ShutdownService()
{
    if (m_service)
        control().shutDown(*m_service);
}

quint32 TServiceManager::GetStatus()
{
    return m_service ? quint32(control().state(*m_service)) : 0;
}

bool TServiceManager::ServiceRunning()
{
    return GetStatus() == quint32(platform::ServiceState::Running);
}

bool TServiceManager::ServiceStopped()
{
    return GetStatus() == quint32(platform::ServiceState::Stopped);
}

void TServiceManager::DisableService(const QString &service)
{
    control().setStartType(service.toStdU16String(), platform::ServiceStartType::Disabled);
}

void TServiceManager::ManualService(const QString &service)
{
    control().setStartType(service.toStdU16String(), platform::ServiceStartType::Manual);
}

void TServiceManager::EnableService(const QString &service)
{
    control().setStartType(service.toStdU16String(), platform::ServiceStartType::Auto);
}

// The service manager here reports no publisher for a program, so publisher stays empty
// and ismicrosoft false; the path keeps its case, which matters on this file system.
bool TServiceManager::GetSvcList()
{
    if (!m_connected)
        return false;
    for (const platform::ServiceInfo &info : control().list()) {
        tSvrlist record;
        record.svrname = QString::fromStdU16String(info.name);
        record.displayname = QString::fromStdU16String(info.displayName);
        record.status = stateText(info.state);
        record.svrtype = startTypeText(info.startType);
        record.svrpath = QString::fromStdU16String(info.executable);
        m_svrlist.append(record);
    }
    return true;
}

} // namespace connection
