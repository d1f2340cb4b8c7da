#include "login/Tfrmlogin.h"

#include "account/AccountDialogs.h"
#include "app/AppInfo.h"
#include "app/ClientState.h"
#include "app/MessageBoxes.h"
#include "app/Services.h"
#include "catalogue/ServerListDocument.h"
#include "login/BackendRequests.h"
#include "login/LoginTarget.h"
#include "platform/browser/BrowserPane.h"
#include "platform/settings/SettingsStore.h"
#include "platform/shell/Shell.h"
#include "util/IStrings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace login {

namespace {

const QString SettingsKey = QStringLiteral("Software\\zorizov");
const QString BusyText = QStringLiteral("服务器连接繁忙，请重新尝试连接或稍后再试");

QPushButton *makeButton(const QString &name, const QString &caption, const QRect &geometry,
                        QWidget *parent, bool bold = false)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    if (bold) {
        QFont font = button->font();
        font.setBold(true);
        button->setFont(font);
    }
    return button;
}

} // namespace

Tfrmlogin::Tfrmlogin(LoginTarget *target, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint),
      m_target(target)
{
    setObjectName(QStringLiteral("frmlogin"));
    setFixedSize(356, 288);
    buildControls();
    FormCreate();
}

void Tfrmlogin::buildControls()
{
    wb1 = app::services().browsers->create(this);
    wb1->setObjectName(QStringLiteral("wb1"));
    wb1->setGeometry(2, 0, 352, 102);

    auto *userCaption = new QLabel(QStringLiteral("用户名:"), this);
    userCaption->setGeometry(62, 116, 56, 22);
    edt_user = new QLineEdit(this);
    edt_user->setObjectName(QStringLiteral("edt_user"));
    edt_user->setGeometry(120, 116, 170, 22);

    auto *passCaption = new QLabel(QStringLiteral("密  码:"), this);
    passCaption->setGeometry(62, 146, 56, 22);
    edt_pass = new QLineEdit(this);
    edt_pass->setObjectName(QStringLiteral("edt_pass"));
    edt_pass->setGeometry(120, 146, 170, 22);
    edt_pass->setEchoMode(QLineEdit::Password);

    chkpass = new QCheckBox(QStringLiteral("记住密码"), this);
    chkpass->setObjectName(QStringLiteral("chkpass"));
    chkpass->setGeometry(120, 176, 84, 22);
    chkstatus = new QCheckBox(QStringLiteral("断线重拨"), this);
    chkstatus->setObjectName(QStringLiteral("chkstatus"));
    chkstatus->setGeometry(206, 176, 84, 22);

    sButton1 = makeButton(QStringLiteral("sButton1"), QStringLiteral("帐户注册"),
                          QRect(14, 212, 78, 28), this);
    sButton2 = makeButton(QStringLiteral("sButton2"), QStringLiteral("帐户充值"),
                          QRect(96, 212, 78, 28), this);
    btn_login = makeButton(QStringLiteral("btn_login"), QStringLiteral("登  陆"),
                           QRect(180, 212, 78, 28), this, true);
    btn_login->setDefault(true);
    btn_exit = makeButton(QStringLiteral("btn_exit"), QStringLiteral("购买地址"),
                          QRect(262, 212, 78, 28), this, true);
    connect(sButton1, &QPushButton::clicked, this, &account::ShowRegistrationDialog);
    connect(sButton2, &QPushButton::clicked, this, &account::ShowRechargeDialog);
    connect(btn_login, &QPushButton::clicked, this, &Tfrmlogin::btn_loginClick);
    connect(btn_exit, &QPushButton::clicked, this, &Tfrmlogin::btn_exitClick);

    auto *statusPanel = new QFrame(this);
    statusPanel->setFrameShape(QFrame::Panel);
    statusPanel->setFrameShadow(QFrame::Sunken);
    statusPanel->setGeometry(0, 262, 356, 26);
    Label3 = new QLabel(QStringLiteral("欢迎使用Taverin网络加速器"), statusPanel);
    Label3->setTextFormat(Qt::PlainText); // shows the back end's refusal as it came
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(6, 2, 344, 22);
    Label3->setStyleSheet(QStringLiteral("color: red;"));

    setTabOrder(edt_user, edt_pass);
    setTabOrder(edt_pass, chkpass);
    setTabOrder(chkpass, chkstatus);
    setTabOrder(chkstatus, btn_login);
    setTabOrder(btn_login, btn_exit);
    setTabOrder(btn_exit, sButton1);
    setTabOrder(sButton1, sButton2);
    edt_user->setFocus();
}

void Tfrmlogin::FormCreate()
{
    wb1->navigate(
        backendUrl(app::services().config.pageHost, QStringLiteral("/taverinclient/top.htm")));
    QCoreApplication::processEvents();
    setWindowTitle(app::ApplicationTitle);

    auto settings = util::IStrings::create();
    settings->SetRootKey(platform::RegistryRoot::CurrentUser);
    settings->OpenKey(SettingsKey, true);
    settings->SetValueName(QStringLiteral("savepassword"));
    chkpass->setChecked(settings->ReadBool());
    if (chkpass->isChecked()) {
        QString text;
        settings->SetValueName(QStringLiteral("username"));
        settings->ReadString(false, text);
        edt_user->setText(text);
        settings->SetValueName(QStringLiteral("password"));
        settings->ReadString(false, text);
        edt_pass->setText(text);
    }
    settings->SetValueName(QStringLiteral("saveautodial"));
    chkstatus->setChecked(settings->ReadBool());
}

void Tfrmlogin::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    edt_user->setFocus();
}

void Tfrmlogin::keyPressEvent(QKeyEvent *event)
{
    // Esc is the purchase button's shortcut, not a way out of the dialog.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        btn_exitClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Tfrmlogin::btn_exitClick()
{
    app::services().shell->openUrl(QUrl(QStringLiteral("http://") + app::services().config.website +
                                        QStringLiteral("/pay.asp")));
}

void Tfrmlogin::btn_loginClick()
{
    if (edt_user->text().isEmpty()) {
        app::ShowWarning(this, QStringLiteral("账号不能为空"));
        edt_user->setFocus();
        return;
    }
    if (edt_pass->text().isEmpty()) {
        app::ShowWarning(this, QStringLiteral("密码必须输入"));
        edt_pass->setFocus();
        return;
    }

    Label3->setVisible(true);
    Label3->setText(QStringLiteral("请稍候，正在向主节点获取连接信息......"));
    Label3->repaint();
    QCoreApplication::processEvents();

    if (!runNetCheck())
        return;

    app::ClientState &state = app::client();
    if (state.ServerVersion != app::ClientVersion) {
        state.VersionHintCount = 0;
        m_target->armVersionReminder();
        app::ShowMessage(this, QStringLiteral("已经有更新版本，强烈建议你下载最新版本"));
    }

    auto trimmed = util::IStrings::create();
    QString user;
    QString password;
    trimmed->SetText(edt_user->text());
    trimmed->TrimText(false, user);
    trimmed->SetText(edt_pass->text());
    trimmed->TrimText(false, password);
    const std::optional<QString> reply = postWithFailover(
        QStringLiteral("usercheck7193.php"),
        {{QStringLiteral("UserID"), user}, {QStringLiteral("Upassword"), password}});
    if (!reply) {
        failBusy();
        return;
    }

    const QString refusal =
        *reply == QLatin1String("error") ? QStringLiteral("用户名或密码错误")
        : *reply == QLatin1String("expire") ? QStringLiteral("你的帐户已经过期，请充值后再使用")
        : *reply == QLatin1String("useup") ? QStringLiteral("你的免费试用已经用完，请充值后再使用")
                                           : QString();
    if (!refusal.isEmpty()) {
        app::ShowMessage(this, refusal);
        edt_user->setFocus();
        Label3->setText(refusal);
        return;
    }

    state.LoggedIn = true;
    state.LoginUser = edt_user->text();
    state.LoginPassword = edt_pass->text();
    state.AccountSummary = *reply;
    m_target->setUserLabel(QStringLiteral("用户名：") + state.LoginUser + QStringLiteral("  ") +
                           *reply);
    m_target->setStatusLabel(QStringLiteral("未连接"));
    m_target->setLocalIpLabel(QStringLiteral("本地IP为：") + state.PeerAddress);

    storeSettings();
    loadServerList();
    if (chkstatus->isChecked())
        state.RedialMode = 2;
    accept();
}

bool Tfrmlogin::runNetCheck()
{
    const app::Configuration &config = app::services().config;
    app::ClientState &state = app::client();
    auto probe = util::IStrings::create();
    QString reply;
    probe->HttpGet(scriptUrl(config.master1, QStringLiteral("netcheck7193.php")).toString(), true,
                   reply);
    if (!reply.isEmpty()) {
        state.MasterHost = config.master1;
        state.BackupHost = config.master2;
    } else {
        probe->HttpGet(scriptUrl(config.master2, QStringLiteral("netcheck7193.php")).toString(),
                       true, reply);
        if (reply.isEmpty()) {
            failBusy();
            return false;
        }
        state.MasterHost = config.master2;
        state.BackupHost = config.master1;
    }
    probe->Split5(state.NetCheckParts, QStringLiteral("-"));
    state.PeerAddress = state.NetCheckParts[0];
    state.ServerVersion = state.NetCheckParts[1];
    state.MasterRouteAddress = state.NetCheckParts[2];
    return true;
}

void Tfrmlogin::failBusy()
{
    app::ShowMessage(this, BusyText);
    QCoreApplication::processEvents();
    Label3->setVisible(false);
}

void Tfrmlogin::storeSettings()
{
    auto settings = util::IStrings::create();
    settings->SetRootKey(platform::RegistryRoot::CurrentUser);
    settings->OpenKey(SettingsKey, true);
    settings->SetValueName(QStringLiteral("savepassword"));
    settings->WriteBool(chkpass->isChecked());
    settings->SetValueName(QStringLiteral("saveautodial"));
    settings->WriteBool(chkstatus->isChecked());
    if (chkpass->isChecked()) {
        settings->SetValueName(QStringLiteral("username"));
        settings->WriteString(edt_user->text());
        settings->SetValueName(QStringLiteral("password"));
        settings->WriteString(edt_pass->text());
    }
}

void Tfrmlogin::loadServerList()
{
    auto fetch = util::IStrings::create();
    QString document;
    fetch->HttpGet(serverListUrl(app::client().MasterHost), true, document);
    app::client().ServerList = std::make_shared<const catalogue::ServerListDocument>(
        catalogue::ServerListDocument::parse(document));
}

} // namespace login
