#include "mainwindow/Tfrmmain.h"

#include "app/AppInfo.h"
#include "app/ClientState.h"
#include "app/MessageBoxes.h"
#include "app/Services.h"
#include "login/Tfrmlogin.h"
#include "platform/settings/SettingsStore.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace mainwindow {

namespace {

const std::u16string SelectionKey = u"SOFTWARE\\zavazizud";

} // namespace

Tfrmmain::Tfrmmain(ProcessEnd endProcess, QWidget *parent)
    : QWidget(parent), m_endProcess(std::move(endProcess))
{
    setObjectName(QStringLiteral("frmmain"));
    buildControls();
}

void Tfrmmain::buildControls()
{
    setFixedSize(696, 435);
    auto *layout = new QVBoxLayout(this);
    AreaTxt2 = new QComboBox(this);
    AreaTxt2->setObjectName(QStringLiteral("AreaTxt2"));
    IPAddrTxt = new QComboBox(this);
    IPAddrTxt->setObjectName(QStringLiteral("IPAddrTxt"));
    userlabel = new QLabel(this);
    userlabel->setObjectName(QStringLiteral("userlabel"));
    statuslabel = new QLabel(QStringLiteral("未连接"), this);
    statuslabel->setObjectName(QStringLiteral("statuslabel"));
    localiplabel = new QLabel(this);
    localiplabel->setObjectName(QStringLiteral("localiplabel"));
    layout->addWidget(AreaTxt2);
    layout->addWidget(IPAddrTxt);
    layout->addStretch();
    layout->addWidget(userlabel);
    layout->addWidget(statuslabel);
    layout->addWidget(localiplabel);

    vercheck = new QTimer(this);
    vercheck->setObjectName(QStringLiteral("vercheck"));
    vercheck->setInterval(15000);
}

void Tfrmmain::FormCreate()
{
    setWindowTitle(app::ApplicationTitle);
    _frmlogin = new login::Tfrmlogin(this);
    _frmlogin->exec();
    delete _frmlogin;
    _frmlogin = nullptr;
    if (!app::client().LoggedIn)
        close();
}

bool Tfrmmain::FormCloseQuery()
{
    if (!app::client().VpnConnected)
        return true;
    if (app::AskYesNo(this, QStringLiteral("VPN正在连接,关闭将断开VPN连接,你确定要关闭吗")))
        return true;
    showMinimized();
    return false;
}

void Tfrmmain::FormClose()
{
    m_ending = true;
    saveSelection();
    app::BatchTestRunning() = false;
    const QDir folder(app::ProgramFolder());
    QFile::remove(folder.filePath(QStringLiteral("delroute.bat")));
    QFile::remove(folder.filePath(QStringLiteral("route.bat")));
    m_endProcess(0);
}

// The outcome is deliberately not checked: a selection that cannot be written is simply
// not remembered, and the close goes on.
void Tfrmmain::saveSelection()
{
    platform::SettingsStore &store = *app::services().settings;
    const auto root = platform::RegistryRoot::LocalMachine;
    if (!store.keyExists(root, SelectionKey))
        store.createKey(root, SelectionKey);
    store.writeValue(root, SelectionKey, u"AREACombobox2",
                     platform::RegistryValue::fromString(
                         QString::number(AreaTxt2->currentIndex()).toStdU16String()));
    store.writeValue(root, SelectionKey, u"IPCombobox2",
                     platform::RegistryValue::fromString(
                         QString::number(IPAddrTxt->currentIndex()).toStdU16String()));
}

void Tfrmmain::closeEvent(QCloseEvent *event)
{
    if (m_ending || !FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
}

void Tfrmmain::setUserLabel(const QString &text)
{
    userlabel->setText(text);
}

void Tfrmmain::setStatusLabel(const QString &text)
{
    statuslabel->setText(text);
}

void Tfrmmain::setLocalIpLabel(const QString &text)
{
    localiplabel->setText(text);
}

void Tfrmmain::armVersionReminder()
{
    vercheck->start();
}

} // namespace mainwindow
