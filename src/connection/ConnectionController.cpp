#include "connection/ConnectionController.h"

#include "app/AppInfo.h"
#include "app/ClientState.h"
#include "app/Clock.h"
#include "app/MessageBoxes.h"
#include "app/Services.h"
#include "catalogue/ServerListDocument.h"
#include "connection/ConnectionFormats.h"
#include "connection/LinkStatistics.h"
#include "login/BackendRequests.h"
#include "platform/messagebox/MessageBoxes.h"
#include "platform/settings/SettingsStore.h"
#include "platform/tray/TrayIcon.h"
#include "util/TextRoutines.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStringDecoder>
#include <QTimer>

#include <random>

namespace connection {

namespace {

using platform::DialStates::Connected;

constexpr std::chrono::milliseconds HangUpWaitLimit{3000};
const QString DirectAccountToken = QStringLiteral("3b8e1d7f0a2c9e4b6d1f8a3c5e0b7d2a");
const QString CredentialSeparator = QStringLiteral("7e2c9b4f1d8a3e6c0b5f2d9a4c7e1b8f");
const std::u16string RasManKey = u"SYSTEM\\CurrentControlSet\\Services\\RasMan\\Parameters";
const QString RedStyle = QStringLiteral("color: red;");

platform::Dialer &dialer()
{
    return *app::services().dialer;
}

// A VCL-style "enable": a running timer keeps its phase.
void enable(QTimer *timer)
{
    if (!timer->isActive())
        timer->start();
}

int randomDigit()
{
    static std::mt19937 generator{std::random_device{}()};
    return std::uniform_int_distribution<int>(0, 9)(generator);
}

// The line check hands out dial credentials as bytes, one character each; they are text
// in the back end's code page.
QString credentialText(const QString &decoded)
{
    QByteArray bytes;
    bytes.reserve(decoded.size());
    for (QChar c : decoded) {
        if (c.unicode() > 0xFF)
            return decoded;
        bytes.append(char(c.unicode()));
    }
    QStringDecoder decoder(app::services().config.codePage.toLatin1().constData(),
                           QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

} // namespace

ConnectionController::ConnectionController(const ConnectionControls &controls,
                                           LinkStatistics &statistics, ConnectionHooks hooks)
    : m_controls(controls), m_statistics(statistics), m_hooks(std::move(hooks))
{}

QString ConnectionController::DialErrorReason(std::uint32_t code)
{
    switch (code) {
    case 691:
        return QStringLiteral("用户名和密码无法验证");
    case 930:
        return QStringLiteral("服务器无法进行身份验证");
    case 619:
    case 800:
        return QStringLiteral("可能你的网络有限制或此线路存在故障");
    case 633:
    case 756:
        return QStringLiteral("系统故障，请重新打开客户端或重新启动电脑");
    default:
        return QStringLiteral("无法连接，请更换线路");
    }
}

void ConnectionController::applyConnectLock()
{
    for (QWidget *control : std::initializer_list<QWidget *>{
             m_controls.IPAddrTxt, m_controls.AreaTxt2, m_controls.btn_conn, m_controls.rb_pptp,
             m_controls.rb_lp2p, m_controls.cesu, m_controls.btn_speed, m_controls.vt1})
        control->setEnabled(false);
    m_controls.btn_disconn->setEnabled(true);
}

void ConnectionController::applyIdleControls()
{
    m_controls.btn_speed->setEnabled(true);
    m_controls.vt1->setEnabled(true);
    m_controls.rast12->stop();
    m_controls.statuscheck->stop();
    m_controls.datecheck->stop();
    app::client().VpnConnected = false;
    m_controls.IPAddrTxt->setEnabled(true);
    m_controls.AreaTxt2->setEnabled(true);
    m_controls.btn_conn->setEnabled(true);
    m_controls.btn_disconn->setEnabled(false);
    m_controls.rb_pptp->setEnabled(true);
    m_controls.rb_lp2p->setEnabled(true);
    m_controls.cesu->setEnabled(true);
}

void ConnectionController::setStatus(const QString &text)
{
    m_controls.statuslabel->setStyleSheet(RedStyle);
    m_controls.statuslabel->setText(text);
}

void ConnectionController::setDataLabel(const QString &text, bool highlighted)
{
    m_controls.datalabel->setStyleSheet(highlighted ? RedStyle : QString());
    m_controls.datalabel->setText(text);
}

void ConnectionController::btn_connClick()
{
    if (m_hooks.pinMasterRoute)
        m_hooks.pinMasterRoute();
    if (util::trimBlanks(m_controls.IPAddrTxt->currentText()).isEmpty()) {
        m_controls.IPAddrTxt->setFocus();
        return;
    }
    applyConnectLock();
    app::ClientState &state = app::client();
    state.VpnConnected = false;
    if (m_controls.rb_lp2p->isChecked() && m_hooks.offerL2tpEnforcement)
        m_hooks.offerL2tpEnforcement();
    ReleaseRasConnection();

    const QString lineValue = state.ServerList
                                  ? state.ServerList->value(m_controls.AreaTxt2->currentText(),
                                                            m_controls.IPAddrTxt->currentText())
                                  : QString();
    if (lineValue.isEmpty()) {
        app::ShowMessage(m_controls.window, QStringLiteral("发生错误，请关闭程序再重新运行"));
        return;
    }
    const QString serverAddress = util::splitText(lineValue, QStringLiteral(",")).value(0);
    setStatus(QStringLiteral("正在建立连接"));

    platform::DialEntry entry;
    bool l2tp = m_controls.rb_lp2p->isChecked();
    if (l2tp) {
        const RasManResult rasMan = rasManCheck();
        if (rasMan == RasManResult::Stop)
            return;
        l2tp = rasMan == RasManResult::Proceed;
    }
    entry.strategy = l2tp ? platform::VpnStrategy::L2tpOnly : platform::VpnStrategy::PptpOnly;
    entry.deviceName = l2tp ? u"WAN 微型端口 (L2TP)" : u"WAN 微型端口 (PPTP)";
    entry.host = serverAddress.toStdU16String();
    state.CurrentServerAddress = serverAddress;

    platform::DialCredentials credentials;
    if (!lineCheck(serverAddress, credentials))
        return;

    state.ConnectUniqueId.clear();
    state.CurrentEntryName = EntryName(app::CurrentDateTime());
    state.ConnectUniqueId = UniqueId(app::CurrentDateTime(), randomDigit);

    const std::u16string entryName = state.CurrentEntryName.toStdU16String();
    if (dialer().writeEntry(entryName, entry) != 0 ||
        dialer().writeCredentials(entryName, credentials) != 0) {
        app::services().boxes->show(
            m_controls.window, platform::BoxIcon::Warning, app::ApplicationTitle,
            QStringLiteral(
                "win7系统，请右键单击客户端-选择以管理员身份运行-再连接即可\r\n\r\n请重试"),
            platform::BoxButtons::Ok);
        ReleaseRasConnection();
        return;
    }

    state.RasConnHandle = 0;
    platform::ConnectionHandle handle = 0;
    if (const std::uint32_t result = dialer().dial(entryName, handle); result != 0) {
        m_controls.statuslabel->setText(
            QStringLiteral("错误代码%1-%2")
                .arg(result)
                .arg(QString::fromStdU16String(dialer().errorText(result))));
        applyIdleControls();
        ReleaseRasConnection();
        return;
    }
    state.RasConnHandle = handle;

    enable(m_controls.dialupstatus);
    enable(m_controls.Timer2);
    m_controls.btn_conn->setEnabled(false);
    enable(m_controls.rast12);
    enable(m_controls.dialupcheck);
    m_controls.datalabel->clear();
    state.ConnectStartTime = app::CurrentDateTime();
}

ConnectionController::RasManResult ConnectionController::rasManCheck()
{
    platform::SettingsStore &store = *app::services().settings;
    const auto root = platform::RegistryRoot::LocalMachine;
    if (!store.keyExists(root, RasManKey)) {
        app::ShowMessage(m_controls.window,
                         QStringLiteral("系统出错，不支持L2TP，将以PPTP形式连接"));
        return RasManResult::ProceedAsPptp;
    }
    const std::optional<platform::RegistryValue> value =
        store.readValue(root, RasManKey, u"ProhibitIpSec");
    if (value && value->type == platform::ValueType::DWord && value->dword == 1)
        return RasManResult::Proceed;
    store.writeValue(root, RasManKey, u"ProhibitIpSec", platform::RegistryValue::fromDWord(1));
    app::services().boxes->show(
        m_controls.window, platform::BoxIcon::None, QStringLiteral("提示"),
        QStringLiteral("此台电脑是第一次使用L2TP模式，需要关闭程序并重新起动电脑"),
        platform::BoxButtons::Ok);
    return RasManResult::Stop;
}

bool ConnectionController::lineCheck(const QString &serverAddress,
                                     platform::DialCredentials &credentials)
{
    app::ClientState &state = app::client();
    const std::optional<QString> reply =
        login::postForm(state.MasterHost, QStringLiteral("ipcheck7193.php"),
                        {{QStringLiteral("serverip"), serverAddress},
                         {QStringLiteral("username"), state.LoginUser},
                         {QStringLiteral("Upassword"), state.LoginPassword}});
    QCoreApplication::processEvents();

    const auto fail = [this](const QString &message) {
        app::ShowMessage(m_controls.window, message);
        btn_disconnClick();
        return false;
    };
    if (!reply)
        return fail(QStringLiteral("服务器连接繁忙，请重新尝试连接或稍后再试."));
    if (*reply == DirectAccountToken) {
        credentials = {state.LoginUser.toStdU16String(), state.LoginPassword.toStdU16String()};
        state.DirectAccountLine = true;
        return true;
    }
    if (reply->isEmpty())
        return fail(QStringLiteral("无法向服务器查询线路信息，请重新尝试连接或稍后再试."));

    const QStringList pieces = util::splitText(*reply, CredentialSeparator);
    const QString user = credentialText(DecodeBase64Text(DecodeBase64Text(pieces.value(0))));
    const QString password = credentialText(DecodeBase64Text(DecodeBase64Text(pieces.value(1))));
    state.DirectAccountLine = false;
    if (user.isEmpty())
        return fail(QStringLiteral("无法获取路信息，请重新尝试连接或稍后再试."));
    credentials = {user.toStdU16String(), password.toStdU16String()};
    return true;
}

void ConnectionController::linkUpActions()
{
    app::client().VpnConnected = true;
    m_controls.com_game->setEnabled(false);
    setStatus(QStringLiteral("连接成功"));
    m_controls.btn_speed->setEnabled(false);
    m_controls.vt1->setEnabled(false);
    enable(m_controls.rast12);
    m_controls.btn_disconn->setEnabled(true);
    if (app::client().DirectAccountLine) {
        m_controls.statuscheck->stop();
    } else {
        enable(m_controls.statuscheck);
        enable(m_controls.datecheck);
    }
    enable(m_controls.autodialstatus);
}

void ConnectionController::dialEndActions()
{
    applyIdleControls();
    ReleaseRasConnection();
    m_controls.rast12->stop();
    m_controls.statuscheck->stop();
    m_controls.datecheck->stop();
}

void ConnectionController::dialupstatusTimer()
{
    const std::uint16_t state = dialer().connectState();
    if (state == Connected) {
        linkUpActions();
        dialer().deleteEntry(app::client().CurrentEntryName.toStdU16String());
        m_controls.dialupcheck->stop();
        m_controls.dialupstatus->stop();
        app::client().ExpiryWarningCount = 0;
        return;
    }
    m_controls.statuslabel->setStyleSheet(RedStyle);
    if (state <= 601 || state > 1000)
        return;
    setStatus(QStringLiteral("错误：%1 %2").arg(state).arg(DialErrorReason(state)));
    dialEndActions();
    m_controls.dialupcheck->stop();
    m_controls.dialupstatus->stop();
    app::client().ExpiryWarningCount = 0;
}

void ConnectionController::dialupcheckTimer()
{
    app::ClientState &state = app::client();
    dialer().refreshStatus(state.RasConnHandle);
    m_statistics.track(state.RasConnHandle);
    if (dialer().connectState() == Connected) {
        linkUpActions();
    } else {
        state.VpnConnected = false;
        setStatus(QStringLiteral("不能连接，请更换其它线路再试"));
        dialEndActions();
    }
    dialer().deleteEntry(state.CurrentEntryName.toStdU16String());
    m_controls.dialupcheck->stop();
    state.ExpiryWarningCount = 0;
}

void ConnectionController::rast12Timer()
{
    const app::ClientState &state = app::client();
    dialer().refreshStatus(state.RasConnHandle);
    m_statistics.track(state.RasConnHandle);
    if (dialer().connectState() != Connected)
        return;
    m_statistics.refresh(dialer());
    const qint64 onlineMs = qAbs(state.ConnectStartTime.msecsTo(app::CurrentDateTime()));
    setDataLabel(TrafficLine(m_statistics.bytesSent(), m_statistics.bytesReceived(), onlineMs),
                 true);
    setStatus(QStringLiteral("连接成功"));
}

void ConnectionController::autodialstatusTimer()
{
    app::ClientState &state = app::client();
    dialer().refreshStatus(state.RasConnHandle);
    m_statistics.track(state.RasConnHandle);
    if (dialer().connectState() == Connected)
        return;
    state.VpnConnected = false;
    setStatus(QStringLiteral("已断开连接"));
    dialEndActions();
    m_controls.dialupcheck->stop();
    state.ExpiryWarningCount = 0;
    if (state.RedialMode == 2) {
        btn_connClick();
        return;
    }
    // Without redial the drop has been handled; ticking on would put the window back to
    // idle every 20 s and tear down a connect the user has started meanwhile.
    m_controls.autodialstatus->stop();
}

void ConnectionController::Timer2Timer()
{
    if (m_controls.statuslabel->text() != QStringLiteral("连接成功"))
        return;
    const app::ClientState &state = app::client();
    const QString caption = m_controls.window->windowTitle();
    if (m_hooks.hideToTray)
        m_hooks.hideToTray();
    platform::TrayIcon &tray = *app::services().tray;
    tray.setHint(caption);
    tray.showBalloon(caption,
                     QStringLiteral("用户名:") + state.LoginUser + u'\n' + state.AccountSummary,
                     platform::BalloonIcon::Information, 10000);
    m_controls.Timer2->stop();
    app::BatchTestRunning() = false;
    m_controls.btn_speed->setText(QStringLiteral("批量测速"));
    if (m_hooks.stopBatchTest)
        m_hooks.stopBatchTest();
    m_controls.Timer1->stop();
}

void ConnectionController::ReleaseRasConnection()
{
    app::ClientState &state = app::client();
    if (state.RasConnHandle != 0) {
        dialer().hangUp(state.RasConnHandle, HangUpWaitLimit);
        state.RasConnHandle = 0;
    }
    const std::u16string entryName = state.CurrentEntryName.toStdU16String();
    if (dialer().validateEntryName(entryName) == 0)
        return;
    if (const std::optional<platform::ActiveConnection> active = dialer().firstActiveConnection();
        active && active->entryName == entryName)
        dialer().hangUp(active->handle, HangUpWaitLimit);
    dialer().deleteEntry(entryName);
    dialer().deleteEntry(entryName);
}

void ConnectionController::btn_disconnClick()
{
    m_controls.statuslabel->setText(QStringLiteral("正在断开"));
    applyIdleControls();
    m_controls.com_game->setEnabled(true);
    m_controls.statuslabel->setText(QStringLiteral("连接已经断开"));
    setDataLabel(m_controls.datalabel->text(), false);
    m_statistics.reset();
    m_controls.dialupcheck->stop();
    m_controls.autodialstatus->stop();
    ReleaseRasConnection();
}

void ConnectionController::rb_pptpClick()
{
    m_controls.protocollabel->setText(QStringLiteral("当前连接协议:PPTP VPN"));
}

void ConnectionController::rb_lp2pClick()
{
    m_controls.protocollabel->setText(QStringLiteral("当前连接协议:L2TP VPN"));
}

} // namespace connection
