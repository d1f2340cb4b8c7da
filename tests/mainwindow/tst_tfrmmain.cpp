#include "mainwindow/Tfrmmain.h"

#include "app/ClientState.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using platform::RegistryRoot;
using platform::RegistryValue;

namespace {

const QString Master1 = QStringLiteral("127.0.62.1");
const QString Master2 = QStringLiteral("127.0.62.2");
const std::u16string SelectionKey = u"SOFTWARE\\zavazizud";

// Acts on the login window once it runs modally; the window lets events run while it is
// still being built, so wait for the modal loop rather than for the first event.
void whenLoginShows(std::function<void(QDialog *)> action)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, action, tries = 0]() mutable {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            action(dialog);
        } else if (++tries > 500) {
            qFatal("the login window did not show");
        }
    });
    poll->start();
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

private:
    std::unique_ptr<testsupport::TestEnvironment> m_env;
    QTemporaryDir m_programFolder;
    QList<int> m_exitCodes;
};

void TestTfrmmain::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>(Master1, Master2);
    app::ProgramFolder() = m_programFolder.path() + '/';
    m_exitCodes.clear();
}

void TestTfrmmain::cleanup()
{
    m_env.reset();
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
    mainwindow::Tfrmmain window([this](int code) { m_exitCodes.append(code); });

    whenLoginShows([](QDialog *login) { login->close(); });
    window.FormCreate();

    QCOMPARE(m_exitCodes, QList<int>{0});
    QVERIFY(!window.isVisible());
    QVERIFY(!QFile::exists(m_programFolder.filePath("route.bat")));
    QVERIFY(!QFile::exists(m_programFolder.filePath("delroute.bat")));
    const auto area =
        m_env->settings.readValue(RegistryRoot::LocalMachine, SelectionKey, u"AREACombobox2");
    const auto line =
        m_env->settings.readValue(RegistryRoot::LocalMachine, SelectionKey, u"IPCombobox2");
    if (machineSettingsWritable) {
        QCOMPARE(area, RegistryValue::fromString(u"-1"));
        QCOMPARE(line, RegistryValue::fromString(u"-1"));
    } else {
        QVERIFY(!area);
        QVERIFY(!line);
    }
}

void TestTfrmmain::loginOpensMainWindow()
{
    auto node1 = testsupport::startBackend(Master1);
    mainwindow::Tfrmmain window([this](int code) { m_exitCodes.append(code); });

    whenLoginShows([](QDialog *login) {
        login->findChild<QLineEdit *>("edt_user")->setText("alice");
        login->findChild<QLineEdit *>("edt_pass")->setText("secret1");
        QTest::keyClick(login->findChild<QLineEdit *>("edt_pass"), Qt::Key_Return);
    });
    window.FormCreate();

    QVERIFY(m_exitCodes.isEmpty());
    QVERIFY(app::client().LoggedIn);
    QCOMPARE(window.findChild<QLabel *>("userlabel")->text(),
             QString("用户名：alice  剩余天数:30"));
    QCOMPARE(window.findChild<QLabel *>("localiplabel")->text(), QString("本地IP为：127.0.0.1"));

    window.show();
    window.close();
    QCOMPARE(m_exitCodes, QList<int>{0});
}

QTEST_MAIN(TestTfrmmain)
#include "tst_tfrmmain.moc"
