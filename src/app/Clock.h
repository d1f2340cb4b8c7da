#pragma once

#include <QDateTime>

#include <functional>

namespace app {

// The local time as the client reads it everywhere: online time, entry names, ids.
// Tests replace the source to step through time without waiting.
QDateTime CurrentDateTime();
void SetDateTimeSource(std::function<QDateTime()> source);

} // namespace app
