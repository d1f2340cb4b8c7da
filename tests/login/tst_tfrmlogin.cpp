#include "login/Tfrmlogin.h"

#include "app/AppInfo.h"
#include "app/ClientState.h"
#include "catalogue/ServerListDocument.h"
#include "login/LoginTarget.h"
#include "support/ModalWindows.h"
#include "support/TestEnvironment.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using devbackend::DevBackend;
using platform::BoxIcon;
using platform::RegistryRoot;
using platform::RegistryValue;

namespace {

const QString Master1 = QStringLiteral("127.0.61.1");
const QString Master2 = QStringLiteral("127.0.61.2");
const QString Busy = QStringLiteral("服务器连接繁忙，请重新尝试连接或稍后再试");
const QString NewVersion = QStringLiteral("已经有更新版本，强烈建议你下载最新版本");
const std::u16string SettingsKey = u"Software\\zorizov";

class RecordingTarget : public login::LoginTarget
{
public:
    void setUserLabel(const QString &text) override { userLabel = text; }
    void setStatusLabel(const QString &text) override { statusLabel = text; }
    void setLocalIpLabel(const QString &text) override { localIpLabel = text; }
    void armVersionReminder() override { ++armed; }

    QString userLabel, statusLabel, localIpLabel;
    int armed = 0;
};

} // namespace

class TestTfrmlogin : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void successfulLogin();
    void emptyFieldsAreRefusedLocally_data();
    void emptyFieldsAreRefusedLocally();
    void refusals_data();
    void refusals();
    void masterNodeSelection_data();
    void masterNodeSelection();
    void versionOtherThanOurs_data();
    void versionOtherThanOurs();
    void namesAreSentTrimmedButKeptAsTyped();
    void rememberPasswordOnThenOff();
    void redialChoice_data();
    void redialChoice();
    void serverListUnreachable();
    void escapeOpensPurchasePage();
    void accountButtonsOpenDialogs_data();
    void accountButtonsOpenDialogs();

private:
    std::unique_ptr<login::Tfrmlogin> makeWindow();
    void type(login::Tfrmlogin &window, const QString &user, const QString &password);
    QLabel *label3(login::Tfrmlogin &window) { return window.findChild<QLabel *>("Label3"); }
    std::optional<RegistryValue> saved(const std::u16string &name)
    {
        return m_env->settings.readValue(RegistryRoot::CurrentUser, SettingsKey, name);
    }

    std::unique_ptr<testsupport::TestEnvironment> m_env;
    std::unique_ptr<DevBackend> m_node1;
    std::unique_ptr<DevBackend> m_node2;
    RecordingTarget m_target;
};

void TestTfrmlogin::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>(Master1, Master2);
    m_node1 = testsupport::startBackend(Master1);
    m_node2 = testsupport::startBackend(Master2);
    m_target = RecordingTarget{};
}

void TestTfrmlogin::cleanup()
{
    m_node1.reset();
    m_node2.reset();
    m_env.reset();
}

std::unique_ptr<login::Tfrmlogin> TestTfrmlogin::makeWindow()
{
    return std::make_unique<login::Tfrmlogin>(&m_target);
}

void TestTfrmlogin::type(login::Tfrmlogin &window, const QString &user, const QString &password)
{
    window.findChild<QLineEdit *>("edt_user")->setText(user);
    window.findChild<QLineEdit *>("edt_pass")->setText(password);
}

void TestTfrmlogin::successfulLogin()
{
    auto window = makeWindow();
    QCOMPARE(window->windowTitle(), app::ApplicationTitle);
    QCOMPARE(window->size(), QSize(356, 288));
    type(*window, "alice", "secret1");

    window->btn_loginClick();

    const app::ClientState &state = app::client();
    QVERIFY(m_env->boxes.shown().isEmpty());
    QCOMPARE(window->result(), int(QDialog::Accepted));
    QVERIFY(state.LoggedIn);
    QCOMPARE(state.MasterHost, Master1);
    QCOMPARE(state.BackupHost, Master2);
    QCOMPARE(state.PeerAddress, QString("127.0.0.1"));
    QCOMPARE(state.ServerVersion, QString("6.0"));
    QCOMPARE(state.MasterRouteAddress, Master1);
    QCOMPARE(state.AccountSummary, QString("剩余天数:30"));
    QCOMPARE(state.RedialMode, 0);
    QCOMPARE(m_target.userLabel, QString("用户名：alice  剩余天数:30"));
    QCOMPARE(m_target.statusLabel, QString("未连接"));
    QCOMPARE(m_target.localIpLabel, QString("本地IP为：127.0.0.1"));
    QCOMPARE(m_target.armed, 0);
    QVERIFY(state.ServerList);
    QCOMPARE(state.ServerList->sectionNames(),
             (QStringList{"华东电信", "华北网通", "华南", "Route"}));

    QStringList paths;
    for (const devbackend::LoggedRequest &request : m_node1->requests())
        paths << request.method + ' ' + request.path +
                     (request.query.isEmpty() ? "" : '?' + request.query);
    QCOMPARE(paths, (QStringList{"GET /sysadmin/useradmin/netcheck7193.php",
                                 "POST /sysadmin/useradmin/usercheck7193.php",
                                 "GET /sysadmin/useradmin/vpnlist7193.php?viewstr=e7d2f9a0c3b"}));
    QVERIFY(m_node2->requests().isEmpty());
    QCOMPARE(saved(u"savepassword"), RegistryValue::fromDWord(0));
    QCOMPARE(saved(u"saveautodial"), RegistryValue::fromDWord(0));
    QVERIFY(!saved(u"username"));
}

void TestTfrmlogin::emptyFieldsAreRefusedLocally_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");

    QTest::newRow("no user name") << ""
                                  << "x"
                                  << "账号不能为空"
                                  << "edt_user";
    QTest::newRow("no password") << "alice"
                                 << ""
                                 << "密码必须输入"
                                 << "edt_pass";
}

void TestTfrmlogin::emptyFieldsAreRefusedLocally()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    auto window = makeWindow();
    type(*window, user, password);

    window->btn_loginClick();

    QCOMPARE(m_env->boxes.shown().size(), 1);
    QCOMPARE(m_env->boxes.shown().first().icon, BoxIcon::Warning);
    QCOMPARE(m_env->boxes.shown().first().caption, app::ApplicationTitle);
    QCOMPARE(m_env->boxes.shown().first().text, message);
    QCOMPARE(window->focusWidget()->objectName(), focus);
    QVERIFY(m_node1->requests().isEmpty());
    QVERIFY(!app::client().LoggedIn);
}

void TestTfrmlogin::refusals_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");

    QTest::newRow("error") << "alice"
                           << "wrong"
                           << "用户名或密码错误";
    QTest::newRow("expire") << "old"
                            << "secret1"
                            << "你的帐户已经过期，请充值后再使用";
    QTest::newRow("useup") << "trial"
                           << "secret1"
                           << "你的免费试用已经用完，请充值后再使用";
}

void TestTfrmlogin::refusals()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, message);
    auto window = makeWindow();
    type(*window, user, password);

    window->btn_loginClick();

    QCOMPARE(m_env->boxes.texts(), QStringList{message});
    QCOMPARE(m_env->boxes.shown().first().icon, BoxIcon::None);
    QCOMPARE(label3(*window)->text(), message);
    QVERIFY(!label3(*window)->isHidden());
    QCOMPARE(window->focusWidget()->objectName(), QString("edt_user"));
    QVERIFY(!app::client().LoggedIn);
    QVERIFY(!app::client().ServerList);
    QCOMPARE(window->result(), 0);
    QVERIFY(!saved(u"savepassword"));
}

void TestTfrmlogin::masterNodeSelection_data()
{
    QTest::addColumn<bool>("node1Listening");
    QTest::addColumn<DevBackend::Fault>("node1Fault"); // on the user check only
    QTest::addColumn<bool>("node2Listening");
    QTest::addColumn<QString>("master");
    QTest::addColumn<QString>("backup");

    QTest::newRow("first node down, second up")
        << false << DevBackend::Fault::None << true << Master2 << Master1;
    QTest::newRow("first node refuses the user check")
        << true << DevBackend::Fault::Refuse << true << Master2 << Master2;
    QTest::newRow("first node answers the user check with 500")
        << true << DevBackend::Fault::Http500 << true << Master2 << Master2;
    QTest::newRow("first node never answers the user check")
        << true << DevBackend::Fault::Hang << true << Master2 << Master2;
    QTest::newRow("both down") << false << DevBackend::Fault::None << false << QString()
                               << QString();
    QTest::newRow("net check on first, user check fails on both")
        << true << DevBackend::Fault::Refuse << false << Master1 << Master2;
}

void TestTfrmlogin::masterNodeSelection()
{
    QFETCH(bool, node1Listening);
    QFETCH(DevBackend::Fault, node1Fault);
    QFETCH(bool, node2Listening);
    QFETCH(QString, master);
    QFETCH(QString, backup);
    if (!node1Listening)
        m_node1->close();
    if (!node2Listening)
        m_node2->close();
    m_node1->setFault("usercheck7193.php", node1Fault);
    auto window = makeWindow();
    type(*window, "alice", "secret1");

    window->btn_loginClick();

    const app::ClientState &state = app::client();
    QCOMPARE(state.MasterHost, master);
    QCOMPARE(state.BackupHost, backup);
    const bool loggedIn = node2Listening;
    QCOMPARE(state.LoggedIn, loggedIn);
    if (loggedIn) {
        QVERIFY(m_env->boxes.shown().isEmpty());
        QCOMPARE(state.ServerList->keys("华东电信"), (QStringList{"上海1", "上海2"}));
    } else {
        QCOMPARE(m_env->boxes.texts(), QStringList{Busy});
        QVERIFY(label3(*window)->isHidden());
        QVERIFY(!state.ServerList);
    }
}

void TestTfrmlogin::versionOtherThanOurs_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("routeAddress");
    QTest::addColumn<bool>("reminded");

    QTest::newRow("same version") << "6.0"
                                  << "198.51.100.2" << false;
    QTest::newRow("newer") << "6.1"
                           << "198.51.100.2" << true;
    QTest::newRow("same number, other text") << "6.00"
                                             << "198.51.100.2" << true;
}

void TestTfrmlogin::versionOtherThanOurs()
{
    QFETCH(QString, version);
    QFETCH(QString, routeAddress);
    QFETCH(bool, reminded);
    m_node1->setVersion(version);
    m_node1->setRouteAddress(routeAddress);
    app::client().VersionHintCount = 7;
    auto window = makeWindow();
    type(*window, "alice", "secret1");

    window->btn_loginClick();

    QVERIFY(app::client().LoggedIn);
    QCOMPARE(app::client().ServerVersion, version);
    QCOMPARE(app::client().MasterRouteAddress, routeAddress);
    QCOMPARE(m_target.armed, reminded ? 1 : 0);
    QCOMPARE(app::client().VersionHintCount, reminded ? 0 : 7);
    QCOMPARE(m_env->boxes.texts(), reminded ? QStringList{NewVersion} : QStringList{});
}

void TestTfrmlogin::namesAreSentTrimmedButKeptAsTyped()
{
    auto window = makeWindow();
    window->findChild<QCheckBox *>("chkpass")->setChecked(true);
    type(*window, "  alice\t", " secret1 ");

    window->btn_loginClick();

    QVERIFY(app::client().LoggedIn);
    const devbackend::LoggedRequest check = m_node1->requests().at(1);
    QCOMPARE(check.fields,
             (QList<QPair<QString, QString>>{{"UserID", "alice"}, {"Upassword", "secret1"}}));
    QCOMPARE(app::client().LoginUser, QString("  alice\t"));
    QCOMPARE(app::client().LoginPassword, QString(" secret1 "));
    QCOMPARE(saved(u"username"), RegistryValue::fromString(u"  alice\t"));
    QCOMPARE(saved(u"password"), RegistryValue::fromString(u" secret1 "));
}

void TestTfrmlogin::rememberPasswordOnThenOff()
{
    {
        auto first = makeWindow();
        first->findChild<QCheckBox *>("chkpass")->setChecked(true);
        type(*first, "张三", "密码 &=+%");
        first->btn_loginClick();
        QVERIFY(app::client().LoggedIn);
        QCOMPARE(saved(u"savepassword"), RegistryValue::fromDWord(1));
    }
    {
        auto second = makeWindow();
        QVERIFY(second->findChild<QCheckBox *>("chkpass")->isChecked());
        QCOMPARE(second->findChild<QLineEdit *>("edt_user")->text(), QString("张三"));
        QCOMPARE(second->findChild<QLineEdit *>("edt_pass")->text(), QString("密码 &=+%"));
        second->findChild<QCheckBox *>("chkpass")->setChecked(false);
        second->btn_loginClick();
        QCOMPARE(saved(u"savepassword"), RegistryValue::fromDWord(0));
        QCOMPARE(saved(u"username"), RegistryValue::fromString(u"张三"));
    }
    auto third = makeWindow();
    QVERIFY(!third->findChild<QCheckBox *>("chkpass")->isChecked());
    QVERIFY(third->findChild<QLineEdit *>("edt_user")->text().isEmpty());
    QVERIFY(third->findChild<QLineEdit *>("edt_pass")->text().isEmpty());
}

void TestTfrmlogin::redialChoice_data()
{
    QTest::addColumn<bool>("savedChoice");
    QTest::addColumn<bool>("ticked");

    QTest::newRow("ticked") << false << true;
    QTest::newRow("saved but unticked at login") << true << false;
}

void TestTfrmlogin::redialChoice()
{
    QFETCH(bool, savedChoice);
    QFETCH(bool, ticked);
    m_env->settings.createKey(RegistryRoot::CurrentUser, SettingsKey);
    m_env->settings.writeValue(RegistryRoot::CurrentUser, SettingsKey, u"saveautodial",
                               RegistryValue::fromDWord(savedChoice ? 1 : 0));
    auto window = makeWindow();
    auto *chkstatus = window->findChild<QCheckBox *>("chkstatus");
    QCOMPARE(chkstatus->isChecked(), savedChoice);
    chkstatus->setChecked(ticked);
    type(*window, "alice", "secret1");

    window->btn_loginClick();

    QCOMPARE(app::client().RedialMode, ticked ? 2 : 0);
    QCOMPARE(saved(u"saveautodial"), RegistryValue::fromDWord(ticked ? 1 : 0));
}

void TestTfrmlogin::serverListUnreachable()
{
    m_node1->setFault("vpnlist7193.php", DevBackend::Fault::Http500);
    auto window = makeWindow();
    type(*window, "alice", "secret1");

    window->btn_loginClick();

    QVERIFY(app::client().LoggedIn);
    QVERIFY(m_env->boxes.shown().isEmpty());
    QVERIFY(app::client().ServerList);
    QVERIFY(app::client().ServerList->sectionNames().isEmpty());
}

void TestTfrmlogin::escapeOpensPurchasePage()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    QTest::keyClick(window.get(), Qt::Key_Escape);

    QCOMPARE(m_env->shell.opened(), QList<QUrl>{QUrl("http://" + Master1 + ":8000/pay.asp")});
    QVERIFY(window->isVisible());
    QCOMPARE(window->focusWidget()->objectName(), QString("edt_user"));
}

void TestTfrmlogin::accountButtonsOpenDialogs_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("caption");

    QTest::newRow("register") << "sButton1"
                              << "帐户注册";
    QTest::newRow("recharge") << "sButton2"
                              << "帐户充值";
}

void TestTfrmlogin::accountButtonsOpenDialogs()
{
    QFETCH(QString, button);
    QFETCH(QString, caption);
    auto window = makeWindow();
    QString shownCaption;
    testsupport::whenModalShows([&shownCaption](QDialog *dialog) {
        shownCaption = dialog->windowTitle();
        dialog->reject();
    });

    window->findChild<QPushButton *>(button)->click();

    QCOMPARE(shownCaption, caption);
    QVERIFY(m_node1->requests().isEmpty());
}

QTEST_MAIN(TestTfrmlogin)
#include "tst_tfrmlogin.moc"
