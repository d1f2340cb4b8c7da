#include "mainwindow/Tfrmmain.h"

#include "account/AccountDialogs.h"
#include "app/AppInfo.h"
#include "app/ClientState.h"
#include "app/MessageBoxes.h"
#include "app/Services.h"
#include "catalogue/AreaSelection.h"
#include "connection/ConnectionController.h"
#include "connection/L2tpEnablement.h"
#include "connection/LinkStatistics.h"
#include "latency/BatchLatencyTest.h"
#include "latency/LineTableModel.h"
#include "latency/LineTableView.h"
#include "latency/TForm1.h"
#include "login/BackendRequests.h"
#include "login/Tfrmlogin.h"
#include "platform/browser/BrowserPane.h"
#include "platform/messagebox/MessageBoxes.h"
#include "platform/settings/SettingsStore.h"
#include "platform/shell/Shell.h"
#include "platform/tray/TrayIcon.h"
#include "reporting/AccountChecks.h"
#include "reporting/StatusHeartbeat.h"
#include "routes/IpHelper.h"
#include "routes/MasterRoute.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace mainwindow {

namespace {

const std::u16string SelectionKey = u"SOFTWARE\\zavazizud";

QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text, const QRect &geometry)
{
    auto *label = new QLabel(text, parent);
    // Labels show back-end text; markup in it must not be rendered or load anything.
    label->setTextFormat(Qt::PlainText);
    if (!name.isEmpty())
        label->setObjectName(name);
    label->setGeometry(geometry);
    return label;
}

QPushButton *makeButton(QWidget *parent, const QString &name, const QString &caption,
                        const QRect &geometry, bool bold = false)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    if (bold) {
        QFont font = button->font();
        font.setBold(true);
        button->setFont(font);
    }
    return button;
}

QComboBox *makeSelector(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *selector = new QComboBox(parent);
    selector->setObjectName(name);
    selector->setGeometry(geometry);
    selector->setMaxVisibleItems(20);
    return selector;
}

QAction *addCommand(QMenu *menu, const QString &name, const QString &caption, bool visible = true)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(name);
    action->setVisible(visible);
    return action;
}

} // namespace

Tfrmmain::Tfrmmain(ProcessEnd endProcess, QWidget *parent)
    : QMainWindow(parent), m_endProcess(std::move(endProcess))
{
    setObjectName(QStringLiteral("frmmain"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    buildControls();
    buildTimers();
    buildConnection();
    buildMenus();
}

Tfrmmain::~Tfrmmain() = default;

void Tfrmmain::buildControls()
{
    auto *client = new QWidget(this);
    client->setFixedSize(696, 435);
    setCentralWidget(client);

    web1 = app::services().browsers->create(client);
    web1->setObjectName(QStringLiteral("web1"));
    web1->setGeometry(4, 2, 687, 75);

    makeLabel(client, {}, QStringLiteral("地区："), QRect(8, 88, 44, 24));
    AreaTxt2 = makeSelector(client, QStringLiteral("AreaTxt2"), QRect(52, 88, 250, 24));
    makeLabel(client, {}, QStringLiteral("线路："), QRect(8, 118, 44, 24));
    IPAddrTxt = makeSelector(client, QStringLiteral("IPAddrTxt"), QRect(52, 118, 250, 24));
    makeLabel(client, {}, QStringLiteral("协议："), QRect(8, 148, 44, 24));
    rb_pptp = new QRadioButton(QStringLiteral("PPTP"), client);
    rb_pptp->setObjectName(QStringLiteral("rb_pptp"));
    rb_pptp->setGeometry(52, 148, 70, 24);
    rb_pptp->setChecked(true);
    rb_lp2p = new QRadioButton(QStringLiteral("L2TP"), client);
    rb_lp2p->setObjectName(QStringLiteral("rb_lp2p"));
    rb_lp2p->setGeometry(126, 148, 70, 24);

    btn_speed = makeButton(client, QStringLiteral("btn_speed"), QStringLiteral("批量测速"),
                           QRect(6, 178, 72, 28));
    cesu = makeButton(client, QStringLiteral("cesu"), QStringLiteral("单个测速"),
                      QRect(82, 178, 72, 28));
    btn_conn = makeButton(client, QStringLiteral("btn_conn"), QStringLiteral("连  接"),
                          QRect(158, 178, 72, 28), true);
    btn_disconn = makeButton(client, QStringLiteral("btn_disconn"), QStringLiteral("断  开"),
                             QRect(234, 178, 72, 28), true);
    btn_disconn->setEnabled(false);

    web2 = app::services().browsers->create(client);
    web2->setObjectName(QStringLiteral("web2"));
    web2->setGeometry(4, 212, 302, 181);

    m_lines = new latency::LineTableModel(this);
    vt1 = new latency::LineTableView(m_lines, client);
    vt1->setGeometry(310, 80, 380, 316);

    auto *statusPanel = new QFrame(client);
    statusPanel->setFrameShape(QFrame::Panel);
    statusPanel->setFrameShadow(QFrame::Sunken);
    statusPanel->setGeometry(0, 398, 696, 37);
    statuslabel = makeLabel(statusPanel, QStringLiteral("statuslabel"), QStringLiteral("未连接"),
                            QRect(6, 2, 170, 16));
    protocollabel = makeLabel(statusPanel, QStringLiteral("protocollabel"),
                              QStringLiteral("当前连接协议:PPTP VPN"), QRect(180, 2, 170, 16));
    localiplabel =
        makeLabel(statusPanel, QStringLiteral("localiplabel"), {}, QRect(354, 2, 336, 16));
    datalabel = makeLabel(statusPanel, QStringLiteral("datalabel"), {}, QRect(354, 19, 336, 16));
    userlabel = makeLabel(statusPanel, QStringLiteral("userlabel"), {}, QRect(6, 19, 344, 16));

    // Working controls that hold state but are never shown.
    AreaTxt = makeSelector(client, QStringLiteral("AreaTxt"), QRect(700, 88, 120, 24));
    com_game = makeSelector(client, QStringLiteral("com_game"), QRect(700, 118, 120, 24));
    com_game->setEnabled(false);
    lbl_info = makeLabel(client, QStringLiteral("lbl_info"), {}, QRect(700, 148, 120, 16));
    for (QWidget *working : std::initializer_list<QWidget *>{AreaTxt, com_game, lbl_info})
        working->hide();

    m_areas = std::make_unique<catalogue::AreaSelection>(
        catalogue::AreaSelection::Controls{this, AreaTxt2, AreaTxt, IPAddrTxt, com_game, m_lines});
    connect(AreaTxt2, &QComboBox::activated, this, [this] { m_areas->AreaTxt2Change(); });
    connect(AreaTxt, &QComboBox::activated, this, [this] { m_areas->AreaTxtChange(); });
    connect(vt1, &latency::LineTableView::lineChosen, this, &Tfrmmain::chooseLine);
    connect(vt1, &latency::LineTableView::clickedWithoutFocusedRow, this,
            [this] { IPAddrTxt->setCurrentIndex(0); });
    connect(vt1, &latency::LineTableView::headerSorted, this,
            [this] { m_batch->RefreshLineTable(); });
}

void Tfrmmain::buildTimers()
{
    const auto makeTimer = [this](const char *name, int interval) {
        auto *timer = new QTimer(this);
        timer->setObjectName(QLatin1String(name));
        timer->setInterval(interval);
        return timer;
    };
    Timer1 = makeTimer("Timer1", 2000);
    Timer2 = makeTimer("Timer2", 1000);
    dialupstatus = makeTimer("dialupstatus", 1000);
    rast12 = makeTimer("rast12", 4000);
    dialupcheck = makeTimer("dialupcheck", 15000);
    autodialstatus = makeTimer("autodialstatus", 20000);
    statuscheck = makeTimer("statuscheck", 218000);
    vercheck = makeTimer("vercheck", 15000);
    datecheck = makeTimer("datecheck", 900000);
}

void Tfrmmain::buildConnection()
{
    m_statistics = std::make_unique<connection::LinkStatistics>();
    m_batch = std::make_unique<latency::BatchLatencyTest>(
        latency::BatchLatencyTest::Controls{btn_speed, IPAddrTxt, Timer1, lbl_info, m_lines, vt1});
    connect(btn_speed, &QPushButton::clicked, this, [this] { m_batch->btn_speedClick(); });
    connect(Timer1, &QTimer::timeout, this, [this] { m_batch->Timer1Timer(); });
    auto *speedTest = new latency::TForm1(this, AreaTxt2, IPAddrTxt, cesu);
    connect(cesu, &QPushButton::clicked, speedTest, &latency::TForm1::cesuClick);
    m_l2tp = std::make_unique<connection::L2tpEnablement>(this);
    m_masterRoute = std::make_unique<routes::MasterRoute>(routerlist);
    // The mode selector takes no typing; choosing one of its (never present) items pins
    // the route again.
    com_game->setFocusPolicy(Qt::NoFocus);
    connect(com_game, &QComboBox::activated, this,
            [this] { m_masterRoute->PrepareMasterRoute(com_game->currentText()); });
    m_connection = std::make_unique<connection::ConnectionController>(
        connection::ConnectionControls{
            this,          AreaTxt2,  IPAddrTxt,    com_game,    rb_pptp, rb_lp2p,
            btn_speed,     cesu,      btn_conn,     btn_disconn, vt1,     statuslabel,
            protocollabel, datalabel, dialupstatus, dialupcheck, rast12,  autodialstatus,
            statuscheck,   datecheck, Timer1,       Timer2},
        *m_statistics,
        connection::ConnectionHooks{[this] {
                                        m_masterRoute->PrepareMasterRoute(QStringLiteral("aa"));
                                        m_masterRoute->AddMasterRoute();
                                    },
                                    [this] { m_l2tp->OfferL2tpEnforcement(); },
                                    [this] { hideToTray(); }, [this] { m_batch->stopFeeder(); }});
    connection::ConnectionController &controller = *m_connection;
    connect(btn_conn, &QPushButton::clicked, this, [&controller] { controller.btn_connClick(); });
    connect(btn_disconn, &QPushButton::clicked, this,
            [&controller] { controller.btn_disconnClick(); });
    connect(rb_pptp, &QRadioButton::clicked, this, [&controller] { controller.rb_pptpClick(); });
    connect(rb_lp2p, &QRadioButton::clicked, this, [&controller] { controller.rb_lp2pClick(); });
    connect(dialupstatus, &QTimer::timeout, this,
            [&controller] { controller.dialupstatusTimer(); });
    connect(dialupcheck, &QTimer::timeout, this, [&controller] { controller.dialupcheckTimer(); });
    connect(rast12, &QTimer::timeout, this, [&controller] { controller.rast12Timer(); });
    connect(autodialstatus, &QTimer::timeout, this,
            [&controller] { controller.autodialstatusTimer(); });
    connect(Timer2, &QTimer::timeout, this, [&controller] { controller.Timer2Timer(); });

    const reporting::DisconnectActions disconnect{
        [&controller] { controller.btn_disconnClick(); },
        [this](const QString &text) { statuslabel->setText(text); }};
    m_heartbeat = std::make_unique<reporting::StatusHeartbeat>(*m_statistics, this, disconnect);
    m_accountChecks =
        std::make_unique<reporting::AccountChecks>(this, disconnect, [this] { vercheck->stop(); });
    connect(statuscheck, &QTimer::timeout, this, [this] { m_heartbeat->statuscheckTimer(); });
    connect(datecheck, &QTimer::timeout, this, [this] { m_accountChecks->datecheckTimer(); });
    connect(vercheck, &QTimer::timeout, this, [this] { m_accountChecks->vercheckTimer(); });
}

void Tfrmmain::buildMenus()
{
    QMenuBar *mm1 = menuBar();
    mm1->setObjectName(QStringLiteral("mm1"));

    QMenu *N2 = mm1->addMenu(QStringLiteral("帐户管理"));
    N2->menuAction()->setObjectName(QStringLiteral("N2"));
    connect(addCommand(N2, QStringLiteral("N11"), QStringLiteral("帐户注册")), &QAction::triggered,
            this, &account::ShowRegistrationDialog);
    connect(addCommand(N2, QStringLiteral("N3"), QStringLiteral("帐户充值")), &QAction::triggered,
            this, &account::ShowRechargeDialog);
    connect(addCommand(N2, QStringLiteral("N4"), QStringLiteral("修改密码")), &QAction::triggered,
            this, &account::ShowPasswordDialog);
    connect(addCommand(N2, QStringLiteral("N10"), QStringLiteral("登录查询"), false),
            &QAction::triggered, this, &Tfrmmain::N10Click);

    QMenu *H1 = mm1->addMenu(QStringLiteral("官方信息"));
    H1->menuAction()->setObjectName(QStringLiteral("H1"));
    H1->menuAction()->setVisible(false);
    connect(addCommand(H1, QStringLiteral("N1"), QStringLiteral("关于")), &QAction::triggered, this,
            &Tfrmmain::N1Click);

    // The news item opens the help page and the help item the news page, as the service's
    // web site has always had them.
    const struct
    {
        const char *name;
        const char *caption;
        const char *path;
    } pages[] = {{"V1", "官方网站", "/"},
                 {"N12", "新闻公告", "/help/"},
                 {"A1", "帮助信息", "/news/"},
                 {"N15", "购买连接", "/pay.asp"},
                 {"N13", "联系我们", "/contact.html"}};
    for (const auto &page : pages) {
        QAction *action = mm1->addAction(QString::fromUtf8(page.caption));
        action->setObjectName(QLatin1String(page.name));
        const QString path = QLatin1String(page.path);
        connect(action, &QAction::triggered, this, [this, path] { openWebSitePage(path); });
    }

    QMenu *O1 = mm1->addMenu(QStringLiteral("刷新线路"));
    O1->menuAction()->setObjectName(QStringLiteral("O1"));
    connect(addCommand(O1, QStringLiteral("N14"), QStringLiteral("刷新线路")), &QAction::triggered,
            this, [this] { m_areas->N14Click(); });
    connect(addCommand(O1, QStringLiteral("L2TPQ1"), QStringLiteral("L2TP强制生效"), false),
            &QAction::triggered, this, [this] { m_l2tp->L2TPQ1Click(); });

    taskmenu1 = new QMenu(this);
    taskmenu1->setObjectName(QStringLiteral("taskmenu1"));
    connect(addCommand(taskmenu1, QStringLiteral("N9"), QStringLiteral("显示主界面")),
            &QAction::triggered, this, &Tfrmmain::N9Click);
    connect(addCommand(taskmenu1, QStringLiteral("N7"), QStringLiteral("退出")),
            &QAction::triggered, this, &Tfrmmain::N7Click);
    connect(addCommand(taskmenu1, QStringLiteral("N8"), QStringLiteral("关于")),
            &QAction::triggered, this, &Tfrmmain::N1Click);
    connect(addCommand(taskmenu1, QStringLiteral("N5"), QStringLiteral("连接"), false),
            &QAction::triggered, this, [this] { m_connection->btn_connClick(); });
    connect(addCommand(taskmenu1, QStringLiteral("N6"), QStringLiteral("断开"), false),
            &QAction::triggered, this, [this] { m_connection->btn_disconnClick(); });
}

void Tfrmmain::FormCreate()
{
    routes::BindIpHelper();
    // A simulated dial connects nothing: say so where nobody can miss it.
    setWindowTitle(app::services().config.dialer == QLatin1String("sim")
                       ? app::ApplicationTitle + QStringLiteral(" [模拟拨号]")
                       : app::ApplicationTitle);
    _frmlogin = new login::Tfrmlogin(this);
    _frmlogin->exec();
    delete _frmlogin;
    _frmlogin = nullptr;
    if (!app::client().LoggedIn) {
        close();
        return;
    }

    web1->navigate(
        login::backendUrl(app::client().MasterHost, QStringLiteral("/taverinclient/maintop.htm")));
    web2->navigate(QUrl(QStringLiteral("http://") + app::services().config.website +
                        QStringLiteral("/softnews.asp")));
    platform::TrayIcon *tray = app::services().tray;
    tray->setMenu(taskmenu1);
    connect(tray, &platform::TrayIcon::restoreRequested, this, &Tfrmmain::N9Click);
    tray->setEnabled(true);
    tray->setHint(windowTitle());
    routerlist.assign(routes::RouterListSize, routes::Tmyrouter{});
    m_areas->LoadAreaSelectors();
}

void Tfrmmain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void Tfrmmain::FormShow()
{
    if (catalogue::AreaBarItem *start = m_areas->startItem())
        m_areas->AreaItemClick(start);
}

bool Tfrmmain::FormCloseQuery()
{
    if (!app::client().VpnConnected)
        return true;
    if (app::AskYesNo(this, QStringLiteral("VPN正在连接,关闭将断开VPN连接,你确定要关闭吗")))
        return true;
    showMinimized();
    return false;
}

void Tfrmmain::FormClose()
{
    m_ending = true;
    saveSelection();
    app::BatchTestRunning() = false;
    if (app::client().MasterRouteAdded)
        m_masterRoute->DeleteListedRoutes();
    m_connection->ReleaseRasConnection();
    app::services().tray->setEnabled(false);
    const QDir folder(app::ProgramFolder());
    QFile::remove(folder.filePath(QStringLiteral("delroute.bat")));
    QFile::remove(folder.filePath(QStringLiteral("route.bat")));
    m_endProcess(0);
}

// The outcome is deliberately not checked: a selection that cannot be written is simply
// not remembered, and the close goes on.
void Tfrmmain::saveSelection()
{
    platform::SettingsStore &store = *app::services().settings;
    const auto root = platform::RegistryRoot::LocalMachine;
    if (!store.keyExists(root, SelectionKey))
        store.createKey(root, SelectionKey);
    store.writeValue(root, SelectionKey, u"AREACombobox2",
                     platform::RegistryValue::fromString(
                         QString::number(AreaTxt2->currentIndex()).toStdU16String()));
    store.writeValue(root, SelectionKey, u"IPCombobox2",
                     platform::RegistryValue::fromString(
                         QString::number(IPAddrTxt->currentIndex()).toStdU16String()));
}

void Tfrmmain::closeEvent(QCloseEvent *event)
{
    if (m_ending || !FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
}

void Tfrmmain::chooseLine(const QString &name)
{
    IPAddrTxt->setCurrentIndex(
        IPAddrTxt->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void Tfrmmain::N1Click()
{
    app::services().boxes->show(this, platform::BoxIcon::None, QStringLiteral("关于"),
                                QStringLiteral("Taverin网络加速器6.0"), platform::BoxButtons::Ok);
}

void Tfrmmain::N7Click()
{
    if (app::client().VpnConnected)
        m_connection->btn_disconnClick();
    close();
}

// Without a notification area a hidden window could never be brought back, so it is
// minimised instead.
void Tfrmmain::hideToTray()
{
    if (app::services().tray->isAvailable())
        hide();
    else
        showMinimized();
}

void Tfrmmain::N9Click()
{
    showNormal();
    raise();
    activateWindow();
}

void Tfrmmain::openWebSitePage(const QString &path)
{
    app::services().shell->openUrl(
        QUrl(QStringLiteral("http://") + app::services().config.website + path));
}

void Tfrmmain::N10Click()
{
    app::services().shell->openUrl(
        login::backendUrl(app::services().config.master1, QStringLiteral("/sysadmin/useradmin/")));
}

void Tfrmmain::setUserLabel(const QString &text)
{
    userlabel->setText(text);
}

void Tfrmmain::setStatusLabel(const QString &text)
{
    statuslabel->setText(text);
}

void Tfrmmain::setLocalIpLabel(const QString &text)
{
    localiplabel->setText(text);
}

void Tfrmmain::armVersionReminder()
{
    vercheck->start();
}

} // namespace mainwindow
