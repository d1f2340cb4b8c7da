#include "login/Tfrmlogin.h"

#include "app/ClientState.h"
#include "catalogue/ServerListDocument.h"
#include "login/LoginTarget.h"
#include "support/BackendFaults.h"
#include "support/TestEnvironment.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>

using devbackend::DevBackend;
using platform::RegistryRoot;
using platform::RegistryValue;
using testsupport::Fault;
using testsupport::requestsFor;

namespace {

const QString Master1 = QStringLiteral("127.0.73.1");
const QString Master2 = QStringLiteral("127.0.73.2");
const QString Busy = QStringLiteral("服务器连接繁忙，请重新尝试连接或稍后再试");
const QString NewVersion = QStringLiteral("已经有更新版本，强烈建议你下载最新版本");
const std::u16string UserKey = u"Software\\zorizov";
const std::u16string MachineKey = u"SOFTWARE\\zavazizud";
const QString NetCheck = QStringLiteral("netcheck7193.php");
const QString UserCheck = QStringLiteral("usercheck7193.php");
const QString ServerList = QStringLiteral("vpnlist7193.php");
const QStringList AllAreas{"华东电信", "华北网通", "华南", "Route"};

class RecordingTarget : public login::LoginTarget
{
public:
    void setUserLabel(const QString &text) override { userLabel = text; }
    void setStatusLabel(const QString &) override {}
    void setLocalIpLabel(const QString &) override {}
    void armVersionReminder() override {}

    QString userLabel;
};

// What the user is left with after pressing the login button once.
struct Outcome
{
    bool loggedIn = false;
    QStringList messages;
    QString master;
    QString backup;
};

} // namespace

Q_DECLARE_METATYPE(Outcome)

// The login window's three back-end calls (net check, user check, server list) against
// every fault, on the first master node alone and, where the login fails over, on both.
class TestLoginFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void netCheck_data();
    void netCheck();
    void userCheck_data();
    void userCheck();
    void serverList_data();
    void serverList();

private:
    void addFailoverRows(const Outcome &firstNodeFails, const Outcome &bothFail,
                         const QMap<Fault, Outcome> &answered);
    // Presses the login button with the remembered account, checks what the user is left
    // with and returns the window for further checks.
    std::unique_ptr<login::Tfrmlogin> logInExpecting(const Outcome &outcome);

    std::unique_ptr<testsupport::TestEnvironment> m_env;
    std::unique_ptr<DevBackend> m_node1;
    std::unique_ptr<DevBackend> m_node2;
    RecordingTarget m_target;
};

void TestLoginFaults::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>(Master1, Master2);
    m_node1 = testsupport::startBackend(Master1);
    m_node2 = testsupport::startBackend(Master2);
    m_target = RecordingTarget{};

    // A remembered account with redial on; the test turns redial off before the login, so
    // that only a successful login changes the settings.
    platform::MemorySettingsStore &settings = m_env->settings;
    settings.createKey(RegistryRoot::CurrentUser, UserKey);
    settings.writeValue(RegistryRoot::CurrentUser, UserKey, u"savepassword",
                        RegistryValue::fromDWord(1));
    settings.writeValue(RegistryRoot::CurrentUser, UserKey, u"username",
                        RegistryValue::fromString(u"alice"));
    settings.writeValue(RegistryRoot::CurrentUser, UserKey, u"password",
                        RegistryValue::fromString(u"secret1"));
    settings.writeValue(RegistryRoot::CurrentUser, UserKey, u"saveautodial",
                        RegistryValue::fromDWord(1));
    settings.createKey(RegistryRoot::LocalMachine, MachineKey);
    settings.writeValue(RegistryRoot::LocalMachine, MachineKey, u"AREACombobox2",
                        RegistryValue::fromString(u"2"));
}

void TestLoginFaults::cleanup()
{
    m_node1.reset();
    m_node2.reset();
    m_env.reset();
}

void TestLoginFaults::addFailoverRows(const Outcome &firstNodeFails, const Outcome &bothFail,
                                      const QMap<Fault, Outcome> &answered)
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("bothNodes");
    QTest::addColumn<Outcome>("outcome");

    for (const Fault fault : testsupport::backendFaults()) {
        const QByteArray name = testsupport::faultName(fault).toUtf8();
        QTest::addRow("first node: %s", name.constData())
            << fault << false << answered.value(fault, firstNodeFails);
        QTest::addRow("both nodes: %s", name.constData())
            << fault << true << answered.value(fault, bothFail);
    }
}

std::unique_ptr<login::Tfrmlogin> TestLoginFaults::logInExpecting(const Outcome &outcome)
{
    auto window = std::make_unique<login::Tfrmlogin>(&m_target);
    window->findChild<QCheckBox *>("chkstatus")->setChecked(false);
    QStringList expectedSettings = testsupport::settingsSnapshot(m_env->settings);
    if (outcome.loggedIn)
        expectedSettings.replace(
            expectedSettings.indexOf("HKCU\\Software\\zorizov\\saveautodial=dword:1"),
            "HKCU\\Software\\zorizov\\saveautodial=dword:0");

    window->btn_loginClick();

    const app::ClientState &state = app::client();
    [&] {
        QCOMPARE(m_env->boxes.texts(), outcome.messages);
        QCOMPARE(state.LoggedIn, outcome.loggedIn);
        QCOMPARE(window->result(), int(outcome.loggedIn ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(state.MasterHost, outcome.master);
        QCOMPARE(state.BackupHost, outcome.backup);
        if (!outcome.loggedIn) {
            QVERIFY(window->findChild<QLabel *>("Label3")->isHidden());
            QVERIFY(!state.ServerList);
        }
        QCOMPARE(testsupport::settingsSnapshot(m_env->settings), expectedSettings);
        QVERIFY(testsupport::takesInput(window.get()));
    }();
    return window;
}

void TestLoginFaults::netCheck_data()
{
    // A node whose net check fails is skipped; a redirect is followed; bytes that are not
    // GBK are still a reply, with no version in it.
    const Outcome onSecond{true, {}, Master2, Master1};
    const Outcome onFirst{true, {}, Master1, Master2};
    addFailoverRows(
        onSecond, {false, {Busy}, {}, {}},
        {{Fault::Redirect, onFirst}, {Fault::Garbage, {true, {NewVersion}, Master1, Master2}}});
}

void TestLoginFaults::netCheck()
{
    QFETCH(Fault, fault);
    QFETCH(bool, bothNodes);
    QFETCH(Outcome, outcome);
    testsupport::injectFault(*m_node1, NetCheck, fault);
    if (bothNodes)
        testsupport::injectFault(*m_node2, NetCheck, fault);

    logInExpecting(outcome);
    if (QTest::currentTestFailed())
        return;

    if (app::client().LoggedIn)
        QCOMPARE(app::client().ServerList->sectionNames(), AllAreas);
    // A login never posts its user check twice to one node.
    QVERIFY(requestsFor(*m_node1, UserCheck) <= 1);
    QVERIFY(requestsFor(*m_node2, UserCheck) <= 1);
}

void TestLoginFaults::userCheck_data()
{
    // A failed user check is repeated once on the backup node, which then becomes the
    // master; an empty or undecodable reply is not a failure but the account text.
    const Outcome onFirst{true, {}, Master1, Master2};
    addFailoverRows({true, {}, Master2, Master2}, {false, {Busy}, Master1, Master2},
                    {{Fault::Empty, onFirst}, {Fault::Garbage, onFirst}});
}

void TestLoginFaults::userCheck()
{
    QFETCH(Fault, fault);
    QFETCH(bool, bothNodes);
    QFETCH(Outcome, outcome);
    testsupport::injectFault(*m_node1, UserCheck, fault);
    if (bothNodes)
        testsupport::injectFault(*m_node2, UserCheck, fault);

    logInExpecting(outcome);
    if (QTest::currentTestFailed())
        return;

    const bool failedOver = outcome.master == Master2 || !outcome.loggedIn;
    QCOMPARE(requestsFor(*m_node1, UserCheck), 1);
    QCOMPARE(requestsFor(*m_node2, UserCheck), failedOver ? 1 : 0);
    if (fault == Fault::Empty)
        QCOMPARE(m_target.userLabel, QString("用户名：alice  "));
    if (fault == Fault::Garbage)
        QVERIFY(m_target.userLabel.contains(QChar::ReplacementCharacter));
}

void TestLoginFaults::serverList_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QStringList>("areas");

    for (const Fault fault : testsupport::backendFaults())
        QTest::addRow("%s", qPrintable(testsupport::faultName(fault)))
            << fault << (fault == Fault::Redirect ? AllAreas : QStringList());
}

void TestLoginFaults::serverList()
{
    QFETCH(Fault, fault);
    QFETCH(QStringList, areas);
    testsupport::injectFault(*m_node1, ServerList, fault);

    // The list is not checked: whatever arrives, or nothing, is the catalogue.
    logInExpecting({true, {}, Master1, Master2});
    if (QTest::currentTestFailed())
        return;

    QVERIFY(app::client().ServerList);
    QCOMPARE(app::client().ServerList->sectionNames(), areas);
    QCOMPARE(requestsFor(*m_node2, ServerList), 0);
}

QTEST_MAIN(TestLoginFaults)
#include "tst_loginfaults.moc"
