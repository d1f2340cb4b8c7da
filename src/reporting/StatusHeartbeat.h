#pragma once

#include "reporting/ForcedDisconnect.h"

#include "platform/http/HttpTransport.h"

class QWidget;

namespace connection {
class LinkStatistics;
}

namespace reporting {

// Reports the link the client dialled to the back end: server, addresses, account,
// traffic and online time. The back end's answer can end the connection when the account
// has logged in on another computer. Failures are quiet; the next tick simply reports again.
class StatusHeartbeat
{
public:
    // statistics is the window's one traffic counter, shared with its traffic display;
    // window is the parent of the message box.
    StatusHeartbeat(connection::LinkStatistics &statistics, QWidget *window,
                    DisconnectActions actions);

    // One report; the window calls it from its heartbeat timer.
    void statuscheckTimer();

private:
    platform::FormFields reportFields();
    void refreshServerAddress();

    connection::LinkStatistics &m_statistics;
    QWidget *m_window;
    DisconnectActions m_actions;
};

} // namespace reporting
