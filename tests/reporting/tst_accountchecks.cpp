#include "reporting/AccountChecks.h"

#include "app/ClientState.h"
#include "support/TestEnvironment.h"

#include <QTest>

#include <memory>

using devbackend::AccountState;
using devbackend::DevBackend;

namespace {

const QString Master1 = QStringLiteral("127.0.68.1");
const QString Master2 = QStringLiteral("127.0.68.2");
const QString ExpiredMessage = QStringLiteral("你的帐户已经过期，请充值后再使用");
const QString UsedUpMessage = QStringLiteral("你的免费试用已经用完，请充值后再使用");
const QString UpdateText = QStringLiteral("已经有更新版本，强烈建议你下载最新版本");
// Blanks are part of the account name and of its password; the check sends both as typed.
const QString User = QStringLiteral(" alice ");
const QString Password = QStringLiteral(" 密码 &=+% ");

QString daysReminder(const QString &days)
{
    return QStringLiteral("你的帐户剩余天数为") + days + QStringLiteral("天，请及时充值");
}

devbackend::BackendData accountData(AccountState state, int days, const QString &textTemplate)
{
    devbackend::BackendData data;
    devbackend::Account account{Password, state, days};
    account.textTemplate = textTemplate;
    data.accounts.insert(User, account);
    return data;
}

devbackend::BackendData accountWithDays(int days)
{
    return accountData(AccountState::Valid, days, QStringLiteral("剩余天数:{days}"));
}

} // namespace

class TestAccountChecks : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void validityReplies_data();
    void validityReplies();
    void sendsCredentialsAsTyped();
    void atMostTwoRemindersPerConnection();
    void failoverMovesMasterHost();
    void bothNodesDownIsQuiet();
    void versionReminder_data();
    void versionReminder();

private:
    reporting::AccountChecks checks();
    QStringList balloonTexts() const;

    std::unique_ptr<testsupport::TestEnvironment> m_env;
    QStringList m_events; // what the window was asked to do, in order
    int m_versionTimerStops = 0;
};

void TestAccountChecks::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>(Master1, Master2);
    m_events.clear();
    m_versionTimerStops = 0;
    app::ClientState &state = app::client();
    state.MasterHost = Master1;
    state.BackupHost = Master2;
    state.LoginUser = User;
    state.LoginPassword = Password;
}

void TestAccountChecks::cleanup()
{
    m_env.reset();
}

reporting::AccountChecks TestAccountChecks::checks()
{
    const auto boxesNow = [this] {
        return QStringLiteral(" (%1 boxes)").arg(m_env->boxes.shown().size());
    };
    return reporting::AccountChecks(
        nullptr,
        {[this, boxesNow] { m_events << QStringLiteral("disconnect") + boxesNow(); },
         [this, boxesNow](const QString &text) {
             m_events << QStringLiteral("status ") + text + boxesNow();
         }},
        [this] { ++m_versionTimerStops; });
}

QStringList TestAccountChecks::balloonTexts() const
{
    QStringList texts;
    for (const auto &balloon : m_env->tray.balloons())
        texts << balloon.text;
    return texts;
}

void TestAccountChecks::validityReplies_data()
{
    QTest::addColumn<AccountState>("state");
    QTest::addColumn<int>("days");
    QTest::addColumn<QString>("textTemplate");
    QTest::addColumn<QString>("password"); // the one the back end knows
    QTest::addColumn<int>("remindersBefore");
    QTest::addColumn<QString>("message");  // empty: stays connected
    QTest::addColumn<QString>("reminder"); // empty: no balloon

    const QString days = QStringLiteral("剩余天数:{days}");
    QTest::newRow("expired") << AccountState::Expired << 0 << days << Password << 0
                             << ExpiredMessage << "";
    QTest::newRow("expired after two reminders")
        << AccountState::Expired << 0 << days << Password << 2 << ExpiredMessage << "";
    QTest::newRow("trial used up")
        << AccountState::UsedUp << 0 << days << Password << 0 << UsedUpMessage << "";
    QTest::newRow("3 days") << AccountState::Valid << 3 << days << Password << 0 << ""
                            << daysReminder("3");
    QTest::newRow("4 days") << AccountState::Valid << 4 << days << Password << 0 << ""
                            << "";
    QTest::newRow("0 days") << AccountState::Valid << 0 << days << Password << 0 << ""
                            << daysReminder("0");
    QTest::newRow("-1 days") << AccountState::Valid << -1 << days << Password << 0 << ""
                             << daysReminder("-1");
    QTest::newRow("second reminder")
        << AccountState::Valid << 2 << days << Password << 1 << "" << daysReminder("2");
    QTest::newRow("label inside a longer text")
        << AccountState::Valid << 1 << QStringLiteral("帐户剩余天数:{days}:VIP") << Password << 0
        << "" << daysReminder("1");
    QTest::newRow("days as sent") << AccountState::Valid << 2 << QStringLiteral("剩余天数:0{days}")
                                  << Password << 0 << "" << daysReminder("02");
    QTest::newRow("day count not a number")
        << AccountState::Valid << 2 << QStringLiteral("剩余天数:{days}天") << Password << 0 << ""
        << "";
    QTest::newRow("no day count") << AccountState::Valid << 2 << QStringLiteral("剩余天数:")
                                  << Password << 0 << ""
                                  << "";
    QTest::newRow("no days label")
        << AccountState::Valid << 2 << QStringLiteral("有效天数:{days}") << Password << 0 << ""
        << "";
    QTest::newRow("password changed elsewhere")
        << AccountState::Valid << 2 << days << QStringLiteral("other") << 0 << ""
        << "";
}

void TestAccountChecks::validityReplies()
{
    QFETCH(AccountState, state);
    QFETCH(int, days);
    QFETCH(QString, textTemplate);
    QFETCH(QString, password);
    QFETCH(int, remindersBefore);
    QFETCH(QString, message);
    QFETCH(QString, reminder);
    devbackend::BackendData data = accountData(state, days, textTemplate);
    data.accounts[User].password = password;
    const auto backend = testsupport::startBackend(Master1, data);
    app::client().ExpiryWarningCount = remindersBefore;

    checks().datecheckTimer();

    QCOMPARE(backend->requests().size(), 1);
    if (message.isEmpty()) {
        QCOMPARE(m_events, QStringList());
        QCOMPARE(m_env->boxes.texts(), QStringList());
    } else {
        QCOMPARE(m_events, QStringList({"disconnect (0 boxes)", "status 已经断开 (0 boxes)"}));
        QCOMPARE(m_env->boxes.texts(), QStringList{message});
        QCOMPARE(m_env->boxes.shown().constFirst().icon, platform::BoxIcon::None);
    }
    if (reminder.isEmpty()) {
        QCOMPARE(m_env->tray.balloons().size(), 0);
        QCOMPARE(app::client().ExpiryWarningCount, remindersBefore);
    } else {
        QCOMPARE(m_env->tray.balloons().size(), 1);
        const auto balloon = m_env->tray.balloons().constFirst();
        QCOMPARE(balloon.title, QStringLiteral("过期提醒"));
        QCOMPARE(balloon.text, reminder);
        QCOMPARE(balloon.icon, platform::BalloonIcon::Information);
        QCOMPARE(balloon.durationMs, 10000);
        QCOMPARE(app::client().ExpiryWarningCount, remindersBefore + 1);
    }
}

void TestAccountChecks::sendsCredentialsAsTyped()
{
    const auto backend = testsupport::startBackend(Master1, accountWithDays(30));

    checks().datecheckTimer();

    QCOMPARE(backend->requests().size(), 1);
    const devbackend::LoggedRequest request = backend->requests().constFirst();
    QCOMPARE(request.method, QStringLiteral("POST"));
    QCOMPARE(request.path, QStringLiteral("/sysadmin/useradmin/usercheck7193.php"));
    QCOMPARE(request.fields,
             QList<devbackend::FormField>({{"UserID", User}, {"Upassword", Password}}));
}

void TestAccountChecks::atMostTwoRemindersPerConnection()
{
    const auto backend = testsupport::startBackend(Master1, accountWithDays(1));
    reporting::AccountChecks accountChecks = checks();

    for (int tick = 0; tick < 3; ++tick)
        accountChecks.datecheckTimer();
    QCOMPARE(backend->requests().size(), 3);
    QCOMPARE(balloonTexts(), QStringList(2, daysReminder("1")));
    QCOMPARE(app::client().ExpiryWarningCount, 2);

    // The next dial starts the count again.
    app::client().ExpiryWarningCount = 0;
    accountChecks.datecheckTimer();
    QCOMPARE(balloonTexts(), QStringList(3, daysReminder("1")));
}

void TestAccountChecks::failoverMovesMasterHost()
{
    const auto backend1 = testsupport::startBackend(Master1, accountWithDays(2));
    const auto backend2 = testsupport::startBackend(Master2, accountWithDays(2));
    backend1->setFault(QStringLiteral("usercheck7193.php"), DevBackend::Fault::Http500);

    checks().datecheckTimer();

    QCOMPARE(backend1->requests().size(), 1);
    QCOMPARE(backend2->requests().size(), 1);
    QCOMPARE(app::client().MasterHost, Master2);
    QCOMPARE(app::client().BackupHost, Master2);
    QCOMPARE(balloonTexts(), QStringList{daysReminder("2")});

    checks().datecheckTimer();
    QCOMPARE(backend1->requests().size(), 1);
    QCOMPARE(backend2->requests().size(), 2);
}

void TestAccountChecks::bothNodesDownIsQuiet()
{
    const auto backend1 = testsupport::startBackend(Master1, accountWithDays(1));
    const auto backend2 = testsupport::startBackend(Master2, accountWithDays(1));
    backend1->setFault(QStringLiteral("*"), DevBackend::Fault::Refuse);
    backend2->setFault(QStringLiteral("*"), DevBackend::Fault::Http500);

    checks().datecheckTimer();

    QCOMPARE(backend1->requests().size(), 1);
    QCOMPARE(backend2->requests().size(), 1);
    QCOMPARE(app::client().MasterHost, Master1);
    QCOMPARE(app::client().BackupHost, Master2);
    QCOMPARE(m_events, QStringList());
    QCOMPARE(m_env->boxes.texts(), QStringList());
    QCOMPARE(m_env->tray.balloons().size(), 0);
    QCOMPARE(app::client().ExpiryWarningCount, 0);
}

void TestAccountChecks::versionReminder_data()
{
    QTest::addColumn<QString>("serverVersion");
    QTest::addColumn<int>("balloonsPerTick");

    QTest::newRow("newer version") << "6.1" << 1;
    QTest::newRow("12.0 like any other") << "12.0" << 1;
    QTest::newRow("no version reported") << "" << 1;
    // The login never arms the reminder for the client's own version; a stray tick must
    // still show nothing and stop the timer in time.
    QTest::newRow("own version") << "6.0" << 0;
}

void TestAccountChecks::versionReminder()
{
    QFETCH(QString, serverVersion);
    QFETCH(int, balloonsPerTick);
    app::client().ServerVersion = serverVersion;
    reporting::AccountChecks accountChecks = checks();

    for (int tick = 1; tick <= 2; ++tick) {
        accountChecks.vercheckTimer();
        QCOMPARE(m_env->tray.balloons().size(), tick * balloonsPerTick);
        QCOMPARE(m_versionTimerStops, 0);
    }
    accountChecks.vercheckTimer();
    QCOMPARE(m_versionTimerStops, 1);
    QCOMPARE(m_env->tray.balloons().size(), 2 * balloonsPerTick);
    for (const auto &balloon : m_env->tray.balloons()) {
        QCOMPARE(balloon.title, QStringLiteral("更新提示"));
        QCOMPARE(balloon.text, UpdateText);
        QCOMPARE(balloon.icon, platform::BalloonIcon::Information);
        QCOMPARE(balloon.durationMs, 10000);
    }
    QVERIFY(m_env->boxes.texts().isEmpty());
}

QTEST_MAIN(TestAccountChecks)
#include "tst_accountchecks.moc"
