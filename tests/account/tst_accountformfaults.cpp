#include "account/TForm2.h"
#include "account/TForm3.h"
#include "account/TForm4.h"

#include "app/ClientState.h"
#include "support/BackendFaults.h"
#include "support/TestEnvironment.h"

#include <QLineEdit>
#include <QTest>

#include <functional>

using devbackend::DevBackend;
using platform::RegistryRoot;
using platform::RegistryValue;
using testsupport::Fault;

namespace {

const QString Master1 = QStringLiteral("127.0.73.11");
const QString Master2 = QStringLiteral("127.0.73.12");

struct Dialog
{
    QString name;
    std::function<std::unique_ptr<account::AccountForm>()> create;
    QString script;
    // Input that passes every rule.
    QMap<QString, QString> input;
    QString requestFailed;
    QString otherReply;
};

const QList<Dialog> &dialogs()
{
    static const QList<Dialog> all{
        {"registration",
         [] { return std::make_unique<account::TForm2>(); },
         "user_self_new_save7193.php",
         {{"UserID", "bob"},
          {"Upassword", "secret9"},
          {"Upassword2", "secret9"},
          {"User_Mobile", "13800000000"}},
         "可能是网络连接问题导致注册失败，请稍后再试",
         "注册失败，请再试"},
        {"recharge",
         [] { return std::make_unique<account::TForm3>(); },
         "reckon_new_save7193.php",
         {{"UserID", "alice"},
          {"Upassword", "secret1"},
          {"mycardid", "100000000000000001"},
          {"mycardpass", "abcdefghijkl"}},
         "可能是网络连接问题导致充值失败，请稍后再试",
         "充值失败，请稍后再试"},
        {"password change",
         [] { return std::make_unique<account::TForm4>(); },
         "mypass_save7193.php",
         {{"UserID", "alice"},
          {"Upassword", "secret1"},
          {"Upassword1", "newpass1"},
          {"Upassword2", "newpass1"}},
         "可能是网络连接问题导致修改失败，请稍后再试",
         "修改失败，请稍后再试"},
    };
    return all;
}

} // namespace

// The three account dialogs post once to the first master node and never fail over: every
// fault must end in one message, with the dialog open and its input kept.
class TestAccountFormFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void postAgainstFault_data();
    void postAgainstFault();

private:
    std::unique_ptr<testsupport::TestEnvironment> m_env;
    std::unique_ptr<DevBackend> m_node1;
    std::unique_ptr<DevBackend> m_node2;
};

void TestAccountFormFaults::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>(Master1, Master2);
    m_node1 = testsupport::startBackend(Master1);
    m_node2 = testsupport::startBackend(Master2);
    app::client().MasterHost = Master2;
    app::client().BackupHost = Master1;
    m_env->settings.createKey(RegistryRoot::CurrentUser, u"Software\\zorizov");
    m_env->settings.writeValue(RegistryRoot::CurrentUser, u"Software\\zorizov", u"username",
                               RegistryValue::fromString(u"alice"));
}

void TestAccountFormFaults::cleanup()
{
    m_node1.reset();
    m_node2.reset();
    m_env.reset();
}

void TestAccountFormFaults::postAgainstFault_data()
{
    QTest::addColumn<int>("dialog");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("answered"); // the reply arrived, but is no known code

    for (int index = 0; index < dialogs().size(); ++index) {
        for (const Fault fault : testsupport::backendFaults()) {
            const bool answered = fault == Fault::Empty || fault == Fault::Garbage;
            QTest::addRow("%s: %s", qPrintable(dialogs().at(index).name),
                          qPrintable(testsupport::faultName(fault)))
                << index << fault << answered;
        }
    }
}

void TestAccountFormFaults::postAgainstFault()
{
    QFETCH(int, dialog);
    QFETCH(Fault, fault);
    QFETCH(bool, answered);
    const Dialog &expected = dialogs().at(dialog);
    testsupport::injectFault(*m_node1, expected.script, fault);
    testsupport::injectFault(*m_node2, expected.script, fault);
    auto form = expected.create();
    for (auto text = expected.input.cbegin(); text != expected.input.cend(); ++text)
        form->findChild<QLineEdit *>(text.key())->setText(text.value());
    form->show();
    const QStringList settingsBefore = testsupport::settingsSnapshot(m_env->settings);

    form->sButton1Click();

    QCOMPARE(m_env->boxes.texts(),
             QStringList{answered ? expected.otherReply : expected.requestFailed});
    QCOMPARE(m_env->boxes.shown().first().icon, platform::BoxIcon::Warning);
    QVERIFY(form->isVisible());
    for (auto text = expected.input.cbegin(); text != expected.input.cend(); ++text)
        QCOMPARE(form->findChild<QLineEdit *>(text.key())->text(), text.value());
    QCOMPARE(m_node1->requests().size(), 1);
    QVERIFY(m_node2->requests().isEmpty());
    QCOMPARE(app::client().MasterHost, Master2);
    QCOMPARE(testsupport::settingsSnapshot(m_env->settings), settingsBefore);
    QVERIFY(testsupport::takesInput(form.get()));
}

QTEST_MAIN(TestAccountFormFaults)
#include "tst_accountformfaults.moc"
