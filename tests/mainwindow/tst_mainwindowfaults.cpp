#include "mainwindow/Tfrmmain.h"

#include "app/ClientState.h"
#include "catalogue/ServerListDocument.h"
#include "connection/ConnectionController.h"
#include "support/BackendFaults.h"
#include "support/ModalWindows.h"
#include "support/TestEnvironment.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using devbackend::DevBackend;
using mainwindow::Tfrmmain;
using Outcome = platform::SimulatedDialer::Outcome;
using testsupport::Fault;
using testsupport::requestsFor;

namespace {

const QString Master1 = QStringLiteral("127.0.73.21");
const QString Master2 = QStringLiteral("127.0.73.22");
const QString Busy = QStringLiteral("服务器连接繁忙，请重新尝试连接或稍后再试.");
const QString NoLineData = QStringLiteral("无法向服务器查询线路信息，请重新尝试连接或稍后再试.");
const QString NoRefresh = QStringLiteral("无法更新服务器列表，请稍后再试");
const QString FewDaysLeft = QStringLiteral("你的帐户剩余天数为2天，请及时充值");
const QStringList AllAreas{"华东电信", "华北网通", "华南", "Route"};
// The second line of the first area dials with an account the line check hands out.
constexpr int DialAccountLine = 1;

Outcome dialOutcome(Outcome::Kind kind)
{
    Outcome outcome;
    outcome.kind = kind;
    outcome.after = std::chrono::milliseconds(20);
    return outcome;
}

// What the main window shows the user in its selectors and table.
QStringList catalogueView(Tfrmmain &window)
{
    QStringList view;
    for (const char *name : {"AreaTxt2", "IPAddrTxt"}) {
        auto *selector = window.findChild<QComboBox *>(name);
        QStringList items;
        for (int index = 0; index < selector->count(); ++index)
            items << selector->itemText(index);
        view << QStringLiteral("%1: %2 [%3]")
                    .arg(name, items.join(','), QString::number(selector->currentIndex()));
    }
    const QAbstractItemModel *rows = window.findChild<QAbstractItemView *>("vt1")->model();
    for (int row = 0; row < rows->rowCount(); ++row)
        view << rows->index(row, 0).data().toString();
    return view;
}

} // namespace

// The main window's back-end calls against every fault, each made the way the window makes
// it: the line check by the connect button, the heartbeat and the validity check by their
// timers while a link is up, and the server-list refresh by its menu command.
class TestMainWindowFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lineCheck_data();
    void lineCheck();
    void heartbeat_data();
    void heartbeat();
    void validityCheck_data();
    void validityCheck();
    void serverListRefresh_data();
    void serverListRefresh();

private:
    template <typename T> T *control(const char *name) { return m_window->findChild<T *>(name); }
    void connectLink();
    QStringList reminders() const;
    // The checks every case ends with: the settings as they were before the call, and a
    // window that takes input again.
    void verifyUntouched();

    std::unique_ptr<testsupport::TestEnvironment> m_env;
    std::unique_ptr<DevBackend> m_node1;
    std::unique_ptr<DevBackend> m_node2;
    std::unique_ptr<Tfrmmain> m_window;
    QStringList m_settingsBefore;
};

void TestMainWindowFaults::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>(Master1, Master2);
    // Few days left, so that a validity check that reaches a node shows its reminder.
    devbackend::BackendData data = testsupport::sampleBackendData();
    data.accounts[QStringLiteral("alice")].days = 2;
    m_node1 = testsupport::startBackend(Master1, data);
    m_node2 = testsupport::startBackend(Master2, data);
    m_env->dialer.setOutcome(dialOutcome(Outcome::Kind::Connect));
    m_window = std::make_unique<Tfrmmain>([](int) {});
    testsupport::whenModalShows([](QDialog *login) {
        login->findChild<QLineEdit *>("edt_user")->setText("alice");
        login->findChild<QLineEdit *>("edt_pass")->setText("secret1");
        QMetaObject::invokeMethod(login->findChild<QPushButton *>("btn_login"), "click");
    });
    m_window->FormCreate();
    QVERIFY(app::client().LoggedIn);
    m_window->show();
    control<QComboBox>("IPAddrTxt")->setCurrentIndex(DialAccountLine);
    m_node1->clearRequests();
    m_node2->clearRequests();
    m_settingsBefore = testsupport::settingsSnapshot(m_env->settings);
}

void TestMainWindowFaults::cleanup()
{
    m_window.reset();
    m_node1.reset();
    m_node2.reset();
    m_env.reset();
}

void TestMainWindowFaults::connectLink()
{
    m_window->connectionController().btn_connClick();
    QTRY_COMPARE_WITH_TIMEOUT(m_env->dialer.connectState(), platform::DialStates::Connected, 20000);
    m_window->connectionController().dialupstatusTimer();
    QVERIFY(app::client().VpnConnected);
    QVERIFY(control<QTimer>("statuscheck")->isActive());
    QVERIFY(control<QTimer>("datecheck")->isActive());
    m_node1->clearRequests();
    m_node2->clearRequests();
}

QStringList TestMainWindowFaults::reminders() const
{
    QStringList texts;
    for (const auto &balloon : m_env->tray.balloons()) {
        if (balloon.title == QStringLiteral("过期提醒"))
            texts << balloon.text;
    }
    return texts;
}

void TestMainWindowFaults::verifyUntouched()
{
    QCOMPARE(testsupport::settingsSnapshot(m_env->settings), m_settingsBefore);
    QVERIFY(testsupport::takesInput(m_window.get()));
}

void TestMainWindowFaults::lineCheck_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("message"); // empty: the dial starts

    for (const Fault fault : testsupport::backendFaults()) {
        const QString message = fault == Fault::Empty     ? NoLineData
                                : fault == Fault::Garbage ? QString()
                                                          : Busy;
        QTest::addRow("%s", qPrintable(testsupport::faultName(fault))) << fault << message;
    }
}

void TestMainWindowFaults::lineCheck()
{
    QFETCH(Fault, fault);
    QFETCH(QString, message);
    testsupport::injectFault(*m_node1, "ipcheck7193.php", fault);
    m_env->dialer.setOutcome(dialOutcome(Outcome::Kind::NeverFinish));

    m_window->connectionController().btn_connClick();

    const bool dialling = message.isEmpty();
    QCOMPARE(m_env->boxes.texts(), dialling ? QStringList() : QStringList{message});
    QCOMPARE(control<QLabel>("statuslabel")->text(),
             dialling ? QString("正在建立连接") : QString("连接已经断开"));
    QCOMPARE(control<QWidget>("btn_conn")->isEnabled(), !dialling);
    QCOMPARE(control<QWidget>("btn_disconn")->isEnabled(), dialling);
    QCOMPARE(app::client().RasConnHandle != 0, dialling);
    QCOMPARE(requestsFor(*m_node1, "ipcheck7193.php"), 1);
    QCOMPARE(requestsFor(*m_node2, "ipcheck7193.php"), 0);
    verifyUntouched();
}

void TestMainWindowFaults::heartbeat_data()
{
    QTest::addColumn<Fault>("fault");
    for (const Fault fault : testsupport::backendFaults())
        QTest::addRow("%s", qPrintable(testsupport::faultName(fault))) << fault;
}

void TestMainWindowFaults::heartbeat()
{
    QFETCH(Fault, fault);
    connectLink();
    testsupport::injectFault(*m_node1, "statuscheck7193.php", fault);

    QMetaObject::invokeMethod(control<QTimer>("statuscheck"), "timeout");

    // Quiet whatever happened: the link stays up and the next tick reports again.
    QVERIFY(m_env->boxes.texts().isEmpty());
    QVERIFY(app::client().VpnConnected);
    QCOMPARE(control<QLabel>("statuslabel")->text(), QString("连接成功"));
    QVERIFY(control<QTimer>("statuscheck")->isActive());
    QCOMPARE(app::client().MasterHost, Master1);
    QCOMPARE(requestsFor(*m_node1, "statuscheck7193.php"), 1);
    QCOMPARE(requestsFor(*m_node2, "statuscheck7193.php"), 0);
    verifyUntouched();
}

void TestMainWindowFaults::validityCheck_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("bothNodes");
    QTest::addColumn<QString>("master"); // afterwards
    QTest::addColumn<bool>("reminded");  // the check reached a node that knows the account
    QTest::addColumn<int>("secondNodeAsked");

    for (const Fault fault : testsupport::backendFaults()) {
        const QByteArray name = testsupport::faultName(fault).toUtf8();
        // An empty or undecodable reply is an answer without a days label: nothing to do.
        const bool answered = fault == Fault::Empty || fault == Fault::Garbage;
        QTest::addRow("first node: %s", name.constData())
            << fault << false << (answered ? Master1 : Master2) << !answered << (answered ? 0 : 1);
        QTest::addRow("both nodes: %s", name.constData())
            << fault << true << Master1 << false << (answered ? 0 : 1);
    }
}

void TestMainWindowFaults::validityCheck()
{
    QFETCH(Fault, fault);
    QFETCH(bool, bothNodes);
    QFETCH(QString, master);
    QFETCH(bool, reminded);
    QFETCH(int, secondNodeAsked);
    connectLink();
    testsupport::injectFault(*m_node1, "usercheck7193.php", fault);
    if (bothNodes)
        testsupport::injectFault(*m_node2, "usercheck7193.php", fault);

    QMetaObject::invokeMethod(control<QTimer>("datecheck"), "timeout");

    QVERIFY(m_env->boxes.texts().isEmpty());
    QVERIFY(app::client().VpnConnected);
    QVERIFY(control<QTimer>("datecheck")->isActive());
    QCOMPARE(reminders(), reminded ? QStringList{FewDaysLeft} : QStringList());
    QCOMPARE(app::client().MasterHost, master);
    QCOMPARE(requestsFor(*m_node1, "usercheck7193.php"), 1);
    QCOMPARE(requestsFor(*m_node2, "usercheck7193.php"), secondNodeAsked);
    verifyUntouched();
}

void TestMainWindowFaults::serverListRefresh_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("areas"); // null: the window shows what it showed before

    for (const Fault fault : testsupport::backendFaults()) {
        const QByteArray name = testsupport::faultName(fault).toUtf8();
        if (fault == Fault::Redirect)
            QTest::addRow("%s", name.constData()) << fault << QString() << AllAreas;
        else if (fault == Fault::Garbage)
            // Any text that is not empty is the new catalogue, even one without an area.
            QTest::addRow("%s", name.constData()) << fault << QString() << QStringList{};
        else
            QTest::addRow("%s", name.constData()) << fault << NoRefresh << QStringList();
    }
}

void TestMainWindowFaults::serverListRefresh()
{
    QFETCH(Fault, fault);
    QFETCH(QString, message);
    QFETCH(QStringList, areas);
    auto *area = control<QComboBox>("AreaTxt2");
    area->setCurrentIndex(2);
    emit area->activated(2);
    const QStringList shownBefore = catalogueView(*m_window);
    testsupport::injectFault(*m_node1, "vpnlist7193.php", fault);

    control<QAction>("N14")->trigger();

    QCOMPARE(m_env->boxes.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (message.isEmpty()) {
        QCOMPARE(app::client().ServerList->sectionNames(), areas);
        QCOMPARE(area->count(), int(areas.size()));
    } else {
        QCOMPARE(catalogueView(*m_window), shownBefore);
        QCOMPARE(app::client().ServerList->sectionNames(), AllAreas);
    }
    QVERIFY(requestsFor(*m_node1, "vpnlist7193.php") >= 1);
    QCOMPARE(requestsFor(*m_node2, "vpnlist7193.php"), 0);
    verifyUntouched();
}

QTEST_MAIN(TestMainWindowFaults)
#include "tst_mainwindowfaults.moc"
