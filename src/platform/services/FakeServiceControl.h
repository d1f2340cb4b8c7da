#pragma once

#include "platform/services/ServiceControl.h"

#include <map>

namespace platform {

// A service manager held in memory, for tests of code that drives services. Services
// change state at once: start and resume make them Running, stop and shutDown Stopped,
// pause Paused. Calls on a service it does not hold fail, as do all calls while it is
// set unavailable.
class FakeServiceControl : public ServiceControl
{
public:
    struct Call
    {
        enum class Operation { Exists, Start, Stop, Pause, Resume, ShutDown, State, SetStartType };
        Operation operation;
        std::u16string service;
        friend bool operator==(const Call &, const Call &) = default;
    };

    void setAvailable(bool available) { m_available = available; }
    // Adds the service or replaces the one of that name.
    void addService(ServiceInfo service);
    void removeService(const std::u16string &name);
    // The service as the fake holds it now; nothing when it holds none of that name.
    std::optional<ServiceInfo> service(const std::u16string &name) const;
    // The calls about single services, in order, including those that failed.
    const std::vector<Call> &calls() const { return m_calls; }
    // The arguments of the last successful start of each service.
    std::optional<std::vector<std::u16string>> startArguments(const std::u16string &name) const;

    bool available() override { return m_available; }
    bool exists(const std::u16string &service) override;
    bool start(const std::u16string &service,
               const std::vector<std::u16string> &arguments) override;
    bool stop(const std::u16string &service) override;
    bool pause(const std::u16string &service) override;
    bool resume(const std::u16string &service) override;
    bool shutDown(const std::u16string &service) override;
    ServiceState state(const std::u16string &service) override;
    bool setStartType(const std::u16string &service, ServiceStartType type) override;
    std::vector<ServiceInfo> list() override;

private:
    // The service a call is about, after logging the call; null when the call must fail.
    ServiceInfo *find(Call::Operation operation, const std::u16string &service);
    bool moveTo(Call::Operation operation, const std::u16string &service, ServiceState state);

    bool m_available = true;
    std::map<std::u16string, ServiceInfo> m_services;
    std::map<std::u16string, std::vector<std::u16string>> m_startArguments;
    std::vector<Call> m_calls;
};

} // namespace platform
