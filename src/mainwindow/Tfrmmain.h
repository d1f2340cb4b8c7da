#pragma once

#include "login/LoginTarget.h"
#include "routes/Tmyrouter.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;

namespace catalogue {
class AreaSelection;
}
namespace connection {
class ConnectionController;
class L2tpEnablement;
class LinkStatistics;
} // namespace connection
namespace latency {
class BatchLatencyTest;
class LineTableModel;
class LineTableView;
} // namespace latency
namespace login {
class Tfrmlogin;
}
namespace routes {
class MasterRoute;
}
namespace reporting {
class AccountChecks;
class StatusHeartbeat;
} // namespace reporting
namespace platform {
class BrowserPane;
}

namespace mainwindow {

// The client's long-lived window. Its creation runs the login; closing it saves the
// area and line selection and ends the process.
class Tfrmmain : public QMainWindow, public login::LoginTarget
{
    Q_OBJECT
public:
    using ProcessEnd = std::function<void(int exitCode)>;

    explicit Tfrmmain(ProcessEnd endProcess, QWidget *parent = nullptr);
    ~Tfrmmain() override;

    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void FormClose();

    void setUserLabel(const QString &text) override;
    void setStatusLabel(const QString &text) override;
    void setLocalIpLabel(const QString &text) override;
    void armVersionReminder() override;

    catalogue::AreaSelection &areaSelection() { return *m_areas; }
    connection::ConnectionController &connectionController() { return *m_connection; }
    const std::vector<routes::Tmyrouter> &routerList() const { return routerlist; }

    // Menu and tray commands.
    void N1Click();
    void N7Click();
    void N9Click();
    void openWebSitePage(const QString &path);
    void N10Click();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildTimers();
    void buildMenus();
    void buildConnection();
    void saveSelection();
    void chooseLine(const QString &name);
    void hideToTray();

    ProcessEnd m_endProcess;
    bool m_shown = false;
    bool m_ending = false;
    login::Tfrmlogin *_frmlogin = nullptr;

    platform::BrowserPane *web1 = nullptr;
    platform::BrowserPane *web2 = nullptr;
    QComboBox *AreaTxt2 = nullptr;
    QComboBox *AreaTxt = nullptr;
    QComboBox *IPAddrTxt = nullptr;
    QComboBox *com_game = nullptr;
    QRadioButton *rb_pptp = nullptr;
    QRadioButton *rb_lp2p = nullptr;
    QPushButton *btn_speed = nullptr;
    QPushButton *cesu = nullptr;
    QPushButton *btn_conn = nullptr;
    QPushButton *btn_disconn = nullptr;
    latency::LineTableModel *m_lines = nullptr;
    latency::LineTableView *vt1 = nullptr;
    QLabel *statuslabel = nullptr;
    QLabel *protocollabel = nullptr;
    QLabel *userlabel = nullptr;
    QLabel *localiplabel = nullptr;
    QLabel *datalabel = nullptr;
    QLabel *lbl_info = nullptr;
    QMenu *taskmenu1 = nullptr;

    QTimer *Timer1 = nullptr;
    QTimer *Timer2 = nullptr;
    QTimer *dialupstatus = nullptr;
    QTimer *rast12 = nullptr;
    QTimer *dialupcheck = nullptr;
    QTimer *autodialstatus = nullptr;
    QTimer *statuscheck = nullptr;
    QTimer *vercheck = nullptr;
    QTimer *datecheck = nullptr;

    std::unique_ptr<catalogue::AreaSelection> m_areas;
    std::unique_ptr<connection::LinkStatistics> m_statistics;
    std::unique_ptr<latency::BatchLatencyTest> m_batch;
    std::unique_ptr<routes::MasterRoute> m_masterRoute;
    std::unique_ptr<connection::L2tpEnablement> m_l2tp;
    std::unique_ptr<connection::ConnectionController> m_connection;
    std::unique_ptr<reporting::StatusHeartbeat> m_heartbeat;
    std::unique_ptr<reporting::AccountChecks> m_accountChecks;
    std::vector<routes::Tmyrouter> routerlist =
        std::vector<routes::Tmyrouter>(routes::RouterListSize);
};

} // namespace mainwindow
