#pragma once

#include <QUrl>

namespace platform {

// Opens web addresses in the user's default browser.
class Shell
{
public:
    virtual ~Shell() = default;

    virtual bool openUrl(const QUrl &url) = 0;
};

} // namespace platform
