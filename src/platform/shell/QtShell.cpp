#include "platform/shell/QtShell.h"

#include <QDesktopServices>

namespace platform {

bool QtShell::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace platform
