#include "connection/L2tpEnablement.h"

#include "app/AppInfo.h"
#include "connection/TServiceManager.h"
#include "support/TestEnvironment.h"

#include <QTest>
#include <QTimer>

using connection::L2tpEnablement;
using platform::BoxAnswer;
using platform::BoxIcon;
using platform::RegistryRoot;
using platform::RegistryValue;
using Operation = platform::FakeServiceControl::Call::Operation;

namespace {

const std::u16string RasManKey = u"SYSTEM\\CurrentControlSet\\Services\\RasMan\\Parameters";
const QStringList Services{"AudioSrv", "CryptSvc", "RasMan", "Dhcp", "lanmanworkstation", "netman"};
const QString Offer = QStringLiteral("要强行生效L2TP设置吗？");
const QString OfferDone = QStringLiteral("强制生效L2TP的设置完成");

struct Host
{
    std::uint32_t id;
    std::u16string executable;
    std::u16string commandLine;
};

} // namespace

Q_DECLARE_METATYPE(std::vector<Host>)

class TestL2tpEnablement : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void offeredOnlyWhenTheSwitchIsOff_data();
    void offeredOnlyWhenTheSwitchIsOff();
    void acceptedOfferRestartsTheNetworkServices();
    void declinedOfferChangesNothing();
    void serviceHostSearch_data();
    void serviceHostSearch();
    void menuCommand_data();
    void menuCommand();

    void serviceManagerListing();
    void serviceManagerWithoutServiceManager();
    void pauseKeepsEventsFlowing();

private:
    void setSwitch(std::optional<std::uint32_t> value);
    std::optional<RegistryValue> switchValue() const
    {
        return m_env->settings.readValue(RegistryRoot::LocalMachine, RasManKey, u"ProhibitIPSec");
    }
    void addStandardHosts();

    std::unique_ptr<testsupport::TestEnvironment> m_env;
    std::unique_ptr<L2tpEnablement> m_enablement;
    QList<std::uint32_t> m_pauses;
    QList<qsizetype> m_callsAtPause;
};

void TestL2tpEnablement::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>("127.0.69.1", "127.0.69.2");
    for (const QString &name : Services)
        m_env->serviceControl.addService({name.toStdU16String(),
                                          name.toStdU16String(),
                                          platform::ServiceState::Stopped,
                                          platform::ServiceStartType::Auto,
                                          {}});
    m_pauses.clear();
    m_callsAtPause.clear();
    // A fake clock: the pauses are recorded, not waited for.
    m_enablement = std::make_unique<L2tpEnablement>(nullptr, [this](std::uint32_t ms) {
        m_pauses.append(ms);
        m_callsAtPause.append(qsizetype(m_env->serviceControl.calls().size()));
    });
}

void TestL2tpEnablement::cleanup()
{
    m_enablement.reset();
    m_env.reset();
}

void TestL2tpEnablement::setSwitch(std::optional<std::uint32_t> value)
{
    m_env->settings.createKey(RegistryRoot::LocalMachine, RasManKey);
    if (value)
        m_env->settings.writeValue(RegistryRoot::LocalMachine, RasManKey, u"ProhibitIpSec",
                                   RegistryValue::fromDWord(*value));
}

void TestL2tpEnablement::addStandardHosts()
{
    m_env->processes.setProcesses(
        {{1, u"systemd"}, {200, u"svchost.exe"}, {300, u"SvcHost.EXE"}, {400, u"svchost.exe"}});
    m_env->processes.setCommandLine(200, u"C:\\Windows\\system32\\svchost.exe -k LocalService");
    m_env->processes.setCommandLine(300, u"C:\\Windows\\system32\\svchost.exe -k netsvcs");
    m_env->processes.setCommandLine(400, u"C:\\Windows\\system32\\svchost.exe -k netsvcs");
}

void TestL2tpEnablement::offeredOnlyWhenTheSwitchIsOff_data()
{
    QTest::addColumn<bool>("keyExists");
    QTest::addColumn<int>("value"); // -1: none, -2: stored as text
    QTest::addColumn<bool>("offered");

    QTest::newRow("switch off") << true << 0 << true;
    QTest::newRow("switch on") << true << 1 << false;
    QTest::newRow("no value") << true << -1 << false;
    QTest::newRow("value stored as text") << true << -2 << false;
    QTest::newRow("no key") << false << -1 << false;
}

void TestL2tpEnablement::offeredOnlyWhenTheSwitchIsOff()
{
    QFETCH(bool, keyExists);
    QFETCH(int, value);
    QFETCH(bool, offered);
    if (keyExists)
        setSwitch(value >= 0 ? std::optional<std::uint32_t>(value) : std::nullopt);
    if (value == -2)
        m_env->settings.writeValue(RegistryRoot::LocalMachine, RasManKey, u"ProhibitIPSec",
                                   RegistryValue::fromString(u"0"));

    m_enablement->OfferL2tpEnforcement();

    QCOMPARE(m_env->boxes.texts(), offered ? QStringList{Offer} : QStringList{});
    if (offered) {
        QCOMPARE(m_env->boxes.shown().first().icon, BoxIcon::Question);
        QCOMPARE(m_env->boxes.shown().first().caption, app::ApplicationTitle);
    }
    QVERIFY(m_env->serviceControl.calls().empty());
}

void TestL2tpEnablement::acceptedOfferRestartsTheNetworkServices()
{
    setSwitch(0);
    addStandardHosts();
    m_env->boxes.queueAnswer(BoxAnswer::Yes);

    m_enablement->OfferL2tpEnforcement();

    QCOMPARE(switchValue(), RegistryValue::fromDWord(1));
    QCOMPARE(m_env->processes.terminateCalls(), std::vector<std::uint32_t>{300});
    std::vector<platform::FakeServiceControl::Call> expected;
    for (const QString &name : Services)
        for (Operation operation : {Operation::Exists, Operation::Start, Operation::Start})
            expected.push_back({operation, name.toStdU16String()});
    QVERIFY(m_env->serviceControl.calls() == expected);
    QCOMPARE(m_pauses, (QList<std::uint32_t>{1000, 1000, 1000, 1000, 1000, 1000, 10000}));
    QCOMPARE(m_callsAtPause, (QList<qsizetype>{2, 5, 8, 11, 14, 17, 18}));
    QCOMPARE(m_env->boxes.texts(), (QStringList{Offer, OfferDone}));
    QCOMPARE(m_env->boxes.shown().last().icon, BoxIcon::Information);
}

void TestL2tpEnablement::declinedOfferChangesNothing()
{
    setSwitch(0);
    addStandardHosts();
    m_env->boxes.queueAnswer(BoxAnswer::No);

    m_enablement->OfferL2tpEnforcement();

    QCOMPARE(switchValue(), RegistryValue::fromDWord(0));
    QVERIFY(m_env->processes.terminateCalls().empty());
    QVERIFY(m_env->serviceControl.calls().empty());
    QCOMPARE(m_env->boxes.texts(), QStringList{Offer});
}

void TestL2tpEnablement::serviceHostSearch_data()
{
    QTest::addColumn<std::vector<Host>>("hosts");
    QTest::addColumn<qint64>("target"); // -1: none

    QTest::newRow("no service host at all")
        << std::vector<Host>{{7, u"bash", u"bash -k netsvcs"}} << qint64(-1);
    QTest::newRow("the option is searched with its case")
        << std::vector<Host>{{8, u"svchost.exe", u"svchost.exe -K NETSVCS"}} << qint64(-1);
    QTest::newRow("the executable name is compared lower-cased")
        << std::vector<Host>{{9, u"SVCHOST.EXE", u"svchost.exe -k netsvcs"}} << qint64(9);
    QTest::newRow("command line that cannot be read")
        << std::vector<Host>{{10, u"svchost.exe", u""}} << qint64(-1);
}

void TestL2tpEnablement::serviceHostSearch()
{
    QFETCH(std::vector<Host>, hosts);
    QFETCH(qint64, target);
    std::vector<platform::ProcessEntry> entries;
    for (const Host &host : hosts) {
        entries.push_back({host.id, host.executable});
        m_env->processes.setCommandLine(host.id, host.commandLine);
    }
    m_env->processes.setProcesses(entries);

    m_enablement->EnforceL2tp();

    QCOMPARE(switchValue(), RegistryValue::fromDWord(1));
    if (target < 0) {
        QVERIFY(m_env->processes.terminateCalls().empty());
        QVERIFY(m_env->serviceControl.calls().empty());
        QVERIFY(m_pauses.isEmpty());
    } else {
        QCOMPARE(m_env->processes.terminateCalls(),
                 std::vector<std::uint32_t>{std::uint32_t(target)});
        QCOMPARE(m_pauses.size(), 7);
    }
}

void TestL2tpEnablement::menuCommand_data()
{
    QTest::addColumn<BoxAnswer>("answer");

    QTest::newRow("yes") << BoxAnswer::Yes;
    QTest::newRow("no") << BoxAnswer::No;
}

void TestL2tpEnablement::menuCommand()
{
    QFETCH(BoxAnswer, answer);
    setSwitch(0);
    m_env->boxes.queueAnswer(answer);

    m_enablement->L2TPQ1Click();

    const bool enforced = answer == BoxAnswer::Yes;
    QStringList expected{"确定要强制生效L2TP的设置吗？"};
    if (enforced)
        expected << "强制生效OK!\r\n\r\n尝试继续连接";
    QCOMPARE(m_env->boxes.texts(), expected);
    QCOMPARE(switchValue(), RegistryValue::fromDWord(enforced ? 1 : 0));
}

void TestL2tpEnablement::serviceManagerListing()
{
    m_env->serviceControl.addService({u"ssh.service", u"OpenBSD Secure Shell server",
                                      platform::ServiceState::Running,
                                      platform::ServiceStartType::Manual, u"/usr/sbin/sshd"});
    connection::TServiceManager manager;
    QVERIFY(!manager.GetSvcList());

    QVERIFY(manager.Connect());
    QVERIFY(manager.GetSvcList());
    QVERIFY(manager.GetSvcList());

    const QList<connection::tSvrlist> &list = manager.f_svrlist();
    QCOMPARE(list.size(), 2 * (Services.size() + 1));
    const auto ssh = std::find_if(list.begin(), list.end(), [](const connection::tSvrlist &r) {
        return r.svrname == "ssh.service";
    });
    QVERIFY(ssh != list.end());
    QCOMPARE(ssh->displayname, QString("OpenBSD Secure Shell server"));
    QCOMPARE(ssh->status, QString("running"));
    QCOMPARE(ssh->svrtype, QString("manual"));
    QCOMPARE(ssh->svrpath, QString("/usr/sbin/sshd"));
    QVERIFY(ssh->publisher.isEmpty());
    QVERIFY(!ssh->ismicrosoft);

    QVERIFY(manager.OpenServiceConnection("ssh.service"));
    QVERIFY(manager.ServiceRunning());
    QVERIFY(manager.StopService());
    QVERIFY(manager.ServiceStopped());
    manager.DisableService("ssh.service");
    QVERIFY(m_env->serviceControl.service(u"ssh.service")->startType ==
            platform::ServiceStartType::Disabled);
}

void TestL2tpEnablement::serviceManagerWithoutServiceManager()
{
    m_env->serviceControl.setAvailable(false);
    connection::TServiceManager manager;

    QVERIFY(!manager.Connect());
    QVERIFY(!manager.OpenServiceConnection("RasMan"));
    QVERIFY(!manager.StartService());
    QCOMPARE(manager.GetStatus(), quint32(0));
    QVERIFY(!manager.GetSvcList());
}

void TestL2tpEnablement::pauseKeepsEventsFlowing()
{
    bool timerRan = false;
    QTimer::singleShot(10, [&timerRan] { timerRan = true; });

    connection::PauseWithMessages(200);

    QVERIFY(timerRan);
}

QTEST_MAIN(TestL2tpEnablement)
#include "tst_l2tpenablement.moc"
