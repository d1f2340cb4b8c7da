#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Service states, numbered as the Windows service control manager numbers them.
enum class ServiceState : std::uint32_t {
    Unknown = 0,
    Stopped = 1,
    StartPending = 2,
    StopPending = 3,
    Running = 4,
    ContinuePending = 5,
    PausePending = 6,
    Paused = 7,
};

enum class ServiceStartType { Auto, Manual, Disabled, Other };

struct ServiceInfo
{
    std::u16string name;
    std::u16string displayName;
    ServiceState state = ServiceState::Unknown;
    ServiceStartType startType = ServiceStartType::Other;
    std::u16string executable; // the program the service runs; empty when unknown
};

// The machine's service manager. Every call fails quietly (false, Unknown or nullopt)
// where no service manager runs or the caller may not use it.
class ServiceControl
{
public:
    virtual ~ServiceControl() = default;

    // Whether a service manager can be reached at all.
    virtual bool available() = 0;
    virtual bool exists(const std::u16string &service) = 0;
    virtual bool start(const std::u16string &service,
                       const std::vector<std::u16string> &arguments) = 0;
    virtual bool stop(const std::u16string &service) = 0;
    virtual bool pause(const std::u16string &service) = 0;
    virtual bool resume(const std::u16string &service) = 0;
    virtual bool shutDown(const std::u16string &service) = 0;
    virtual ServiceState state(const std::u16string &service) = 0;
    virtual bool setStartType(const std::u16string &service, ServiceStartType type) = 0;
    virtual std::vector<ServiceInfo> list() = 0;
};

} // namespace platform
