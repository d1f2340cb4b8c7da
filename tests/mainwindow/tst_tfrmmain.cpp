#include "mainwindow/Tfrmmain.h"

#include "app/AppInfo.h"
#include "app/ClientState.h"
#include "latency/LineTableView.h"
#include "platform/browser/BrowserPane.h"
#include "support/ModalWindows.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using mainwindow::Tfrmmain;
using platform::RegistryRoot;
using platform::RegistryValue;

namespace {

const QString Master1 = QStringLiteral("127.0.62.1");
const QString Master2 = QStringLiteral("127.0.62.2");
const std::u16string SelectionKey = u"SOFTWARE\\zavazizud";

void logIn(QDialog *login)
{
    login->findChild<QLineEdit *>("edt_user")->setText("alice");
    login->findChild<QLineEdit *>("edt_pass")->setText("secret1");
    QTest::keyClick(login->findChild<QLineEdit *>("edt_pass"), Qt::Key_Return);
}

QStringList actionNames(const QList<QAction *> &actions)
{
    QStringList names;
    for (const QAction *action : actions)
        names << action->objectName();
    return names;
}

} // namespace

class TestTfrmmain : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void abandonedLoginEndsProcess_data();
    void abandonedLoginEndsProcess();
    void loginOpensMainWindow();
    void simulatedDialerShowsInCaption();
    void selectionSurvivesRestart();
    void rowClickSelectsLine();
    void closeWhileConnected_data();
    void closeWhileConnected();
    void menuStructure_data();
    void menuStructure();
    void webCommands_data();
    void webCommands();
    void aboutBoxFromTray();
    void accountDialogsFromMenu_data();
    void accountDialogsFromMenu();

private:
    std::unique_ptr<Tfrmmain> loggedInWindow();
    QString remembered(const std::u16string &name) const;

    std::unique_ptr<testsupport::TestEnvironment> m_env;
    std::unique_ptr<devbackend::DevBackend> m_backend;
    QTemporaryDir m_programFolder;
    QList<int> m_exitCodes;
};

void TestTfrmmain::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>(Master1, Master2);
    m_backend = testsupport::startBackend(Master1);
    app::ProgramFolder() = m_programFolder.path() + '/';
    m_exitCodes.clear();
}

void TestTfrmmain::cleanup()
{
    m_backend.reset();
    m_env.reset();
}

std::unique_ptr<Tfrmmain> TestTfrmmain::loggedInWindow()
{
    auto window = std::make_unique<Tfrmmain>([this](int code) { m_exitCodes.append(code); });
    testsupport::whenModalShows(logIn);
    window->FormCreate();
    if (!app::client().LoggedIn)
        qFatal("login failed");
    return window;
}

QString TestTfrmmain::remembered(const std::u16string &name) const
{
    const auto value = m_env->settings.readValue(RegistryRoot::LocalMachine, SelectionKey, name);
    return value ? QString::fromStdU16String(value->text) : QStringLiteral("<missing>");
}

void TestTfrmmain::abandonedLoginEndsProcess_data()
{
    QTest::addColumn<bool>("machineSettingsWritable");

    QTest::newRow("selection saved") << true;
    QTest::newRow("selection cannot be written") << false;
}

void TestTfrmmain::abandonedLoginEndsProcess()
{
    QFETCH(bool, machineSettingsWritable);
    m_env->settings.setWritable(RegistryRoot::LocalMachine, machineSettingsWritable);
    for (const char *name : {"route.bat", "delroute.bat"}) {
        QFile file(m_programFolder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    Tfrmmain window([this](int code) { m_exitCodes.append(code); });

    testsupport::whenModalShows([](QDialog *login) { login->close(); });
    window.FormCreate();

    QCOMPARE(m_exitCodes, QList<int>{0});
    QVERIFY(!window.isVisible());
    QVERIFY(!m_env->tray.isEnabled());
    QVERIFY(!QFile::exists(m_programFolder.filePath("route.bat")));
    QVERIFY(!QFile::exists(m_programFolder.filePath("delroute.bat")));
    const QString expected = machineSettingsWritable ? "-1" : "<missing>";
    QCOMPARE(remembered(u"AREACombobox2"), expected);
    QCOMPARE(remembered(u"IPCombobox2"), expected);
}

void TestTfrmmain::loginOpensMainWindow()
{
    auto window = loggedInWindow();

    QVERIFY(m_exitCodes.isEmpty());
    QCOMPARE(window->windowTitle(), app::ApplicationTitle);
    QCOMPARE(window->centralWidget()->size(), QSize(696, 435));
    QCOMPARE(window->findChild<QLabel *>("userlabel")->text(),
             QString("用户名：alice  剩余天数:30"));
    QCOMPARE(window->findChild<QLabel *>("localiplabel")->text(), QString("本地IP为：127.0.0.1"));
    QCOMPARE(window->findChild<platform::BrowserPane *>("web1")->url(),
             QUrl("http://" + Master1 + ":8000/taverinclient/maintop.htm"));
    QCOMPARE(window->findChild<platform::BrowserPane *>("web2")->url(),
             QUrl("http://" + Master1 + ":8000/softnews.asp"));
    QVERIFY(m_env->tray.isEnabled());
    QCOMPARE(m_env->tray.hint(), app::ApplicationTitle);
    QCOMPARE(m_env->tray.menu(), window->findChild<QMenu *>("taskmenu1"));
    QCOMPARE(window->routerList().size(), size_t(2000));
    QVERIFY(window->routerList().back().destionation.isEmpty());
    for (const char *name : {"Timer1", "Timer2", "dialupstatus", "rast12", "dialupcheck",
                             "autodialstatus", "statuscheck", "vercheck", "datecheck"})
        QVERIFY2(!window->findChild<QTimer *>(name)->isActive(), name);

    auto *table = window->findChild<QAbstractItemView *>("vt1");
    QCOMPARE(table->model()->rowCount(), 0);
    window->show();
    QCOMPARE(table->model()->rowCount(), 2);
    QCOMPARE(table->model()->index(1, 0).data().toString(), QString("上海2"));

    window->close();
    QCOMPARE(m_exitCodes, QList<int>{0});
    QVERIFY(!m_env->tray.isEnabled());
    QCOMPARE(remembered(u"AREACombobox2"), QString("0"));
    QCOMPARE(remembered(u"IPCombobox2"), QString("0"));
}

void TestTfrmmain::simulatedDialerShowsInCaption()
{
    app::services().config.dialer = "sim";

    auto window = loggedInWindow();

    QCOMPARE(window->windowTitle(), app::ApplicationTitle + " [模拟拨号]");
}

void TestTfrmmain::selectionSurvivesRestart()
{
    {
        auto first = loggedInWindow();
        first->show();
        auto *area = first->findChild<QComboBox *>("AreaTxt2");
        area->setCurrentIndex(1);
        emit area->activated(1);
        first->findChild<QComboBox *>("IPAddrTxt")->setCurrentIndex(2);
        first->close();
    }
    QCOMPARE(remembered(u"AREACombobox2"), QString("1"));
    QCOMPARE(remembered(u"IPCombobox2"), QString("2"));
    app::client() = app::ClientState{};

    auto second = loggedInWindow();
    second->show();
    QCOMPARE(second->findChild<QComboBox *>("AreaTxt2")->currentText(), QString("华北网通"));
    QCOMPARE(second->findChild<QComboBox *>("IPAddrTxt")->currentText(), QString("北京3"));
    auto *table = second->findChild<QAbstractItemView *>("vt1");
    QCOMPARE(table->model()->rowCount(), 3);
    QCOMPARE(table->model()->index(2, 3).data().toString(), QString("不支持"));
}

void TestTfrmmain::rowClickSelectsLine()
{
    auto window = loggedInWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *table = window->findChild<QAbstractItemView *>("vt1");
    auto *lines = window->findChild<QComboBox *>("IPAddrTxt");
    QCOMPARE(lines->currentIndex(), 0);

    const QRect second = table->visualRect(table->model()->index(1, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, second.center());

    QCOMPARE(lines->currentText(), QString("上海2"));
}

void TestTfrmmain::closeWhileConnected_data()
{
    QTest::addColumn<platform::BoxAnswer>("answer");
    QTest::addColumn<bool>("ends");

    QTest::newRow("yes closes") << platform::BoxAnswer::Yes << true;
    QTest::newRow("no minimises") << platform::BoxAnswer::No << false;
}

void TestTfrmmain::closeWhileConnected()
{
    QFETCH(platform::BoxAnswer, answer);
    QFETCH(bool, ends);
    auto window = loggedInWindow();
    window->show();
    app::client().VpnConnected = true;
    m_env->boxes.queueAnswer(answer);

    window->close();

    QCOMPARE(m_env->boxes.texts(), QStringList{"VPN正在连接,关闭将断开VPN连接,你确定要关闭吗"});
    QCOMPARE(m_env->boxes.shown().first().icon, platform::BoxIcon::Question);
    QCOMPARE(m_exitCodes, ends ? QList<int>{0} : QList<int>{});
    if (!ends)
        QVERIFY(window->isMinimized());
}

void TestTfrmmain::menuStructure_data()
{
    QTest::addColumn<QString>("menu"); // "mm1", a sub-menu's action name, or "taskmenu1"
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QStringList>("visible"); // names of the visible ones

    QTest::newRow("menu bar") << "mm1"
                              << QStringList{"N2", "H1", "V1", "N12", "A1", "N15", "N13", "O1"}
                              << QStringList{"帐户管理", "官方信息", "官方网站", "新闻公告",
                                             "帮助信息", "购买连接", "联系我们", "刷新线路"}
                              << QStringList{"N2", "V1", "N12", "A1", "N15", "N13", "O1"};
    QTest::newRow("account") << "N2" << QStringList{"N11", "N3", "N4", "N10"}
                             << QStringList{"帐户注册", "帐户充值", "修改密码", "登录查询"}
                             << QStringList{"N11", "N3", "N4"};
    QTest::newRow("information") << "H1" << QStringList{"N1"} << QStringList{"关于"}
                                 << QStringList{"N1"};
    QTest::newRow("lines") << "O1" << QStringList{"N14", "L2TPQ1"}
                           << QStringList{"刷新线路", "L2TP强制生效"} << QStringList{"N14"};
    QTest::newRow("tray") << "taskmenu1" << QStringList{"N9", "N7", "N8", "N5", "N6"}
                          << QStringList{"显示主界面", "退出", "关于", "连接", "断开"}
                          << QStringList{"N9", "N7", "N8"};
}

void TestTfrmmain::menuStructure()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, names);
    QFETCH(QStringList, captions);
    QFETCH(QStringList, visible);
    Tfrmmain window([](int) {});

    QList<QAction *> actions;
    if (menu == "mm1")
        actions = window.menuBar()->actions();
    else if (menu == "taskmenu1")
        actions = window.findChild<QMenu *>("taskmenu1")->actions();
    else
        actions = window.findChild<QAction *>(menu)->menu()->actions();

    QCOMPARE(actionNames(actions), names);
    QStringList shownCaptions;
    QStringList shown;
    for (const QAction *action : actions) {
        shownCaptions << action->text();
        if (action->isVisible())
            shown << action->objectName();
    }
    QCOMPARE(shownCaptions, captions);
    QCOMPARE(shown, visible);
}

void TestTfrmmain::webCommands_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("url");

    QTest::newRow("web site") << "V1"
                              << "http://www.site.test/";
    QTest::newRow("news item opens the help page") << "N12"
                                                   << "http://www.site.test/help/";
    QTest::newRow("help item opens the news page") << "A1"
                                                   << "http://www.site.test/news/";
    QTest::newRow("buy") << "N15"
                         << "http://www.site.test/pay.asp";
    QTest::newRow("contact") << "N13"
                             << "http://www.site.test/contact.html";
    QTest::newRow("account query on the first master node")
        << "N10"
        << "http://" + Master1 + ":8000/sysadmin/useradmin/";
}

void TestTfrmmain::webCommands()
{
    QFETCH(QString, action);
    QFETCH(QString, url);
    app::services().config.website = "www.site.test";
    app::client().MasterHost = Master2;
    Tfrmmain window([](int) {});

    window.findChild<QAction *>(action)->trigger();

    QCOMPARE(m_env->shell.opened(), QList<QUrl>{QUrl(url)});
}

void TestTfrmmain::aboutBoxFromTray()
{
    Tfrmmain window([](int) {});

    window.findChild<QAction *>("N8")->trigger();

    QCOMPARE(m_env->boxes.shown().size(), 1);
    QCOMPARE(m_env->boxes.shown().first().caption, QString("关于"));
    QCOMPARE(m_env->boxes.shown().first().text, QString("Taverin网络加速器6.0"));
    QCOMPARE(m_env->boxes.shown().first().icon, platform::BoxIcon::None);
    QVERIFY(!window.findChild<QAction *>("H1")->isVisible());
}

void TestTfrmmain::accountDialogsFromMenu_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("caption");

    QTest::newRow("register") << "N11"
                              << "帐户注册";
    QTest::newRow("recharge") << "N3"
                              << "帐户充值";
    QTest::newRow("password") << "N4"
                              << "修改密码";
}

void TestTfrmmain::accountDialogsFromMenu()
{
    QFETCH(QString, action);
    QFETCH(QString, caption);
    Tfrmmain window([](int) {});
    QString shownCaption;

    testsupport::whenModalShows([&shownCaption](QDialog *dialog) {
        shownCaption = dialog->windowTitle();
        dialog->reject();
    });
    window.findChild<QAction *>(action)->trigger();

    QCOMPARE(shownCaption, caption);
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestTfrmmain)
#include "tst_tfrmmain.moc"
