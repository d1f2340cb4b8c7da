#pragma once

#include "platform/services/ServiceControl.h"

#include <map>
#include <string>
#include <string_view>

namespace platform {

// The unit a service name stands for: ".service" is added when the name has no unit type
// of its own. Nothing for names systemd would refuse or that could be read as an option:
// only letters, digits and ":-_.\@", not starting with "-".
std::optional<std::string> systemdUnitName(std::u16string_view service);

ServiceState serviceStateOf(std::string_view activeState);
ServiceStartType startTypeOf(std::string_view unitFileState);

// `systemctl show` output: "Key=Value" lines, one block per unit, blocks apart by an empty
// line.
using UnitProperties = std::map<std::string, std::string, std::less<>>;
std::vector<UnitProperties> parseUnitProperties(std::string_view output);

// The program of an ExecStart property ("{ path=/usr/sbin/x ; argv[]=… }"); the first
// where there are several, empty where there is none.
std::string execStartProgram(std::string_view execStart);

struct UnitRow
{
    std::string unit;
    std::string loadState;
    std::string activeState;
    std::string description;
};

// Rows of `list-units --no-legend --plain`; lines that name no service are left out.
std::vector<UnitRow> parseUnitList(std::string_view output);
// Unit to file state, from `list-unit-files --no-legend`; services only.
std::map<std::string, std::string> parseUnitFileList(std::string_view output);

} // namespace platform
