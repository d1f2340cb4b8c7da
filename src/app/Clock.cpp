#include "app/Clock.h"

namespace app {

namespace {

std::function<QDateTime()> &source()
{
    static std::function<QDateTime()> current = [] { return QDateTime::currentDateTime(); };
    return current;
}

} // namespace

QDateTime CurrentDateTime()
{
    return source()();
}

void SetDateTimeSource(std::function<QDateTime()> newSource)
{
    source() = newSource ? std::move(newSource) : [] { return QDateTime::currentDateTime(); };
}

} // namespace app
