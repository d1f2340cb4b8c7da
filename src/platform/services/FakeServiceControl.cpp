#include "platform/services/FakeServiceControl.h"

namespace platform {

void FakeServiceControl::addService(ServiceInfo service)
{
    std::u16string name = service.name;
    m_services.insert_or_assign(std::move(name), std::move(service));
}

void FakeServiceControl::removeService(const std::u16string &name)
{
    m_services.erase(name);
}

std::optional<ServiceInfo> FakeServiceControl::service(const std::u16string &name) const
{
    const auto found = m_services.find(name);
    if (found == m_services.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::vector<std::u16string>>
FakeServiceControl::startArguments(const std::u16string &name) const
{
    const auto found = m_startArguments.find(name);
    if (found == m_startArguments.end())
        return std::nullopt;
    return found->second;
}

bool FakeServiceControl::exists(const std::u16string &service)
{
    return find(Call::Operation::Exists, service) != nullptr;
}

bool FakeServiceControl::start(const std::u16string &service,
                               const std::vector<std::u16string> &arguments)
{
    if (!moveTo(Call::Operation::Start, service, ServiceState::Running))
        return false;
    m_startArguments[service] = arguments;
    return true;
}

bool FakeServiceControl::stop(const std::u16string &service)
{
    return moveTo(Call::Operation::Stop, service, ServiceState::Stopped);
}

bool FakeServiceControl::pause(const std::u16string &service)
{
    return moveTo(Call::Operation::Pause, service, ServiceState::Paused);
}

bool FakeServiceControl::resume(const std::u16string &service)
{
    return moveTo(Call::Operation::Resume, service, ServiceState::Running);
}

bool FakeServiceControl::shutDown(const std::u16string &service)
{
    return moveTo(Call::Operation::ShutDown, service, ServiceState::Stopped);
}

ServiceState FakeServiceControl::state(const std::u16string &service)
{
    const ServiceInfo *info = find(Call::Operation::State, service);
    return info ? info->state : ServiceState::Unknown;
}

bool FakeServiceControl::setStartType(const std::u16string &service, ServiceStartType type)
{
    ServiceInfo *info = find(Call::Operation::SetStartType, service);
    if (!info || type == ServiceStartType::Other)
        return false;
    info->startType = type;
    return true;
}

std::vector<ServiceInfo> FakeServiceControl::list()
{
    std::vector<ServiceInfo> services;
    if (m_available) {
        for (const auto &[name, info] : m_services)
            services.push_back(info);
    }
    return services;
}

ServiceInfo *FakeServiceControl::find(Call::Operation operation, const std::u16string &service)
{
    m_calls.push_back({operation, service});
    const auto found = m_services.find(service);
    return m_available && found != m_services.end() ? &found->second : nullptr;
}

bool FakeServiceControl::moveTo(Call::Operation operation, const std::u16string &service,
                                ServiceState state)
{
    ServiceInfo *info = find(operation, service);
    if (!info)
        return false;
    info->state = state;
    return true;
}

} // namespace platform
