#include "reporting/AccountChecks.h"

#include "app/AppInfo.h"
#include "app/ClientState.h"
#include "app/Services.h"
#include "login/BackendRequests.h"
#include "platform/tray/TrayIcon.h"
#include "util/IStrings.h"
#include "util/TextRoutines.h"

#include <QCoreApplication>

#include <array>
#include <optional>

namespace reporting {

namespace {

constexpr int BalloonDurationMs = 10000;
constexpr qint32 RemindAtDaysLeft = 3;
constexpr qint32 MostExpiryReminders = 2;
constexpr qint32 VersionBalloonTicks = 2;

} // namespace

AccountChecks::AccountChecks(QWidget *window, DisconnectActions actions,
                             std::function<void()> stopVersionTimer)
    : m_window(window), m_actions(std::move(actions)),
      m_stopVersionTimer(std::move(stopVersionTimer))
{}

void AccountChecks::datecheckTimer()
{
    const app::ClientState &state = app::client();
    const std::optional<QString> reply = login::postWithFailover(
        QStringLiteral("usercheck7193.php"), {{QStringLiteral("UserID"), state.LoginUser},
                                              {QStringLiteral("Upassword"), state.LoginPassword}});
    QCoreApplication::processEvents();
    if (!reply)
        return;
    if (*reply == QLatin1String("expire"))
        forceDisconnect(m_actions, m_window, QStringLiteral("你的帐户已经过期，请充值后再使用"));
    if (*reply == QLatin1String("useup"))
        forceDisconnect(m_actions, m_window,
                        QStringLiteral("你的免费试用已经用完，请充值后再使用"));
    remindOfDaysLeft(*reply);
}

void AccountChecks::remindOfDaysLeft(const QString &reply)
{
    app::ClientState &state = app::client();
    if (state.ExpiryWarningCount >= MostExpiryReminders)
        return;
    auto text = util::IStrings::create();
    text->SetText(reply);
    std::array<QString, 5> parts;
    text->Split5(parts, QStringLiteral(":"));
    if (!parts[0].contains(QStringLiteral("剩余天数"), Qt::CaseInsensitive))
        return;
    // A day count that is not a number is a fault of the back end, not of the account:
    // no reminder this time, and the next check asks again.
    const std::optional<qint32> days = util::parseInt32(parts[1]);
    if (!days || *days > RemindAtDaysLeft)
        return;
    app::services().tray->showBalloon(QStringLiteral("过期提醒"),
                                      QStringLiteral("你的帐户剩余天数为") + parts[1] +
                                          QStringLiteral("天，请及时充值"),
                                      platform::BalloonIcon::Information, BalloonDurationMs);
    ++state.ExpiryWarningCount;
}

void AccountChecks::vercheckTimer()
{
    app::ClientState &state = app::client();
    if (state.VersionHintCount >= VersionBalloonTicks) {
        m_stopVersionTimer();
        return;
    }
    // The login arms this reminder for any version other than the client's own, so the
    // same comparison decides whether there is anything to remind of.
    if (state.ServerVersion != app::ClientVersion)
        app::services().tray->showBalloon(QStringLiteral("更新提示"),
                                          QStringLiteral("已经有更新版本，强烈建议你下载最新版本"),
                                          platform::BalloonIcon::Information, BalloonDurationMs);
    ++state.VersionHintCount;
}

} // namespace reporting
