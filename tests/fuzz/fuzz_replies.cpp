// The handlers that act on the back end's replies: the login (net check, user check,
// server list), the line check, the heartbeat, the validity check and the three account
// dialogs, talking to a scripted transport.
//
// Input: the first byte picks the handler, bit i of the second byte makes the handler's
// i-th request fail, and the rest, cut at NUL bytes, are the reply bodies in the back
// end's code page for the handler's requests in turn.

#include "FuzzSupport.h"

#include "account/TForm2.h"
#include "account/TForm3.h"
#include "account/TForm4.h"
#include "app/ClientState.h"
#include "catalogue/ServerListDocument.h"
#include "connection/ConnectionController.h"
#include "connection/LinkStatistics.h"
#include "login/LoginTarget.h"
#include "login/Tfrmlogin.h"
#include "platform/http/ScriptedHttpTransport.h"
#include "reporting/AccountChecks.h"
#include "reporting/StatusHeartbeat.h"
#include "support/TestEnvironment.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTimer>

namespace {

// Never contacted: every reply comes from the script.
const QString Master1 = QStringLiteral("127.0.0.1");
const QString Master2 = QStringLiteral("127.0.0.2");
const QString User = QStringLiteral("demo");
const QString Password = QStringLiteral("demo123");
const std::u16string LinkEntry = u"fuzzlink";

QString script(const char *name)
{
    return QStringLiteral("/sysadmin/useradmin/") + QLatin1String(name);
}

enum class Handler : std::uint8_t {
    Login,
    LineCheck,
    Heartbeat,
    ValidityCheck,
    Registration,
    Recharge,
    PasswordChange,
    Count
};

class IgnoringTarget : public login::LoginTarget
{
public:
    void setUserLabel(const QString &) override {}
    void setStatusLabel(const QString &) override {}
    void setLocalIpLabel(const QString &) override {}
    void armVersionReminder() override {}
};

// The main window's controls the connect handler works on, without the window.
struct ConnectionWidgets
{
    QWidget window;
    QComboBox AreaTxt2, IPAddrTxt, com_game;
    QRadioButton rb_pptp, rb_lp2p;
    QPushButton btn_speed, cesu, btn_conn, btn_disconn;
    QListView vt1;
    QLabel statuslabel, protocollabel, datalabel;
    QTimer dialupstatus, dialupcheck, rast12, autodialstatus, statuscheck, datecheck, Timer1,
        Timer2;

    connection::ConnectionControls controls()
    {
        return {&window,        &AreaTxt2,  &IPAddrTxt,    &com_game,    &rb_pptp, &rb_lp2p,
                &btn_speed,     &cesu,      &btn_conn,     &btn_disconn, &vt1,     &statuslabel,
                &protocollabel, &datalabel, &dialupstatus, &dialupcheck, &rast12,  &autodialstatus,
                &statuscheck,   &datecheck, &Timer1,       &Timer2};
    }
};

struct Harness
{
    testsupport::TestEnvironment env{Master1, Master2};
    platform::ScriptedHttpTransport http;
    platform::ConnectionHandle link = 0;
    ConnectionWidgets widgets;
    connection::LinkStatistics statistics;
    reporting::DisconnectActions actions{[] {}, [](const QString &) {}};
};

Harness *harness = nullptr;

// A link that stays up for the heartbeat; later dials fail at once, so the connect
// handler never leaves a dial running.
platform::ConnectionHandle dialLink(platform::SimulatedDialer &dialer)
{
    platform::SimulatedDialer::Outcome up;
    up.after = std::chrono::milliseconds(0);
    dialer.setOutcome(up);
    platform::DialEntry entry;
    entry.host = u"127.0.0.1";
    dialer.writeEntry(LinkEntry, entry);
    platform::ConnectionHandle handle = 0;
    if (dialer.dial(LinkEntry, handle) != 0)
        fuzzsupport::fail("the simulated link cannot be dialled");
    for (int wait = 0; wait < 5000; ++wait) {
        dialer.refreshStatus(handle);
        if (dialer.connectState() == platform::DialStates::Connected)
            break;
        QThread::msleep(1);
    }
    if (dialer.connectState() != platform::DialStates::Connected)
        fuzzsupport::fail("the simulated link does not come up");
    dialer.setDialStartFailure(platform::DialerErrors::DeviceNotAvailable);
    return handle;
}

// Queues one reply per step: the step's request fails when its bit is set or when the
// input has no reply left for it.
void queueReplies(const QStringList &paths, std::uint8_t failures, const QList<QByteArray> &bodies)
{
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if ((failures >> i & 1) || i >= bodies.size())
            harness->http.queueFailure(paths.at(i));
        else
            harness->http.queueReply(paths.at(i), platform::QtHttpTransport::decode(
                                                      bodies.at(i), QStringLiteral("GBK")));
    }
}

void loggedIn()
{
    app::ClientState &state = app::client();
    state.LoggedIn = true;
    state.LoginUser = User;
    state.LoginPassword = Password;
    state.MasterHost = Master1;
    state.BackupHost = Master2;
}

void logIn()
{
    IgnoringTarget target;
    login::Tfrmlogin form(&target);
    form.findChild<QLineEdit *>(QStringLiteral("edt_user"))->setText(User);
    form.findChild<QLineEdit *>(QStringLiteral("edt_pass"))->setText(Password);
    form.btn_loginClick();
}

void checkLine()
{
    loggedIn();
    app::client().ServerList = std::make_shared<const catalogue::ServerListDocument>(
        catalogue::ServerListDocument::parse(QStringLiteral("[A]\nL=127.0.1.1,90%,1\n")));
    ConnectionWidgets &widgets = harness->widgets;
    for (QComboBox *selector : {&widgets.AreaTxt2, &widgets.IPAddrTxt})
        selector->clear();
    widgets.AreaTxt2.addItem(QStringLiteral("A"));
    widgets.IPAddrTxt.addItem(QStringLiteral("L"));
    widgets.rb_pptp.setChecked(true);
    connection::ConnectionController controller(widgets.controls(), harness->statistics, {});
    controller.btn_connClick();
}

void reportStatus()
{
    loggedIn();
    app::client().RasConnHandle = harness->link;
    app::client().CurrentEntryName = QString::fromStdU16String(LinkEntry);
    reporting::StatusHeartbeat(harness->statistics, nullptr, harness->actions).statuscheckTimer();
}

void checkValidity()
{
    loggedIn();
    reporting::AccountChecks(nullptr, harness->actions, [] {}).datecheckTimer();
}

// Fills every box with one text that passes all the dialogs' rules, so the form is sent.
template <typename Form> void accountDialog()
{
    Form form;
    for (QLineEdit *box : form.template findChildren<QLineEdit *>())
        box->setText(QStringLiteral("demo880012345678901234"));
    form.sButton1Click();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzsupport::startApplication(argc, argv);
    harness = new Harness;
    app::services().http = &harness->http;
    harness->link = dialLink(harness->env.dialer);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const auto handler = static_cast<Handler>(data[0] % static_cast<std::uint8_t>(Handler::Count));
    const std::uint8_t failures = data[1];
    const QList<QByteArray> bodies = fuzzsupport::bytes(data + 2, size - 2).split('\0');

    harness->http.clear();
    harness->env.boxes.clear();
    harness->env.settings = platform::MemorySettingsStore{};
    harness->statistics.reset();
    app::client() = app::ClientState{};
    // A fresh icon per input, so the balloons of a long run do not pile up.
    platform::RecordingTrayIcon tray;
    app::services().tray = &tray;

    // Each handler's requests in the order it makes them; a repeat goes to the backup node.
    QStringList steps;
    switch (handler) {
    case Handler::Login:
        steps = {script("netcheck7193.php"), script("netcheck7193.php"),
                 script("usercheck7193.php"), script("usercheck7193.php"),
                 script("vpnlist7193.php")};
        queueReplies(steps, failures, bodies);
        logIn();
        break;
    case Handler::LineCheck:
        steps = {script("ipcheck7193.php")};
        queueReplies(steps, failures, bodies);
        checkLine();
        break;
    case Handler::Heartbeat:
        steps = {script("statuscheck7193.php")};
        queueReplies(steps, failures, bodies);
        reportStatus();
        break;
    case Handler::ValidityCheck:
        steps = {script("usercheck7193.php"), script("usercheck7193.php")};
        queueReplies(steps, failures, bodies);
        checkValidity();
        break;
    case Handler::Registration:
        steps = {script("user_self_new_save7193.php")};
        queueReplies(steps, failures, bodies);
        accountDialog<account::TForm2>();
        break;
    case Handler::Recharge:
        steps = {script("reckon_new_save7193.php")};
        queueReplies(steps, failures, bodies);
        accountDialog<account::TForm3>();
        break;
    case Handler::PasswordChange:
    case Handler::Count:
        steps = {script("mypass_save7193.php")};
        queueReplies(steps, failures, bodies);
        accountDialog<account::TForm4>();
        break;
    }
    // The scripted paths are all a handler may ask for, each no more often than scripted:
    // a form that spends a card must never reach the back end twice.
    if (harness->http.requests().size() > steps.size())
        fuzzsupport::fail("a handler sent more requests than it may");
    app::services().tray = &harness->env.tray;
    return 0;
}
