#pragma once

#include "platform/dialer/Dialer.h"

#include <QString>

#include <functional>

class QAbstractItemView;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;
class QWidget;

namespace connection {

class LinkStatistics;

// The main window's controls and timers that connecting, supervising and ending a
// connection work on.
struct ConnectionControls
{
    QWidget *window;
    QComboBox *AreaTxt2;
    QComboBox *IPAddrTxt;
    QComboBox *com_game;
    QRadioButton *rb_pptp;
    QRadioButton *rb_lp2p;
    QPushButton *btn_speed;
    QPushButton *cesu;
    QPushButton *btn_conn;
    QPushButton *btn_disconn;
    QAbstractItemView *vt1;
    QLabel *statuslabel;
    QLabel *protocollabel;
    QLabel *datalabel;
    QTimer *dialupstatus;
    QTimer *dialupcheck;
    QTimer *rast12;
    QTimer *autodialstatus;
    QTimer *statuscheck;
    QTimer *datecheck;
    QTimer *Timer1;
    QTimer *Timer2;
};

// Work that belongs to other parts of the client, called at fixed points of a connect;
// a hook that is not set is skipped.
struct ConnectionHooks
{
    // Pins the host route to the master node's route address before every connect.
    std::function<void()> pinMasterRoute;
    // May make L2TP usable on this machine before an L2TP connect goes on.
    std::function<void()> offerL2tpEnforcement;
    // The link is up: the window goes to the notification area.
    std::function<void()> hideToTray;
    // The link is up: a running batch latency test stops.
    std::function<void()> stopBatchTest;
};

// Turns the chosen line into a dial-up VPN connection, follows the dial, shows traffic,
// notices drops and redials, and ends connections: the handlers behind the connect and
// disconnect buttons and the supervision timers.
class ConnectionController
{
public:
    ConnectionController(const ConnectionControls &controls, LinkStatistics &statistics,
                         ConnectionHooks hooks);

    void btn_connClick();
    void btn_disconnClick();
    void ReleaseRasConnection();

    void dialupstatusTimer();
    void dialupcheckTimer();
    void rast12Timer();
    void autodialstatusTimer();
    void Timer2Timer();

    void rb_pptpClick();
    void rb_lp2pClick();

    // The text shown after "错误：" and the code for a dial that failed with it.
    static QString DialErrorReason(std::uint32_t code);

private:
    enum class RasManResult { Proceed, ProceedAsPptp, Stop };

    void applyConnectLock();
    void applyIdleControls();
    void linkUpActions();
    void dialEndActions();
    RasManResult rasManCheck();
    bool lineCheck(const QString &serverAddress, platform::DialCredentials &credentials);
    void setStatus(const QString &text);
    void setDataLabel(const QString &text, bool highlighted);

    ConnectionControls m_controls;
    LinkStatistics &m_statistics;
    ConnectionHooks m_hooks;
};

} // namespace connection
