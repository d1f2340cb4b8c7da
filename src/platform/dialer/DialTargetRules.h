#pragma once

#include <string_view>

namespace platform {

// Entry names and hosts reach the dialers from the network and end up in file names, in
// option files and (the host) in a command that a shell runs, so only plain forms pass.

// 1 to 64 characters of ASCII letters, digits, ' ', '-', '_' and '.'; no leading ' ', '-'
// or '.', no trailing ' ' or '.', and no "..".
bool isValidEntryName(std::u16string_view name);

// A dotted IPv4 address (four parts of 0–255) or a DNS host name: labels of 1–63 ASCII
// letters, digits and '-', neither starting nor ending with '-', at most 253 characters
// in all, and not all-numeric unless it is a dotted IPv4 address.
bool isValidHost(std::u16string_view host);

} // namespace platform
