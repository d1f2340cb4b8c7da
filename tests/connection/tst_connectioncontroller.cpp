#include "connection/ConnectionController.h"

#include "app/ClientState.h"
#include "app/Clock.h"
#include "connection/ConnectionFormats.h"
#include "mainwindow/Tfrmmain.h"
#include "support/ModalWindows.h"
#include "support/TestEnvironment.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using devbackend::DevBackend;
using mainwindow::Tfrmmain;
using platform::RegistryRoot;
using platform::RegistryValue;
using platform::SimulatedDialer;
using Outcome = platform::SimulatedDialer::Outcome;

namespace {

const QString Master = QStringLiteral("127.0.67.1");
const QString Token = QStringLiteral("3b8e1d7f0a2c9e4b6d1f8a3c5e0b7d2a");
const QString Separator = QStringLiteral("7e2c9b4f1d8a3e6c0b5f2d9a4c7e1b8f");
const std::u16string RasManKey = u"SYSTEM\\CurrentControlSet\\Services\\RasMan\\Parameters";
constexpr std::uint16_t Connected = platform::DialStates::Connected;

Outcome outcome(Outcome::Kind kind, std::uint32_t error = 0)
{
    Outcome result;
    result.kind = kind;
    result.after = std::chrono::milliseconds(20);
    result.dropAfter = std::chrono::milliseconds(40);
    if (error)
        result.errorCode = error;
    return result;
}

QString DecodeTwice(const QString &text)
{
    return connection::DecodeBase64Text(connection::DecodeBase64Text(text));
}

// A megabyte of printable ASCII and Chinese characters, all of which survive the back
// end's code page, with no separator in it.
QString Junk()
{
    QString junk;
    junk.reserve(1 << 20);
    for (quint32 i = 0; i < (1u << 20); ++i) {
        const quint32 pick = (i * 7919u) % 20000u;
        junk += QChar(char16_t(pick < 94 ? 0x21 + pick : 0x4E00 + pick));
    }
    return junk;
}

} // namespace

class TestConnectionController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void connectFollowsDialToConnected_data();
    void connectFollowsDialToConnected();
    void handOffWithoutNotificationArea();
    void trafficLineFollowsTheClock();
    void blankLineSelectorOnlyTakesFocus();
    void connectPinsTheMasterRouteUntilClose();
    void lineCheckReplies_data();
    void lineCheckReplies();
    void rasManCheck_data();
    void rasManCheck();
    void acceptedL2tpEnforcementGoesOnToDial();
    void entryNotWritten();
    void dialNotStarted();
    void connectsInTheSameMillisecond();
    void backEndHangsDuringRedial();
    void dialFailsWithError();
    void dialTimesOut();
    void dropWithRedialDialsAgain();
    void dropWithoutRedialStopsWatching();
    void disconnect_data();
    void disconnect();
    void exitWhileConnectedDisconnectsFirst();

private:
    connection::ConnectionController &controller() { return m_window->connectionController(); }
    template <typename T> T *control(const char *name) { return m_window->findChild<T *>(name); }
    QTimer *timer(const char *name) { return control<QTimer>(name); }
    QString status() { return control<QLabel>("statuslabel")->text(); }
    void chooseLine(int index) { control<QComboBox>("IPAddrTxt")->setCurrentIndex(index); }
    void connectAndWaitForLink();
    void verifyIdle();
    void verifyLocked();
    std::optional<platform::DialCredentials> writtenCredentials();

    std::unique_ptr<testsupport::TestEnvironment> m_env;
    std::unique_ptr<DevBackend> m_backend;
    std::unique_ptr<Tfrmmain> m_window;
    QList<int> m_exitCodes;
    QString m_lastEntryName;
};

void TestConnectionController::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>(Master, Master);
    m_backend = testsupport::startBackend(Master);
    m_env->dialer.setOutcome(outcome(Outcome::Kind::Connect));
    m_exitCodes.clear();
    m_window = std::make_unique<Tfrmmain>([this](int code) { m_exitCodes.append(code); });
    testsupport::whenModalShows([](QDialog *login) {
        login->findChild<QLineEdit *>("edt_user")->setText("alice");
        login->findChild<QLineEdit *>("edt_pass")->setText("secret1");
        QMetaObject::invokeMethod(login->findChild<QPushButton *>("btn_login"), "click");
    });
    m_window->FormCreate();
    QVERIFY(app::client().LoggedIn);
    m_window->show();
    m_backend->clearRequests();
}

void TestConnectionController::cleanup()
{
    m_window.reset();
    m_backend.reset();
    m_env.reset();
    app::SetDateTimeSource({});
}

void TestConnectionController::verifyIdle()
{
    QVERIFY(!app::client().VpnConnected);
    for (const char *enabled :
         {"btn_conn", "btn_speed", "cesu", "IPAddrTxt", "AreaTxt2", "rb_pptp", "rb_lp2p", "vt1"})
        QVERIFY2(control<QWidget>(enabled)->isEnabled(), enabled);
    QVERIFY(!control<QWidget>("btn_disconn")->isEnabled());
    for (const char *stopped : {"rast12", "statuscheck", "datecheck"})
        QVERIFY2(!timer(stopped)->isActive(), stopped);
}

void TestConnectionController::verifyLocked()
{
    for (const char *disabled :
         {"btn_conn", "btn_speed", "cesu", "IPAddrTxt", "AreaTxt2", "rb_pptp", "rb_lp2p", "vt1"})
        QVERIFY2(!control<QWidget>(disabled)->isEnabled(), disabled);
    QVERIFY(control<QWidget>("btn_disconn")->isEnabled());
}

std::optional<platform::DialCredentials> TestConnectionController::writtenCredentials()
{
    return m_env->dialer.credentials(app::client().CurrentEntryName.toStdU16String());
}

void TestConnectionController::connectAndWaitForLink()
{
    controller().btn_connClick();
    QTRY_COMPARE_WITH_TIMEOUT(m_env->dialer.connectState(), Connected, 3000);
    controller().dialupstatusTimer();
    QCOMPARE(status(), QString("连接成功"));
}

void TestConnectionController::connectFollowsDialToConnected_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("direct");

    QTest::newRow("line on the user's own account") << 0 << "127.0.1.1"
                                                    << "alice"
                                                    << "secret1" << true;
    QTest::newRow("line with a dial account") << 1 << "127.0.1.2"
                                              << "拨号\"用户"
                                              << "p@ss w\\rd" << false;
}

void TestConnectionController::connectFollowsDialToConnected()
{
    QFETCH(int, line);
    QFETCH(QString, host);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, direct);
    chooseLine(line);
    m_env->dialer.setOutcome(outcome(Outcome::Kind::NeverFinish));

    controller().btn_connClick();

    const app::ClientState &state = app::client();
    QCOMPARE(m_backend->requests().size(), 1);
    const devbackend::LoggedRequest check = m_backend->requests().first();
    QCOMPARE(check.path, QString("/sysadmin/useradmin/ipcheck7193.php"));
    QCOMPARE(check.fields,
             (QList<QPair<QString, QString>>{
                 {"serverip", host}, {"username", "alice"}, {"Upassword", "secret1"}}));
    QCOMPARE(state.CurrentServerAddress, host);
    QCOMPARE(state.DirectAccountLine, direct);
    QVERIFY(QRegularExpression("^\\d{6,13}$").match(state.CurrentEntryName).hasMatch());
    QVERIFY(QRegularExpression("^\\d{4}" + state.CurrentEntryName.left(4) + "\\d+$")
                .match(state.ConnectUniqueId)
                .hasMatch());
    QCOMPARE(state.ConnectUniqueId.size(), 4 + state.CurrentEntryName.size() + 8);
    const auto entry = m_env->dialer.entry(state.CurrentEntryName.toStdU16String());
    QVERIFY(entry);
    QCOMPARE(QString::fromStdU16String(entry->host), host);
    QVERIFY(entry->strategy == platform::VpnStrategy::PptpOnly);
    QCOMPARE(QString::fromStdU16String(entry->deviceName), QString("WAN 微型端口 (PPTP)"));
    QCOMPARE(QString::fromStdU16String(writtenCredentials()->user), user);
    QCOMPARE(QString::fromStdU16String(writtenCredentials()->password), password);
    QVERIFY(state.RasConnHandle != 0);
    QCOMPARE(status(), QString("正在建立连接"));
    verifyLocked();
    for (const char *running : {"dialupstatus", "dialupcheck", "rast12", "Timer2"})
        QVERIFY2(timer(running)->isActive(), running);

    controller().btn_disconnClick();
    m_env->dialer.setOutcome(outcome(Outcome::Kind::Connect));
    connectAndWaitForLink();

    QVERIFY(state.VpnConnected);
    QVERIFY(!m_env->dialer.entry(state.CurrentEntryName.toStdU16String()));
    QVERIFY(!timer("dialupstatus")->isActive());
    QVERIFY(!timer("dialupcheck")->isActive());
    QVERIFY(timer("autodialstatus")->isActive());
    QVERIFY(timer("rast12")->isActive());
    QCOMPARE(timer("statuscheck")->isActive(), !direct);
    QCOMPARE(timer("datecheck")->isActive(), !direct);
    QVERIFY(!control<QWidget>("btn_speed")->isEnabled());
    QVERIFY(control<QWidget>("btn_disconn")->isEnabled());

    controller().Timer2Timer();
    QVERIFY(!m_window->isVisible());
    QVERIFY(!timer("Timer2")->isActive());
    QCOMPARE(m_env->tray.balloons().size(), 1);
    QCOMPARE(m_env->tray.balloons().first().title, m_window->windowTitle());
    QCOMPARE(m_env->tray.balloons().first().text, QString("用户名:alice\n剩余天数:30"));
}

void TestConnectionController::handOffWithoutNotificationArea()
{
    m_env->tray.setAvailable(false);
    connectAndWaitForLink();

    controller().Timer2Timer();

    QVERIFY(m_window->isVisible());
    QVERIFY(m_window->isMinimized());
    QVERIFY(!timer("Timer2")->isActive());
}

void TestConnectionController::trafficLineFollowsTheClock()
{
    const QDateTime start(QDate(2026, 12, 11), QTime(10, 0, 0));
    QDateTime now = start;
    app::SetDateTimeSource([&now] { return now; });
    connectAndWaitForLink();

    now = start.addSecs(3600 + 2 * 60 + 3);
    controller().rast12Timer();
    const QRegularExpression hourAndABit("^已加速:\\d+KB/\\d+KB  在线时间:01:02:03$");
    QVERIFY2(hourAndABit.match(control<QLabel>("datalabel")->text()).hasMatch(),
             qPrintable(control<QLabel>("datalabel")->text()));

    now = start.addSecs(25 * 3600);
    controller().rast12Timer();
    QVERIFY(control<QLabel>("datalabel")->text().endsWith("在线时间:01:00:00"));
    QCOMPARE(status(), QString("连接成功"));
}

void TestConnectionController::blankLineSelectorOnlyTakesFocus()
{
    chooseLine(-1);

    controller().btn_connClick();

    QVERIFY(m_backend->requests().isEmpty());
    QVERIFY(m_env->boxes.shown().isEmpty());
    verifyIdle();
    QCOMPARE(m_window->focusWidget(), control<QWidget>("IPAddrTxt"));
}

void TestConnectionController::connectPinsTheMasterRouteUntilClose()
{
    platform::ForwardRow defaultRoute;
    defaultRoute.nextHop = 0x0101A8C0; // 192.168.1.1
    defaultRoute.interfaceIndex = 11;
    defaultRoute.type = 4;
    m_env->routing.setForwardRows({defaultRoute});
    m_env->routing.setNeighbourRows({{11, 6, {}, 0x0101A8C0, 3}});
    chooseLine(-1);

    controller().btn_connClick();

    // Pinned although no line was chosen, and before anything was asked of the back end.
    QVERIFY(m_backend->requests().isEmpty());
    QCOMPARE(m_env->routing.createdRows().size(), size_t(1));
    const platform::ForwardRow pinned = m_env->routing.createdRows().front();
    QCOMPARE(pinned.destination, 0x0143007Fu); // 127.0.67.1, the master node's route address
    QCOMPARE(pinned.mask, 0xFFFFFFFFu);
    QCOMPARE(pinned.nextHop, 0x0101A8C0u);
    QCOMPARE(pinned.interfaceIndex, 11u);
    QCOMPARE(pinned.metric1, 10u);

    controller().btn_disconnClick();
    QVERIFY(m_env->routing.deletedRows().empty());
    m_window->close();
    QCOMPARE(m_exitCodes, QList<int>{0});
    QCOMPARE(m_env->routing.deletedRows().size(), size_t(1));
    QVERIFY(m_env->routing.deletedRows().front() == pinned);
}

void TestConnectionController::lineCheckReplies_data()
{
    QTest::addColumn<QString>("reply"); // null: the back end drops the connection
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");

    QTest::newRow("token") << Token << QString() << "alice"
                           << "secret1";
    QTest::newRow("token and a line break are credentials")
        << Token + "\n"
        << QString() << DecodeTwice(Token + "\n") << "";
    QTest::newRow("a megabyte of junk") << Junk() << QString() << DecodeTwice(Junk()) << "";
    QTest::newRow("two pieces") << "UVVKRA==" + Separator + "WkE9PQ==" << QString() << "ABC"
                                << "d";
    QTest::newRow("no separator: empty password") << "UVVKRA==" << QString() << "ABC"
                                                  << "";
    QTest::newRow("leading separator is skipped")
        << Separator + "UVVKRA==" + Separator + "UVVKRA==" << QString() << "ABC"
        << "ABC";
    QTest::newRow("empty") << ""
                           << "无法向服务器查询线路信息，请重新尝试连接或稍后再试." << QString()
                           << QString();
    QTest::newRow("user name decodes to nothing")
        << "=" + Separator + "UVVKRA=="
        << "无法获取路信息，请重新尝试连接或稍后再试." << QString() << QString();
    QTest::newRow("back end drops the request")
        << QString() << "服务器连接繁忙，请重新尝试连接或稍后再试." << QString() << QString();
}

void TestConnectionController::lineCheckReplies()
{
    QFETCH(QString, reply);
    QFETCH(QString, message);
    QFETCH(QString, user);
    QFETCH(QString, password);
    if (reply.isNull())
        m_backend->setFault("ipcheck7193.php", DevBackend::Fault::Refuse);
    else
        m_backend->setCannedReply("ipcheck7193.php", reply);
    m_env->dialer.setOutcome(outcome(Outcome::Kind::NeverFinish));

    controller().btn_connClick();

    if (message.isEmpty()) {
        QVERIFY(m_env->boxes.shown().isEmpty());
        QCOMPARE(QString::fromStdU16String(writtenCredentials()->user), user);
        QCOMPARE(QString::fromStdU16String(writtenCredentials()->password), password);
        QCOMPARE(app::client().DirectAccountLine, reply == Token);
        QVERIFY(timer("dialupstatus")->isActive());
    } else {
        QCOMPARE(m_env->boxes.texts(), QStringList{message});
        QCOMPARE(status(), QString("连接已经断开"));
        QVERIFY(!writtenCredentials());
        verifyIdle();
    }
}

void TestConnectionController::rasManCheck_data()
{
    QTest::addColumn<bool>("keyExists");
    QTest::addColumn<int>("value"); // -1: no value
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("dialled");
    QTest::addColumn<bool>("l2tpEntry");

    const QString firstUse =
        QStringLiteral("此台电脑是第一次使用L2TP模式，需要关闭程序并重新起动电脑");
    QTest::newRow("L2TP allowed") << true << 1 << QStringList{} << true << true;
    QTest::newRow("first use: value 0, enforcement declined")
        << true << 0 << QStringList{"要强行生效L2TP设置吗？", firstUse} << false << false;
    QTest::newRow("first use: no value") << true << -1 << QStringList{firstUse} << false << false;
    QTest::newRow("no RasMan key: dialled as PPTP")
        << false << -1 << QStringList{"系统出错，不支持L2TP，将以PPTP形式连接"} << true << false;
}

void TestConnectionController::rasManCheck()
{
    QFETCH(bool, keyExists);
    QFETCH(int, value);
    QFETCH(QStringList, messages);
    QFETCH(bool, dialled);
    QFETCH(bool, l2tpEntry);
    if (keyExists)
        m_env->settings.createKey(RegistryRoot::LocalMachine, RasManKey);
    if (value >= 0)
        m_env->settings.writeValue(RegistryRoot::LocalMachine, RasManKey, u"ProhibitIpSec",
                                   RegistryValue::fromDWord(value));
    m_env->dialer.setOutcome(outcome(Outcome::Kind::NeverFinish));
    control<QRadioButton>("rb_lp2p")->click();
    QCOMPARE(control<QLabel>("protocollabel")->text(), QString("当前连接协议:L2TP VPN"));

    controller().btn_connClick();

    QCOMPARE(m_env->boxes.texts(), messages);
    if (!messages.isEmpty() && !dialled)
        QCOMPARE(m_env->boxes.shown().last().caption, QString("提示"));
    QCOMPARE(app::client().RasConnHandle != 0, dialled);
    if (dialled) {
        const auto entry = m_env->dialer.entry(app::client().CurrentEntryName.toStdU16String());
        QCOMPARE(entry->strategy == platform::VpnStrategy::L2tpOnly, l2tpEntry);
        QCOMPARE(QString::fromStdU16String(entry->deviceName),
                 l2tpEntry ? QString("WAN 微型端口 (L2TP)") : QString("WAN 微型端口 (PPTP)"));
    } else {
        QCOMPARE(m_env->settings.readValue(RegistryRoot::LocalMachine, RasManKey, u"ProhibitIpSec"),
                 RegistryValue::fromDWord(1));
        verifyLocked();
    }
}

void TestConnectionController::acceptedL2tpEnforcementGoesOnToDial()
{
    m_env->settings.createKey(RegistryRoot::LocalMachine, RasManKey);
    m_env->settings.writeValue(RegistryRoot::LocalMachine, RasManKey, u"ProhibitIpSec",
                               RegistryValue::fromDWord(0));
    m_env->boxes.queueAnswer(platform::BoxAnswer::Yes);
    m_env->dialer.setOutcome(outcome(Outcome::Kind::NeverFinish));
    control<QRadioButton>("rb_lp2p")->click();

    controller().btn_connClick();

    QCOMPARE(m_env->boxes.texts(),
             (QStringList{"要强行生效L2TP设置吗？", "强制生效L2TP的设置完成"}));
    const auto entry = m_env->dialer.entry(app::client().CurrentEntryName.toStdU16String());
    QVERIFY(entry);
    QVERIFY(entry->strategy == platform::VpnStrategy::L2tpOnly);
    QVERIFY(timer("dialupstatus")->isActive());
}

void TestConnectionController::entryNotWritten()
{
    m_env->dialer.setEntryWriteFailure(platform::DialerErrors::AccessDenied);

    controller().btn_connClick();

    QCOMPARE(m_env->boxes.shown().size(), 1);
    QCOMPARE(m_env->boxes.shown().first().icon, platform::BoxIcon::Warning);
    QCOMPARE(m_env->boxes.shown().first().text,
             QString("win7系统，请右键单击客户端-选择以管理员身份运行-再连接即可\r\n\r\n请重试"));
    QCOMPARE(app::client().RasConnHandle, std::uintptr_t(0));
    verifyLocked();

    control<QPushButton>("btn_disconn")->click();
    verifyIdle();
}

void TestConnectionController::dialNotStarted()
{
    m_env->dialer.setDialStartFailure(platform::DialerErrors::DeviceNotAvailable);

    controller().btn_connClick();

    QVERIFY(status().startsWith("错误代码633-"));
    QVERIFY(status().size() > QString("错误代码633-").size());
    verifyIdle();
    QVERIFY(!timer("dialupstatus")->isActive());
    QVERIFY(!m_env->dialer.entry(app::client().CurrentEntryName.toStdU16String()));
}

void TestConnectionController::connectsInTheSameMillisecond()
{
    const QDateTime moment(QDate(2026, 12, 11), QTime(10, 0, 0, 7));
    app::SetDateTimeSource([moment] { return moment; });
    m_env->dialer.setOutcome(outcome(Outcome::Kind::NeverFinish));

    controller().btn_connClick();
    const QString firstEntry = app::client().CurrentEntryName;
    control<QPushButton>("btn_disconn")->click();
    controller().btn_connClick();

    QCOMPARE(app::client().CurrentEntryName, firstEntry);
    QVERIFY(m_env->dialer.entry(firstEntry.toStdU16String()));
    QVERIFY(timer("dialupstatus")->isActive());
    QCOMPARE(status(), QString("正在建立连接"));
}

void TestConnectionController::backEndHangsDuringRedial()
{
    app::client().RedialMode = 2;
    m_env->dialer.setOutcome(outcome(Outcome::Kind::ConnectThenDrop));
    connectAndWaitForLink();
    const platform::ConnectionHandle first = app::client().RasConnHandle;
    QTRY_VERIFY_WITH_TIMEOUT(
        (m_env->dialer.refreshStatus(first), m_env->dialer.connectState() != Connected), 3000);
    m_backend->setFault("ipcheck7193.php", DevBackend::Fault::Hang);

    controller().autodialstatusTimer();

    QCOMPARE(m_env->boxes.texts(), QStringList{"服务器连接繁忙，请重新尝试连接或稍后再试."});
    QCOMPARE(status(), QString("连接已经断开"));
    verifyIdle();
    QCOMPARE(app::client().RasConnHandle, std::uintptr_t(0));
}

void TestConnectionController::dialFailsWithError()
{
    m_env->dialer.setOutcome(outcome(Outcome::Kind::Fail, 691));

    controller().btn_connClick();
    QTRY_COMPARE_WITH_TIMEOUT(m_env->dialer.connectState(), std::uint16_t(691), 3000);
    controller().dialupstatusTimer();

    QCOMPARE(status(), QString("错误：691 用户名和密码无法验证"));
    verifyIdle();
    QVERIFY(!timer("dialupstatus")->isActive());
    QVERIFY(!timer("dialupcheck")->isActive());
    QCOMPARE(app::client().RasConnHandle, std::uintptr_t(0));
    QVERIFY(!writtenCredentials());
}

void TestConnectionController::dialTimesOut()
{
    m_env->dialer.setOutcome(outcome(Outcome::Kind::NeverFinish));
    controller().btn_connClick();
    const platform::ConnectionHandle handle = app::client().RasConnHandle;
    controller().dialupstatusTimer();
    QCOMPARE(status(), QString("正在建立连接"));

    controller().dialupcheckTimer();

    QCOMPARE(status(), QString("不能连接，请更换其它线路再试"));
    verifyIdle();
    QVERIFY(!timer("dialupcheck")->isActive());
    m_env->dialer.refreshStatus(handle);
    QCOMPARE(m_env->dialer.connectState(), std::uint16_t(platform::DialerErrors::NoConnection));
    QVERIFY(!m_env->dialer.firstActiveConnection());
}

void TestConnectionController::dropWithRedialDialsAgain()
{
    app::client().RedialMode = 2;
    m_env->dialer.setOutcome(outcome(Outcome::Kind::ConnectThenDrop));
    connectAndWaitForLink();
    const platform::ConnectionHandle first = app::client().RasConnHandle;
    QTRY_VERIFY_WITH_TIMEOUT(
        (m_env->dialer.refreshStatus(first), m_env->dialer.connectState() != Connected), 3000);
    m_env->dialer.setOutcome(outcome(Outcome::Kind::NeverFinish));

    controller().autodialstatusTimer();

    QCOMPARE(status(), QString("正在建立连接"));
    QVERIFY(app::client().RasConnHandle != 0);
    QVERIFY(app::client().RasConnHandle != first);
    QVERIFY(timer("dialupstatus")->isActive());
    QVERIFY(timer("autodialstatus")->isActive());
    verifyLocked();
}

void TestConnectionController::dropWithoutRedialStopsWatching()
{
    m_env->dialer.setOutcome(outcome(Outcome::Kind::ConnectThenDrop));
    connectAndWaitForLink();
    const platform::ConnectionHandle first = app::client().RasConnHandle;
    QTRY_VERIFY_WITH_TIMEOUT(
        (m_env->dialer.refreshStatus(first), m_env->dialer.connectState() != Connected), 3000);

    controller().autodialstatusTimer();

    QCOMPARE(status(), QString("已断开连接"));
    verifyIdle();
    QVERIFY(!timer("autodialstatus")->isActive());

    // A connect started after the drop is left alone: nothing ticks to tear it down.
    m_env->dialer.setOutcome(outcome(Outcome::Kind::NeverFinish));
    controller().btn_connClick();
    QVERIFY(!timer("autodialstatus")->isActive());
    QCOMPARE(status(), QString("正在建立连接"));
}

void TestConnectionController::disconnect_data()
{
    QTest::addColumn<QString>("state");

    QTest::newRow("idle") << "idle";
    QTest::newRow("dialling") << "dialling";
    QTest::newRow("connected") << "connected";
}

void TestConnectionController::disconnect()
{
    QFETCH(QString, state);
    if (state == "dialling") {
        m_env->dialer.setOutcome(outcome(Outcome::Kind::NeverFinish));
        controller().btn_connClick();
    } else if (state == "connected") {
        connectAndWaitForLink();
        controller().rast12Timer();
    }
    const QString trafficLine = control<QLabel>("datalabel")->text();

    control<QPushButton>("btn_disconn")->setEnabled(true);
    control<QPushButton>("btn_disconn")->click();

    QCOMPARE(status(), QString("连接已经断开"));
    verifyIdle();
    QCOMPARE(app::client().RasConnHandle, std::uintptr_t(0));
    QVERIFY(!m_env->dialer.firstActiveConnection());
    QVERIFY(!timer("autodialstatus")->isActive());
    QVERIFY(!timer("dialupcheck")->isActive());
    QCOMPARE(timer("dialupstatus")->isActive(), state == "dialling");
    QCOMPARE(control<QLabel>("datalabel")->text(), trafficLine);
    QVERIFY(m_env->boxes.shown().isEmpty());
}

void TestConnectionController::exitWhileConnectedDisconnectsFirst()
{
    connectAndWaitForLink();

    m_window->N7Click();

    QVERIFY(m_env->boxes.shown().isEmpty());
    QCOMPARE(m_exitCodes, QList<int>{0});
    QVERIFY(!m_env->dialer.firstActiveConnection());
}

QTEST_MAIN(TestConnectionController)
#include "tst_connectioncontroller.moc"
