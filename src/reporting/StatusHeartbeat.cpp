#include "reporting/StatusHeartbeat.h"

#include "app/ClientState.h"
#include "app/Clock.h"
#include "app/Services.h"
#include "connection/LinkStatistics.h"
#include "login/BackendRequests.h"
#include "platform/dialer/Dialer.h"

#include <QCoreApplication>

#include <string>

namespace reporting {

namespace {

const QString ReportScript = QStringLiteral("statuscheck7193.php");
// The back end's answer when the same account has started a connection elsewhere.
const QString LoggedInElsewhereToken = QStringLiteral("9f1e7c3a5b0d8e2f4a6c1b3d5e7f9a0c");

} // namespace

StatusHeartbeat::StatusHeartbeat(connection::LinkStatistics &statistics, QWidget *window,
                                 DisconnectActions actions)
    : m_statistics(statistics), m_window(window), m_actions(std::move(actions))
{}

void StatusHeartbeat::statuscheckTimer()
{
    const app::ClientState &state = app::client();
    platform::Dialer &dialer = *app::services().dialer;
    dialer.refreshStatus(state.RasConnHandle);
    m_statistics.track(state.RasConnHandle);
    if (dialer.connectState() != platform::DialStates::Connected)
        return;
    m_statistics.refresh(dialer);

    const std::optional<QString> reply =
        login::postForm(state.MasterHost, ReportScript, reportFields());
    QCoreApplication::processEvents();
    if (reply == LoggedInElsewhereToken)
        forceDisconnect(
            m_actions, m_window,
            QStringLiteral("你的帐户在其它电脑已经登录，如果不是你本人所为，建议修改密码"));
}

platform::FormFields StatusHeartbeat::reportFields()
{
    const app::ClientState &state = app::client();
    platform::Dialer &dialer = *app::services().dialer;

    std::u16string tunnelAddress;
    const QString clientAddress = dialer.tunnelAddress(state.RasConnHandle, tunnelAddress) == 0
                                      ? QString::fromStdU16String(tunnelAddress)
                                      : QString();
    refreshServerAddress();
    const qint64 onlineMs = qAbs(state.ConnectStartTime.msecsTo(app::CurrentDateTime()));

    return {
        {QStringLiteral("serverip"), state.CurrentServerAddress},
        {QStringLiteral("userpeerip"), state.PeerAddress},
        {QStringLiteral("clientip"), clientAddress},
        {QStringLiteral("uniqueid"), state.ConnectUniqueId},
        {QStringLiteral("username"), state.LoginUser},
        // 64-bit counts: a link that has carried more than 4 GiB keeps counting up.
        {QStringLiteral("xmitdata"), QString::number(m_statistics.bytesSent())},
        {QStringLiteral("recvdata"), QString::number(m_statistics.bytesReceived())},
        {QStringLiteral("onlinetime"), QString::number(onlineMs)},
    };
}

void StatusHeartbeat::refreshServerAddress()
{
    app::ClientState &state = app::client();
    // The phone-book entry is deleted once the link is up, and the system answers a query
    // for a missing or unnamed entry with empty properties. Only a real host replaces the
    // address the connect procedure stored; otherwise the report keeps naming the server
    // of the current connection.
    std::u16string host;
    if (app::services().dialer->entryHost(state.CurrentEntryName.toStdU16String(), host) == 0 &&
        !host.empty())
        state.CurrentServerAddress = QString::fromStdU16String(host);
}

} // namespace reporting
