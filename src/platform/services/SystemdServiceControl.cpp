#include "platform/services/SystemdServiceControl.h"

#include "platform/services/BoundedCommand.h"
#include "platform/settings/TextCodec.h"

namespace platform {

namespace {

constexpr std::string_view kNotFound = "not-found";

std::filesystem::path defaultSystemctl()
{
    std::error_code error;
    if (!std::filesystem::exists("/usr/bin/systemctl", error) &&
        std::filesystem::exists("/bin/systemctl", error))
        return "/bin/systemctl";
    return "/usr/bin/systemctl";
}

std::string valueOf(const UnitProperties &properties, std::string_view key)
{
    const auto found = properties.find(key);
    return found == properties.end() ? std::string() : found->second;
}

} // namespace

SystemdServiceControl::SystemdServiceControl(SystemdServiceControlOptions options)
    : m_options(std::move(options))
{
    if (m_options.systemctl.empty())
        m_options.systemctl = defaultSystemctl();
}

bool SystemdServiceControl::available()
{
    const std::optional<std::string> version = query({"show", "--property=Version", "--value"});
    return version && version->find_first_not_of(" \t\r\n") != std::string::npos;
}

bool SystemdServiceControl::exists(const std::u16string &service)
{
    const std::optional<UnitProperties> found = properties(service, "LoadState");
    if (!found)
        return false;
    const std::string loadState = valueOf(*found, "LoadState");
    return !loadState.empty() && loadState != kNotFound;
}

bool SystemdServiceControl::start(const std::u16string &service,
                                  const std::vector<std::u16string> &arguments)
{
    return arguments.empty() && change({"start"}, service);
}

bool SystemdServiceControl::stop(const std::u16string &service)
{
    return change({"stop"}, service);
}

bool SystemdServiceControl::pause(const std::u16string &service)
{
    return change({"kill", "--signal=SIGSTOP"}, service);
}

bool SystemdServiceControl::resume(const std::u16string &service)
{
    return change({"kill", "--signal=SIGCONT"}, service);
}

bool SystemdServiceControl::shutDown(const std::u16string &service)
{
    return stop(service);
}

ServiceState SystemdServiceControl::state(const std::u16string &service)
{
    const std::optional<UnitProperties> found = properties(service, "LoadState,ActiveState");
    if (!found || valueOf(*found, "LoadState") == kNotFound)
        return ServiceState::Unknown;
    return serviceStateOf(valueOf(*found, "ActiveState"));
}

bool SystemdServiceControl::setStartType(const std::u16string &service, ServiceStartType type)
{
    switch (type) {
    case ServiceStartType::Auto:
        return change({"unmask"}, service) && change({"enable"}, service);
    case ServiceStartType::Manual:
        return change({"unmask"}, service) && change({"disable"}, service);
    case ServiceStartType::Disabled:
        return change({"mask"}, service);
    case ServiceStartType::Other:
        break;
    }
    return false;
}

std::vector<ServiceInfo> SystemdServiceControl::list()
{
    const std::optional<std::string> units =
        query({"list-units", "--type=service", "--all", "--no-legend", "--plain", "--no-pager"});
    if (!units)
        return {};
    const std::optional<std::string> unitFiles =
        query({"list-unit-files", "--type=service", "--no-legend", "--no-pager"});
    std::map<std::string, std::string> fileStates =
        unitFiles ? parseUnitFileList(*unitFiles) : std::map<std::string, std::string>();

    std::vector<ServiceInfo> services;
    const auto add = [&services](const std::string &unit, const std::string &displayName,
                                 ServiceState state, const std::string &fileState) {
        ServiceInfo info;
        info.name = utf8ToUtf16(unit);
        info.displayName = utf8ToUtf16(displayName);
        info.state = state;
        info.startType = startTypeOf(fileState);
        services.push_back(std::move(info));
    };
    for (const UnitRow &row : parseUnitList(*units)) {
        if (row.loadState == kNotFound)
            continue;
        const auto fileState = fileStates.find(row.unit);
        add(row.unit, row.description.empty() ? row.unit : row.description,
            serviceStateOf(row.activeState),
            fileState == fileStates.end() ? std::string() : fileState->second);
        if (fileState != fileStates.end())
            fileStates.erase(fileState);
    }
    for (const auto &[unit, fileState] : fileStates) {
        if (!unit.ends_with("@.service") && fileState != "alias")
            add(unit, unit, ServiceState::Stopped, fileState);
    }
    addPrograms(services);
    return services;
}

std::optional<std::string> SystemdServiceControl::query(const std::vector<std::string> &arguments)
{
    std::optional<CommandResult> result =
        runBoundedCommand(m_options.systemctl, arguments, m_options.timeLimit);
    if (!result || result->exitCode != 0)
        return std::nullopt;
    return std::move(result->output);
}

bool SystemdServiceControl::change(std::vector<std::string> command, const std::u16string &service)
{
    const std::optional<std::string> unit = systemdUnitName(service);
    if (!unit)
        return false;
    command.push_back("--no-ask-password");
    command.push_back(*unit);
    return query(command).has_value();
}

std::optional<UnitProperties> SystemdServiceControl::properties(const std::u16string &service,
                                                                const std::string &names)
{
    const std::optional<std::string> unit = systemdUnitName(service);
    if (!unit)
        return std::nullopt;
    const std::optional<std::string> output = query({"show", "-p", names, *unit});
    if (!output)
        return std::nullopt;
    std::vector<UnitProperties> blocks = parseUnitProperties(*output);
    if (blocks.empty())
        return std::nullopt;
    return std::move(blocks.front());
}

void SystemdServiceControl::addPrograms(std::vector<ServiceInfo> &services)
{
    if (services.empty())
        return;
    std::vector<std::string> arguments = {"show", "-p", "Id,ExecStart"};
    for (const ServiceInfo &info : services) {
        if (const std::optional<std::string> unit = systemdUnitName(info.name))
            arguments.push_back(*unit);
    }
    const std::optional<std::string> output = query(arguments);
    if (!output)
        return;
    std::map<std::string, std::string> programs;
    for (const UnitProperties &unit : parseUnitProperties(*output))
        programs.emplace(valueOf(unit, "Id"), execStartProgram(valueOf(unit, "ExecStart")));
    for (ServiceInfo &info : services) {
        const auto program = programs.find(utf16ToUtf8(info.name));
        if (program != programs.end())
            info.executable = utf8ToUtf16(program->second);
    }
}

} // namespace platform
