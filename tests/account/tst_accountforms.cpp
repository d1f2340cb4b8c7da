#include "account/AccountDialogs.h"
#include "account/TForm2.h"
#include "account/TForm3.h"
#include "account/TForm4.h"

#include "app/AppInfo.h"
#include "app/ClientState.h"
#include "support/ModalWindows.h"
#include "support/TestEnvironment.h"

#include "devbackend/HttpConnection.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <functional>

using devbackend::DevBackend;
using platform::BoxIcon;

namespace {

const QString Master1 = QStringLiteral("127.0.64.1");
const QString Master2 = QStringLiteral("127.0.64.2");
const QString CardNumber = QStringLiteral("100000000000000001");
const QString ExpiredCardNumber = QStringLiteral("100000000000000002");
const QString CardPassword = QStringLiteral("abcdefghijkl");

// Which dialog a table row is about.
enum class Form { Registration, Recharge, Password };
constexpr Form AllForms[] = {Form::Registration, Form::Recharge, Form::Password};

const char *formName(Form form)
{
    switch (form) {
    case Form::Registration:
        return "registration";
    case Form::Recharge:
        return "recharge";
    case Form::Password:
        break;
    }
    return "password";
}

struct FormTraits
{
    QString script;
    QString caption;
    QSize clientSize;
    QString actionCaption;
    QStringList tabOrder;
    QStringList passwordBoxes;
    // Input that passes every rule; rows change only the boxes they are about.
    QMap<QString, QString> validInput;
    QString otherReply;
    QString networkFailure;
};

const FormTraits &traits(Form form)
{
    static const QMap<Form, FormTraits> all{
        {Form::Registration,
         {"user_self_new_save7193.php",
          "帐户注册",
          {247, 319},
          "注  册",
          {"UserID", "Upassword", "Upassword2", "User_Mobile", "Email_Address", "User_QQ",
           "User_Address"},
          {"Upassword", "Upassword2"},
          {{"UserID", "bob"},
           {"Upassword", "secret9"},
           {"Upassword2", "secret9"},
           {"User_Mobile", "13800000000"}},
          "注册失败，请再试",
          "可能是网络连接问题导致注册失败，请稍后再试"}},
        {Form::Recharge,
         {"reckon_new_save7193.php",
          "帐户充值",
          {254, 175},
          "充  值",
          {"UserID", "Upassword", "mycardid", "mycardpass"},
          {"Upassword"},
          {{"UserID", "alice"},
           {"Upassword", "secret1"},
           {"mycardid", CardNumber},
           {"mycardpass", CardPassword}},
          "充值失败，请稍后再试",
          "可能是网络连接问题导致充值失败，请稍后再试"}},
        {Form::Password,
         {"mypass_save7193.php",
          "修改密码",
          {257, 181},
          "修  改",
          {"UserID", "Upassword", "Upassword1", "Upassword2"},
          {"Upassword", "Upassword1", "Upassword2"},
          {{"UserID", "alice"},
           {"Upassword", "secret1"},
           {"Upassword1", "newpass1"},
           {"Upassword2", "newpass1"}},
          "修改失败，请稍后再试",
          "可能是网络连接问题导致修改失败，请稍后再试"}},
    };
    return *all.find(form);
}

std::unique_ptr<account::AccountForm> create(Form form)
{
    switch (form) {
    case Form::Registration:
        return std::make_unique<account::TForm2>();
    case Form::Recharge:
        return std::make_unique<account::TForm3>();
    case Form::Password:
        break;
    }
    return std::make_unique<account::TForm4>();
}

// Box texts as "name=value" rows; the value is everything after the first "=".
using Inputs = QStringList;
using Fields = QList<devbackend::FormField>;

devbackend::BackendData accountData(bool registrationOpen = true)
{
    devbackend::BackendData data;
    data.registrationOpen = registrationOpen;
    data.accounts.insert("alice", {"secret1", devbackend::AccountState::Valid, 30});
    data.cards.insert(CardNumber, {CardPassword, 30, false, false});
    data.cards.insert(ExpiredCardNumber, {CardPassword, 30, true, false});
    return data;
}

// Answers every request with one fixed body, for replies the back end never gives.
class CannedReplyServer : public QObject
{
public:
    explicit CannedReplyServer(const QByteArray &body) : m_body(body)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                auto *connection = new devbackend::HttpConnection(socket, this);
                connect(connection, &devbackend::HttpConnection::requestReceived, connection,
                        [this, connection] {
                            devbackend::HttpReply reply;
                            reply.body = m_body;
                            connection->send(reply);
                        });
            }
        });
        if (!m_server.listen(QHostAddress(Master1), 8000))
            qFatal("cannot listen on %s:8000", qPrintable(Master1));
    }

private:
    QTcpServer m_server;
    QByteArray m_body;
};

} // namespace

Q_DECLARE_METATYPE(Form)

class TestAccountForms : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowLayout_data();
    void windowLayout();
    void rulesRefuseInput_data();
    void rulesRefuseInput();
    void fieldsAreSentTrimmedInOrder_data();
    void fieldsAreSentTrimmedInOrder();
    void backendReplies_data();
    void backendReplies();
    void unknownReplies_data();
    void unknownReplies();
    void failedRequests_data();
    void failedRequests();
    void cancelSendsNothing_data();
    void cancelSendsNothing();
    void buttonsRunTheHandlers();
    void registrationRetriedWithAnotherName();
    void openingFunctionsShowFreshDialogs_data();
    void openingFunctionsShowFreshDialogs();

private:
    void addFormRows(const char *suffix, const std::function<void(QTestData &, Form)> &fill);
    std::unique_ptr<account::AccountForm> open(Form form, const Inputs &changes = {});
    static QLineEdit *box(QWidget &form, const QString &name);
    void restartFirstNode(const devbackend::BackendData &data);
    void expectSingleWarning(const QString &text);
    QList<devbackend::LoggedRequest> requestsToFirstNode() const;

    std::unique_ptr<testsupport::TestEnvironment> m_env;
    std::unique_ptr<DevBackend> m_node1;
    std::unique_ptr<DevBackend> m_node2;
};

void TestAccountForms::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>(Master1, Master2);
    m_node1 = testsupport::startBackend(Master1, accountData());
    m_node2 = testsupport::startBackend(Master2, accountData());
    // As after a login that had to fall back to the second node: the dialogs must still
    // use the first one.
    app::client().MasterHost = Master2;
    app::client().BackupHost = Master1;
}

void TestAccountForms::cleanup()
{
    const bool secondNodeUsed = !m_node2->requests().isEmpty();
    m_node1.reset();
    m_node2.reset();
    m_env.reset();
    QVERIFY2(!secondNodeUsed, "a dialog used the second master node");
}

void TestAccountForms::addFormRows(const char *suffix,
                                   const std::function<void(QTestData &, Form)> &fill)
{
    for (const Form form : AllForms)
        fill(QTest::addRow("%s %s", formName(form), suffix) << form, form);
}

std::unique_ptr<account::AccountForm> TestAccountForms::open(Form form, const Inputs &changes)
{
    auto dialog = create(form);
    QMap<QString, QString> texts = traits(form).validInput;
    for (const QString &change : changes)
        texts.insert(change.section('=', 0, 0), change.section('=', 1));
    for (auto text = texts.cbegin(); text != texts.cend(); ++text)
        box(*dialog, text.key())->setText(text.value());
    dialog->show();
    return dialog;
}

QLineEdit *TestAccountForms::box(QWidget &form, const QString &name)
{
    auto *found = form.findChild<QLineEdit *>(name);
    if (!found)
        qFatal("no box %s", qPrintable(name));
    return found;
}

void TestAccountForms::restartFirstNode(const devbackend::BackendData &data)
{
    m_node1.reset();
    m_node1 = testsupport::startBackend(Master1, data);
}

void TestAccountForms::expectSingleWarning(const QString &text)
{
    QCOMPARE(m_env->boxes.texts(), QStringList{text});
    QCOMPARE(m_env->boxes.shown().first().icon, BoxIcon::Warning);
    QCOMPARE(m_env->boxes.shown().first().caption, app::ApplicationTitle);
    QCOMPARE(m_env->boxes.shown().first().buttons, platform::BoxButtons::Ok);
}

QList<devbackend::LoggedRequest> TestAccountForms::requestsToFirstNode() const
{
    return m_node1 ? m_node1->requests() : QList<devbackend::LoggedRequest>{};
}

void TestAccountForms::windowLayout_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<bool>("staysOnTop");
    addFormRows("window", [](QTestData &row, Form form) { row << (form == Form::Registration); });
}

void TestAccountForms::windowLayout()
{
    QFETCH(Form, form);
    QFETCH(bool, staysOnTop);
    const FormTraits &expected = traits(form);
    auto dialog = open(form);

    QCOMPARE(dialog->windowTitle(), expected.caption);
    QCOMPARE(dialog->size(), expected.clientSize);
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    QCOMPARE(dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint), staysOnTop);
    QVERIFY(!dialog->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!dialog->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(dialog->findChild<QPushButton *>("sButton1")->text(), expected.actionCaption);
    QCOMPARE(dialog->findChild<QPushButton *>("sButton2")->text(), QString("取  消"));

    QStringList tabbed;
    QLineEdit *first = box(*dialog, expected.tabOrder.first());
    QWidget *widget = first;
    do {
        if (qobject_cast<QLineEdit *>(widget) && (widget->focusPolicy() & Qt::TabFocus))
            tabbed << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != first);
    QCOMPARE(tabbed, expected.tabOrder);

    for (QLineEdit *edit : dialog->findChildren<QLineEdit *>()) {
        QCOMPARE(edit->echoMode() == QLineEdit::Password,
                 expected.passwordBoxes.contains(edit->objectName()));
        QVERIFY(edit->maxLength() > 100000);
        const bool visible = dialog->rect().contains(edit->geometry());
        QCOMPARE(visible, edit->objectName() != "User_True");
    }
}

void TestAccountForms::rulesRefuseInput_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<Inputs>("changes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");

    const QString noName = "用户名不能为空";
    const QString badName = "用户名只能为字母和数字或两者的组合";
    for (const Form form : AllForms) {
        const char *name = formName(form);
        QTest::addRow("%s: empty user name", name)
            << form << Inputs{"UserID="} << noName << "UserID";
        QTest::addRow("%s: blanks and a tab as user name", name)
            << form << Inputs{"UserID= \t "} << noName << "UserID";
        QTest::addRow("%s: empty user name reported before a bad password", name)
            << form << Inputs{"UserID=", "Upassword="} << noName << "UserID";
        QTest::addRow("%s: blank inside the user name", name)
            << form << Inputs{"UserID=bo b"} << badName << "UserID";
        QTest::addRow("%s: punctuation in the user name", name)
            << form << Inputs{"UserID=bob_1"} << badName << "UserID";
        QTest::addRow("%s: Chinese user name", name)
            << form << Inputs{"UserID=张三"} << badName << "UserID";
        QTest::addRow("%s: full-width digit in the user name", name)
            << form << Inputs{"UserID=bob１"} << badName << "UserID";
        QTest::addRow("%s: ideographic space is not trimmed", name)
            << form << Inputs{"UserID=bob　"} << badName << "UserID";
    }

    const Form reg = Form::Registration;
    QTest::newRow("registration: password of five")
        << reg << Inputs{"Upassword=abcde"} << "密码至少6位"
        << "Upassword";
    QTest::newRow("registration: six blanks and three letters")
        << reg << Inputs{"Upassword=      abc", "Upassword2=      abc"} << "密码至少6位"
        << "Upassword";
    QTest::newRow("registration: short password reported before missing contact")
        << reg << Inputs{"Upassword=abc", "User_Mobile="} << "密码至少6位"
        << "Upassword";
    QTest::newRow("registration: blank confirmation")
        << reg << Inputs{"Upassword2=  "} << "确认密码不能为空"
        << "Upassword2";
    QTest::newRow("registration: confirmation with a trailing blank")
        << reg << Inputs{"Upassword2=secret9 "} << "输入的二次密码不一致"
        << "Upassword";
    QTest::newRow("registration: no contact")
        << reg << Inputs{"User_Mobile=", "Email_Address= ", "User_QQ=\t", "User_Address="}
        << "联系信息至少要填写一项"
        << "Upassword";

    const Form charge = Form::Recharge;
    QTest::newRow("recharge: blank password") << charge << Inputs{"Upassword= "} << "密码不能为空"
                                              << "Upassword";
    QTest::newRow("recharge: empty card number")
        << charge << Inputs{"mycardid="} << "充值卡号不能为空"
        << "mycardid";
    QTest::newRow("recharge: card number of 17")
        << charge << Inputs{"mycardid=" + CardNumber.left(17)} << "充值卡号格式不对"
        << "mycardid";
    QTest::newRow("recharge: card number padded with blanks to 18")
        << charge << Inputs{"mycardid= " + CardNumber.left(17)} << "充值卡号格式不对"
        << "mycardid";
    QTest::newRow("recharge: empty card password")
        << charge << Inputs{"mycardpass="} << "充值卡密码不能为空"
        << "mycardpass";
    QTest::newRow("recharge: card password of 11")
        << charge << Inputs{"mycardpass=" + CardPassword.left(11)} << "充值卡密码格式不对"
        << "mycardpass";

    const Form pass = Form::Password;
    QTest::newRow("password: blank old password")
        << pass << Inputs{"Upassword=  "} << "旧密码不能为空"
        << "Upassword";
    QTest::newRow("password: new password of five")
        << pass << Inputs{"Upassword1=abcde", "Upassword2=abcde"} << "新密码至少6位"
        << "Upassword1";
    QTest::newRow("password: six blanks and three letters")
        << pass << Inputs{"Upassword1=      abc"} << "新密码至少6位"
        << "Upassword1";
    QTest::newRow("password: empty confirmation")
        << pass << Inputs{"Upassword2="} << "确认密码不能为空"
        << "Upassword2";
    QTest::newRow("password: confirmation with a trailing blank")
        << pass << Inputs{"Upassword2=newpass1 "} << "输入的二次密码不一致"
        << "Upassword1";
}

void TestAccountForms::rulesRefuseInput()
{
    QFETCH(Form, form);
    QFETCH(Inputs, changes);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    auto dialog = open(form, changes);
    QMap<QString, QString> typed;
    for (const QLineEdit *edit : dialog->findChildren<QLineEdit *>())
        typed.insert(edit->objectName(), edit->text());

    dialog->sButton1Click();

    expectSingleWarning(message);
    QVERIFY(dialog->focusWidget());
    QCOMPARE(dialog->focusWidget()->objectName(), focus);
    QVERIFY(requestsToFirstNode().isEmpty());
    QVERIFY(dialog->isVisible());
    for (auto text = typed.cbegin(); text != typed.cend(); ++text)
        QCOMPARE(box(*dialog, text.key())->text(), text.value());
}

void TestAccountForms::fieldsAreSentTrimmedInOrder_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<Inputs>("changes");
    QTest::addColumn<Fields>("sent");

    const QString longText = QString("上海路 888 号,").repeated(10000);

    QTest::newRow("registration: only the address, hidden name empty")
        << Form::Registration
        << Inputs{"UserID=  bob\t", "User_Mobile=", "User_Address= 上海 路　\n"}
        << Fields{{"UserID", "bob"}, {"Upassword", "secret9"},     {"Upassword2", "secret9"},
                  {"User_True", ""}, {"User_Mobile", ""},          {"Email_Address", ""},
                  {"User_QQ", ""},   {"User_Address", "上海 路　"}};
    QTest::newRow("registration: every contact, passwords with equal padding")
        << Form::Registration
        << Inputs{"Upassword= pass word ", "Upassword2= pass word ", "Email_Address=b@x.cn ",
                  "User_QQ=12345", "User_Address=a=b&c"}
        << Fields{{"UserID", "bob"},    {"Upassword", "pass word"},     {"Upassword2", "pass word"},
                  {"User_True", ""},    {"User_Mobile", "13800000000"}, {"Email_Address", "b@x.cn"},
                  {"User_QQ", "12345"}, {"User_Address", "a=b&c"}};
    QTest::newRow("registration: very long address")
        << Form::Registration << Inputs{"User_Address=" + longText}
        << Fields{{"UserID", "bob"}, {"Upassword", "secret9"},       {"Upassword2", "secret9"},
                  {"User_True", ""}, {"User_Mobile", "13800000000"}, {"Email_Address", ""},
                  {"User_QQ", ""},   {"User_Address", longText}};
    QTest::newRow("recharge: card of any characters, trimmed")
        << Form::Recharge
        << Inputs{"UserID= alice ", "mycardid=  卡号-ＡＢＣ !@#$%^&*()x ",
                  "mycardpass=\tpass word 12 "}
        << Fields{{"UserID", "alice"},
                  {"Upassword", "secret1"},
                  {"mycardid", "卡号-ＡＢＣ !@#$%^&*()x"},
                  {"mycardpass", "pass word 12"}};
    QTest::newRow("recharge: very long card password")
        << Form::Recharge << Inputs{"mycardpass=" + longText}
        << Fields{{"UserID", "alice"},
                  {"Upassword", "secret1"},
                  {"mycardid", CardNumber},
                  {"mycardpass", longText}};
    QTest::newRow("password: equal padding passes and is trimmed")
        << Form::Password
        << Inputs{"Upassword= secret1", "Upassword1=\tnewpass1 ", "Upassword2=\tnewpass1 "}
        << Fields{{"UserID", "alice"},
                  {"Upassword", "secret1"},
                  {"Upassword1", "newpass1"},
                  {"Upassword2", "newpass1"}};
}

void TestAccountForms::fieldsAreSentTrimmedInOrder()
{
    QFETCH(Form, form);
    QFETCH(Inputs, changes);
    QFETCH(Fields, sent);
    auto dialog = open(form, changes);

    dialog->sButton1Click();

    const QList<devbackend::LoggedRequest> requests = requestsToFirstNode();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().method, QString("POST"));
    QCOMPARE(requests.first().path, "/sysadmin/useradmin/" + traits(form).script);
    QCOMPARE(requests.first().fields.size(), sent.size());
    for (qsizetype i = 0; i < sent.size(); ++i) {
        QCOMPARE(requests.first().fields.at(i).first, sent.at(i).first);
        QCOMPARE(requests.first().fields.at(i).second, sent.at(i).second);
    }
}

void TestAccountForms::backendReplies_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<bool>("registrationOpen");
    QTest::addColumn<Inputs>("changes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("closes");

    QTest::newRow("registration: ok")
        << Form::Registration << true << Inputs{} << "注册成功" << true;
    QTest::newRow("registration: 1, registration stopped")
        << Form::Registration << false << Inputs{} << "已经停止注册功能，请联系客服" << false;
    QTest::newRow("registration: 2, name taken")
        << Form::Registration << true << Inputs{"UserID=alice"}
        << "用户名已经存在，请重新输入用户名" << false;
    QTest::newRow("recharge: ok") << Form::Recharge << true << Inputs{} << "充值成功" << true;
    QTest::newRow("recharge: 1, wrong account password")
        << Form::Recharge << true << Inputs{"Upassword=secret2"} << "用户名或密码不对，请核对后再试"
        << false;
    QTest::newRow("recharge: 2, unknown card")
        << Form::Recharge << true << Inputs{"mycardid=" + CardNumber + "9"}
        << "充值卡号或密码不对，请核对后再试" << false;
    QTest::newRow("recharge: 2, wrong card password")
        << Form::Recharge << true << Inputs{"mycardpass=" + CardPassword + "x"}
        << "充值卡号或密码不对，请核对后再试" << false;
    QTest::newRow("recharge: 3, expired card")
        << Form::Recharge << true << Inputs{"mycardid=" + ExpiredCardNumber}
        << "此充值卡已过期，请核对后再试" << false;
    QTest::newRow("password: ok") << Form::Password << true << Inputs{} << "修改成功" << true;
    QTest::newRow("password: 1, wrong old password")
        << Form::Password << true << Inputs{"Upassword=secret2"} << "用户名或密码不对，请核对后再试"
        << false;
}

void TestAccountForms::backendReplies()
{
    QFETCH(Form, form);
    QFETCH(bool, registrationOpen);
    QFETCH(Inputs, changes);
    QFETCH(QString, message);
    QFETCH(bool, closes);
    restartFirstNode(accountData(registrationOpen));
    auto dialog = open(form, changes);
    const QString typedUser = box(*dialog, "UserID")->text();

    dialog->sButton1Click();

    expectSingleWarning(message);
    QCOMPARE(requestsToFirstNode().size(), 1);
    QCOMPARE(dialog->isVisible(), !closes);
    QCOMPARE(dialog->result(), closes ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(box(*dialog, "UserID")->text(), typedUser);
}

void TestAccountForms::unknownReplies_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<QByteArray>("reply");

    for (const QByteArray reply : {"ok\n", "OK", " ok", "", "4"}) {
        const QByteArray shown = reply.toPercentEncoding();
        for (const Form form : AllForms)
            QTest::addRow("%s: \"%s\"", formName(form), shown.constData()) << form << reply;
    }
    QTest::newRow("registration: 3 is not one of its codes")
        << Form::Registration << QByteArray("3");
    QTest::newRow("password: 2 is not one of its codes") << Form::Password << QByteArray("2");
}

void TestAccountForms::unknownReplies()
{
    QFETCH(Form, form);
    QFETCH(QByteArray, reply);
    m_node1.reset();
    CannedReplyServer server(reply);
    auto dialog = open(form);

    dialog->sButton1Click();

    expectSingleWarning(traits(form).otherReply);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
}

void TestAccountForms::failedRequests_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<bool>("firstNodeUp");
    QTest::addColumn<DevBackend::Fault>("fault");

    addFormRows("with the first node down",
                [](QTestData &row, Form) { row << false << DevBackend::Fault::None; });
    addFormRows("answering 500",
                [](QTestData &row, Form) { row << true << DevBackend::Fault::Http500; });
    addFormRows("dropping the connection",
                [](QTestData &row, Form) { row << true << DevBackend::Fault::Refuse; });
    QTest::newRow("registration never answered")
        << Form::Registration << true << DevBackend::Fault::Hang;
}

void TestAccountForms::failedRequests()
{
    QFETCH(Form, form);
    QFETCH(bool, firstNodeUp);
    QFETCH(DevBackend::Fault, fault);
    if (firstNodeUp)
        m_node1->setFault(traits(form).script, fault);
    else
        m_node1.reset();
    auto dialog = open(form);

    dialog->sButton1Click();

    expectSingleWarning(traits(form).networkFailure);
    QCOMPARE(requestsToFirstNode().size(), firstNodeUp ? 1 : 0);
    QVERIFY(dialog->isVisible());
    for (auto text = traits(form).validInput.cbegin(); text != traits(form).validInput.cend();
         ++text)
        QCOMPARE(box(*dialog, text.key())->text(), text.value());
}

void TestAccountForms::cancelSendsNothing_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<QString>("how");
    addFormRows("cancel button", [](QTestData &row, Form) { row << "cancel"; });
    addFormRows("Esc", [](QTestData &row, Form) { row << "escape"; });
    addFormRows("close button", [](QTestData &row, Form) { row << "close"; });
}

void TestAccountForms::cancelSendsNothing()
{
    QFETCH(Form, form);
    QFETCH(QString, how);
    auto dialog = open(form);

    if (how == "cancel")
        dialog->sButton2Click();
    else if (how == "escape")
        QTest::keyClick(box(*dialog, "UserID"), Qt::Key_Escape);
    else
        dialog->close();

    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QVERIFY(m_env->boxes.shown().isEmpty());
    QVERIFY(requestsToFirstNode().isEmpty());
}

void TestAccountForms::buttonsRunTheHandlers()
{
    auto dialog = open(Form::Password);

    QTest::mouseClick(dialog->findChild<QPushButton *>("sButton1"), Qt::LeftButton);
    QCOMPARE(m_env->boxes.texts(), QStringList{"修改成功"});
    QCOMPARE(requestsToFirstNode().size(), 1);

    auto other = open(Form::Recharge);
    QTest::mouseClick(other->findChild<QPushButton *>("sButton2"), Qt::LeftButton);
    QVERIFY(!other->isVisible());
    QCOMPARE(requestsToFirstNode().size(), 1);
}

void TestAccountForms::registrationRetriedWithAnotherName()
{
    auto dialog = open(Form::Registration, {"UserID=alice"});

    dialog->sButton1Click();
    QVERIFY(dialog->isVisible());
    box(*dialog, "UserID")->setText("alice2");
    dialog->sButton1Click();

    QCOMPARE(m_env->boxes.texts(), (QStringList{"用户名已经存在，请重新输入用户名", "注册成功"}));
    QVERIFY(!dialog->isVisible());
    const QList<devbackend::LoggedRequest> requests = requestsToFirstNode();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.at(1).field("UserID"), QString("alice2"));
}

void TestAccountForms::openingFunctionsShowFreshDialogs_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<std::function<void()>>("show");
    addFormRows("opened", [](QTestData &row, Form form) {
        row << (form == Form::Registration ? std::function<void()>(account::ShowRegistrationDialog)
                : form == Form::Recharge   ? std::function<void()>(account::ShowRechargeDialog)
                                           : std::function<void()>(account::ShowPasswordDialog));
    });
}

void TestAccountForms::openingFunctionsShowFreshDialogs()
{
    QFETCH(Form, form);
    QFETCH(std::function<void()>, show);
    QList<QPointer<QDialog>> opened;
    QStringList userNamesAtOpening;

    QStringList captions;
    QList<bool> ownerless;

    for (int round = 0; round < 2; ++round) {
        testsupport::whenModalShows([&](QDialog *dialog) {
            opened << dialog;
            userNamesAtOpening << box(*dialog, "UserID")->text();
            captions << dialog->windowTitle();
            ownerless << !dialog->parent();
            box(*dialog, "UserID")->setText("typed");
            dialog->reject();
        });
        show();
    }

    QCOMPARE(opened.size(), 2);
    QVERIFY(opened.at(0).isNull());
    QVERIFY(opened.at(1).isNull());
    QCOMPARE(userNamesAtOpening, (QStringList{"", ""}));
    QCOMPARE(captions, QStringList(2, traits(form).caption));
    QCOMPARE(ownerless, (QList<bool>{true, true}));
    QVERIFY(requestsToFirstNode().isEmpty());
}

QTEST_MAIN(TestAccountForms)
#include "tst_accountforms.moc"
