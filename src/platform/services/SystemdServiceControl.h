#pragma once

#include "platform/services/ServiceControl.h"
#include "platform/services/SystemdText.h"

#include <chrono>
#include <filesystem>

namespace platform {

struct SystemdServiceControlOptions
{
    // Empty: /usr/bin/systemctl, or /bin/systemctl where only that exists.
    std::filesystem::path systemctl;
    // systemctl is killed when a run takes longer, and the call fails.
    std::chrono::milliseconds timeLimit = std::chrono::seconds(10);
};

// The services of systemd, through systemctl run without a shell. A service name without a
// unit type stands for "<name>.service"; names that systemdUnitName() refuses fail every
// call, so that nothing reaches systemctl as an option. Changes never ask for a password.
//
//   available()    `show --property=Version --value` answers with a version
//   exists()       `show -p LoadState UNIT`, loaded in any way but "not-found"
//   start()        `start UNIT`; systemd takes no arguments for a start, so a start that
//                  is given any fails without running anything
//   stop()         `stop UNIT`, and so does shutDown()
//   pause()        `kill --signal=SIGSTOP UNIT` and resume() the same with SIGCONT: all the
//                  service's processes halt, while systemd still counts the service as
//                  running, so state() never reports Paused
//   state()        ActiveState from `show`: active and reloading are Running, inactive
//                  and failed Stopped, activating StartPending, deactivating StopPending;
//                  Unknown for a unit that is not found
//   setStartType() Auto `unmask` then `enable`, Manual `unmask` then `disable`, Disabled
//                  `mask`; Other is refused
//   list()         the loaded services from `list-units`, with the services that are only
//                  installed as Stopped; start types from `list-unit-files` (enabled Auto;
//                  disabled, static, indirect Manual; masked Disabled; anything else
//                  Other) and the program from each service's ExecStart, all services in
//                  one `show`. Names are full unit names; the display name is the unit's
//                  description where systemd has loaded it, else its name. Templates are
//                  left out, since they cannot run as they are.
class SystemdServiceControl : public ServiceControl
{
public:
    explicit SystemdServiceControl(SystemdServiceControlOptions options = {});

    bool available() override;
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
    // What systemctl printed when it succeeded.
    std::optional<std::string> query(const std::vector<std::string> &arguments);
    // Runs `systemctl <command…> --no-ask-password <unit>`; whether it succeeded.
    bool change(std::vector<std::string> command, const std::u16string &service);
    // The properties `names` ("A,B") of the unit a service name stands for.
    std::optional<UnitProperties> properties(const std::u16string &service,
                                             const std::string &names);
    void addPrograms(std::vector<ServiceInfo> &services);

    SystemdServiceControlOptions m_options;
};

} // namespace platform
