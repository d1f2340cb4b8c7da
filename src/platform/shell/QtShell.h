#pragma once

#include "platform/shell/Shell.h"

namespace platform {

class QtShell : public Shell
{
public:
    bool openUrl(const QUrl &url) override;
};

} // namespace platform
