#pragma once

#include "platform/shell/Shell.h"

#include <QList>

namespace platform {

// Remembers the addresses it is asked to open; opens nothing.
class RecordingShell : public Shell
{
public:
    bool openUrl(const QUrl &url) override
    {
        m_opened.append(url);
        return true;
    }
    const QList<QUrl> &opened() const { return m_opened; }

private:
    QList<QUrl> m_opened;
};

} // namespace platform
