#pragma once

#include <QString>

#include <optional>

namespace util {

struct ProgramFileResolution
{
    // The program file the command line names, or the launcher prefix it begins with.
    QString programFile;
    // Set only when the command line begins with a launcher prefix such as
    // "rundll32.exe ": the command line trimmed and with A-Z lower-cased.
    std::optional<QString> launcherCommandLine;
};

// Finds the program file a command line (a service's image path, say) names. Tried in
// turn, the first that names an existing file wins:
//   - a launcher prefix ("rundll32.exe ") at the start: that prefix, nothing more checked;
//   - the whole trimmed, lower-cased command line, then the same with %NAME% expanded;
//   - its first word, or its first quoted part when it begins with a double quote;
//   - the first word of the original command line with enclosing quotes removed and
//     %NAME% expanded;
// and when none exists: the original up to its first "." followed by the first word
// after it ("C:\Windows\system32\svchost.exe -k netsvcs" gives
// "C:\Windows\system32\svchost.exe").
ProgramFileResolution resolveProgramFile(const QString &commandLine);

// The text with %NAME% expanded and trimmed; the text unchanged when the expansion does
// not fit.
QString expandEnvironmentOrKeep(const QString &text);

// Whether a regular file exists at the path (folders do not count).
bool fileExists(const QString &path);

} // namespace util
