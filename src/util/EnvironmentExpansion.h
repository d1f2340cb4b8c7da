#pragma once

#include <QString>

#include <optional>

namespace util {

// Room for an expanded text, its terminating zero included, as command lines from the
// service configuration have always been expanded into.
inline constexpr qsizetype ExpansionBufferSize = 1024;

// Replaces every %NAME% whose NAME is set in the process environment with its value; a
// reference to an unset name is left as written. Names are matched exactly, since POSIX
// environments tell the case of names apart. The result ends at its first zero character.
// nullopt when the expansion does not fit ExpansionBufferSize.
std::optional<QString> expandEnvironment(const QString &text);

} // namespace util
