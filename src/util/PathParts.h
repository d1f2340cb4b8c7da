#pragma once

#include <QString>

namespace util {

// Parts of a path written the Windows way ("C:\dir\name.ext", "\\server\share\x").
// Paths here may also be POSIX ones, so "/" counts as a folder separator wherever "\"
// does; ":" ends a drive.

// After the last "\", "/" or ":".
QString fileNamePart(const QString &path);
// From the last "." of the file name on, dot included; empty when the name has none.
QString fileExtPart(const QString &path);
// Up to and including the last "\", "/" or ":".
QString filePathPart(const QString &path);
// "C:" for "C:\x", "\\server\share" for a UNC path, else empty. A leading "file://"
// (any case) is removed first.
QString fileDrivePart(const QString &path);

} // namespace util
