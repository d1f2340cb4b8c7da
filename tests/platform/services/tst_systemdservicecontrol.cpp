#include "platform/services/SystemdServiceControl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using platform::ServiceInfo;
using platform::ServiceStartType;
using platform::ServiceState;
using platform::SystemdServiceControl;
using platform::SystemdServiceControlOptions;
using Calls = QList<QStringList>;

Q_DECLARE_METATYPE(ServiceState)
Q_DECLARE_METATYPE(ServiceStartType)

namespace {

// Logs each run as one line, its arguments apart by \037, then answers from
// answers/<command>: the output, <command>.exit for the exit code (else default.exit),
// <command>.hang to start a helper and wait for it.
const QByteArray kStandIn =
    "#!/bin/sh\n"
    "dir=$(dirname \"$0\")\n"
    "{ for argument in \"$@\"; do printf '%s\\037' \"$argument\"; done; printf '\\n'; }"
    " >> \"$dir/calls.log\"\n"
    "answer=\"$dir/answers/$1\"\n"
    "if [ -f \"$answer.hang\" ]; then\n"
    "    sleep 600 &\n"
    "    echo $! > \"$dir/helper.pid\"\n"
    "    wait\n"
    "fi\n"
    "[ -f \"$answer\" ] && cat \"$answer\"\n"
    "[ -f \"$answer.exit\" ] || answer=\"$dir/answers/default\"\n"
    "[ -f \"$answer.exit\" ] && exit \"$(cat \"$answer.exit\")\"\n"
    "exit 0\n";

const QStringList kOperations = {
    "available", "exists", "start",  "stop",     "pause", "resume", "shutDown",
    "state",     "auto",   "manual", "disabled", "other", "list",   "start with arguments"};

// A stand-in systemctl in a folder of its own.
class StandIn
{
public:
    StandIn()
    {
        QFile script(m_folder.filePath("systemctl"));
        m_ready = m_folder.isValid() && QDir(m_folder.path()).mkpath("answers") &&
                  script.open(QIODevice::WriteOnly) && script.write(kStandIn) == kStandIn.size() &&
                  script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    bool ready() const { return m_ready; }
    SystemdServiceControl control(std::chrono::milliseconds timeLimit = std::chrono::seconds(10))
    {
        SystemdServiceControlOptions options;
        options.systemctl = m_folder.filePath("systemctl").toStdString();
        options.timeLimit = timeLimit;
        return SystemdServiceControl(options);
    }
    bool answer(const QString &name, const QByteArray &contents)
    {
        QFile file(m_folder.filePath("answers/" + name));
        return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
    }
    Calls calls() const
    {
        QFile log(m_folder.filePath("calls.log"));
        Calls calls;
        if (!log.open(QIODevice::ReadOnly))
            return calls;
        for (const QByteArray &line : log.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            QStringList arguments = QString::fromUtf8(line).split(u'\037');
            arguments.removeLast(); // after the last separator
            calls << arguments;
        }
        return calls;
    }
    QString path(const QString &name) const { return m_folder.filePath(name); }

private:
    QTemporaryDir m_folder;
    bool m_ready = false;
};

// Runs one operation by name; whether it reported success (a known state, a non-empty
// list).
bool perform(SystemdServiceControl &control, const QString &operation, const QString &service)
{
    const std::u16string name = service.toStdU16String();
    if (operation == "available")
        return control.available();
    if (operation == "exists")
        return control.exists(name);
    if (operation == "start")
        return control.start(name, {});
    if (operation == "start with arguments")
        return control.start(name, {u"--verbose"});
    if (operation == "stop")
        return control.stop(name);
    if (operation == "pause")
        return control.pause(name);
    if (operation == "resume")
        return control.resume(name);
    if (operation == "shutDown")
        return control.shutDown(name);
    if (operation == "state")
        return control.state(name) != ServiceState::Unknown;
    if (operation == "auto")
        return control.setStartType(name, ServiceStartType::Auto);
    if (operation == "manual")
        return control.setStartType(name, ServiceStartType::Manual);
    if (operation == "disabled")
        return control.setStartType(name, ServiceStartType::Disabled);
    if (operation == "other")
        return control.setStartType(name, ServiceStartType::Other);
    if (operation == "list")
        return !control.list().empty();
    qFatal("unknown operation %s", qPrintable(operation));
}

QString describe(const ServiceInfo &info)
{
    return QStringList{QString::fromStdU16String(info.name),
                       QString::fromStdU16String(info.displayName),
                       QString::number(static_cast<int>(info.state)),
                       QString::number(static_cast<int>(info.startType)),
                       QString::fromStdU16String(info.executable)}
        .join(u'|');
}

} // namespace

class TestSystemdServiceControl : public QObject
{
    Q_OBJECT

private slots:
    void operationsRunSystemctl_data();
    void operationsRunSystemctl();
    void failingSystemctlFailsEveryOperation();
    void availableNeedsAVersion_data();
    void availableNeedsAVersion();
    void stateAndExistenceFollowShow_data();
    void stateAndExistenceFollowShow();
    void startTypesFollowUnitFiles_data();
    void startTypesFollowUnitFiles();
    void listJoinsUnitsFilesAndPrograms();
    void unsafeNamesNeverReachSystemctl_data();
    void unsafeNamesNeverReachSystemctl();
    void hangingSystemctlIsKilled();
    void missingSystemctlFailsQuietly();
};

void TestSystemdServiceControl::operationsRunSystemctl_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("service");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<Calls>("expected");

    const QString ask = "--no-ask-password";
    QTest::newRow("start") << "start"
                           << "vpnd" << true << Calls{{"start", ask, "vpnd.service"}};
    QTest::newRow("start with arguments") << "start with arguments"
                                          << "vpnd" << false << Calls{};
    QTest::newRow("stop") << "stop"
                          << "vpnd" << true << Calls{{"stop", ask, "vpnd.service"}};
    QTest::newRow("shutDown") << "shutDown"
                              << "vpnd" << true << Calls{{"stop", ask, "vpnd.service"}};
    QTest::newRow("pause") << "pause"
                           << "vpnd" << true
                           << Calls{{"kill", "--signal=SIGSTOP", ask, "vpnd.service"}};
    QTest::newRow("resume") << "resume"
                            << "vpnd" << true
                            << Calls{{"kill", "--signal=SIGCONT", ask, "vpnd.service"}};
    QTest::newRow("auto") << "auto"
                          << "vpnd" << true
                          << Calls{{"unmask", ask, "vpnd.service"},
                                   {"enable", ask, "vpnd.service"}};
    QTest::newRow("manual") << "manual"
                            << "vpnd" << true
                            << Calls{{"unmask", ask, "vpnd.service"},
                                     {"disable", ask, "vpnd.service"}};
    QTest::newRow("disabled") << "disabled"
                              << "vpnd" << true << Calls{{"mask", ask, "vpnd.service"}};
    QTest::newRow("other") << "other"
                           << "vpnd" << false << Calls{};
    QTest::newRow("exists") << "exists"
                            << "vpnd" << false
                            << Calls{{"show", "-p", "LoadState", "vpnd.service"}};
    QTest::newRow("state") << "state"
                           << "vpnd" << false
                           << Calls{{"show", "-p", "LoadState,ActiveState", "vpnd.service"}};
    QTest::newRow("available") << "available"
                               << "" << false << Calls{{"show", "--property=Version", "--value"}};
    QTest::newRow("unit type kept") << "stop"
                                    << "cups.socket" << true << Calls{{"stop", ask, "cups.socket"}};
    QTest::newRow("instance") << "start"
                              << "getty@tty1" << true
                              << Calls{{"start", ask, "getty@tty1.service"}};
    QTest::newRow("escaped name") << "stop"
                                  << "dev-disk\\x2dname:1_a" << true
                                  << Calls{{"stop", ask, "dev-disk\\x2dname:1_a.service"}};
    QTest::newRow("dotted name") << "stop"
                                 << "org.example.vpn" << true
                                 << Calls{{"stop", ask, "org.example.vpn.service"}};
}

void TestSystemdServiceControl::operationsRunSystemctl()
{
    QFETCH(QString, operation);
    QFETCH(QString, service);
    QFETCH(bool, succeeds);
    QFETCH(Calls, expected);

    StandIn standIn;
    QVERIFY(standIn.ready());
    SystemdServiceControl control = standIn.control();
    QCOMPARE(perform(control, operation, service), succeeds);
    QCOMPARE(standIn.calls(), expected);
}

void TestSystemdServiceControl::failingSystemctlFailsEveryOperation()
{
    StandIn standIn;
    QVERIFY(standIn.ready());
    // Answers that would count as success, were it not for the exit code.
    QVERIFY(standIn.answer("show", "LoadState=loaded\nActiveState=active\n"));
    QVERIFY(standIn.answer("list-units", "a.service loaded active running A\n"));
    QVERIFY(standIn.answer("default.exit", "1"));
    SystemdServiceControl control = standIn.control();
    for (const QString &operation : kOperations)
        QVERIFY2(!perform(control, operation, "vpnd"), qPrintable(operation));
    QVERIFY(!standIn.calls().isEmpty());
}

void TestSystemdServiceControl::availableNeedsAVersion_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArray>("exitCode");
    QTest::addColumn<bool>("expected");

    QTest::newRow("version") << QByteArray("255.4-1ubuntu8\n") << QByteArray("0") << true;
    QTest::newRow("no version") << QByteArray("\n") << QByteArray("0") << false;
    QTest::newRow("not booted with systemd")
        << QByteArray("System has not been booted with systemd as init system (PID 1).\n")
        << QByteArray("1") << false;
}

void TestSystemdServiceControl::availableNeedsAVersion()
{
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, exitCode);
    QFETCH(bool, expected);

    StandIn standIn;
    QVERIFY(standIn.ready());
    QVERIFY(standIn.answer("show", output));
    QVERIFY(standIn.answer("show.exit", exitCode));
    QCOMPARE(standIn.control().available(), expected);
}

void TestSystemdServiceControl::stateAndExistenceFollowShow_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<ServiceState>("state");
    QTest::addColumn<bool>("exists");

    const auto row = [](const char *name, const QByteArray &loadState,
                        const QByteArray &activeState, ServiceState state, bool exists) {
        QTest::newRow(name) << "LoadState=" + loadState + "\nActiveState=" + activeState + "\n"
                            << state << exists;
    };
    row("active", "loaded", "active", ServiceState::Running, true);
    row("reloading", "loaded", "reloading", ServiceState::Running, true);
    row("inactive", "loaded", "inactive", ServiceState::Stopped, true);
    row("failed", "loaded", "failed", ServiceState::Stopped, true);
    row("activating", "loaded", "activating", ServiceState::StartPending, true);
    row("deactivating", "loaded", "deactivating", ServiceState::StopPending, true);
    row("masked", "masked", "inactive", ServiceState::Stopped, true);
    row("unheard of", "loaded", "maintenance", ServiceState::Unknown, true);
    row("not found", "not-found", "inactive", ServiceState::Unknown, false);
    QTest::newRow("no answer") << QByteArray() << ServiceState::Unknown << false;
}

void TestSystemdServiceControl::stateAndExistenceFollowShow()
{
    QFETCH(QByteArray, output);
    QFETCH(ServiceState, state);
    QFETCH(bool, exists);

    StandIn standIn;
    QVERIFY(standIn.ready());
    QVERIFY(standIn.answer("show", output));
    SystemdServiceControl control = standIn.control();
    QCOMPARE(control.state(u"vpnd"), state);
    QCOMPARE(control.exists(u"vpnd"), exists);
}

void TestSystemdServiceControl::startTypesFollowUnitFiles_data()
{
    QTest::addColumn<QByteArray>("fileState");
    QTest::addColumn<ServiceStartType>("expected");

    QTest::newRow("enabled") << QByteArray("enabled") << ServiceStartType::Auto;
    QTest::newRow("enabled-runtime") << QByteArray("enabled-runtime") << ServiceStartType::Auto;
    QTest::newRow("disabled") << QByteArray("disabled") << ServiceStartType::Manual;
    QTest::newRow("static") << QByteArray("static") << ServiceStartType::Manual;
    QTest::newRow("indirect") << QByteArray("indirect") << ServiceStartType::Manual;
    QTest::newRow("masked") << QByteArray("masked") << ServiceStartType::Disabled;
    QTest::newRow("generated") << QByteArray("generated") << ServiceStartType::Other;
    QTest::newRow("transient") << QByteArray("transient") << ServiceStartType::Other;
}

void TestSystemdServiceControl::startTypesFollowUnitFiles()
{
    QFETCH(QByteArray, fileState);
    QFETCH(ServiceStartType, expected);

    StandIn standIn;
    QVERIFY(standIn.ready());
    QVERIFY(standIn.answer("list-units", "vpnd.service loaded active running VPN daemon\n"));
    QVERIFY(standIn.answer("list-unit-files", "vpnd.service " + fileState + " enabled\n"));
    const std::vector<ServiceInfo> services = standIn.control().list();
    QCOMPARE(services.size(), 1U);
    QCOMPARE(services.front().startType, expected);
}

void TestSystemdServiceControl::listJoinsUnitsFilesAndPrograms()
{
    StandIn standIn;
    QVERIFY(standIn.ready());
    QVERIFY(standIn.answer(
        "list-units",
        "ssh.service                loaded    active     running OpenBSD Secure Shell server\n"
        "\xe2\x97\x8f broken.service          loaded    failed     failed  Broken   thing\n"
        "cron.service loaded activating start Regular background program processing daemon\n"
        "ghost.service              not-found inactive   dead    ghost.service\n"
        "getty@tty1.service         loaded    active     running Getty on tty1\n"
        "quiet.service              loaded    inactive   dead\n"
        "home.mount                 loaded    active     mounted /home\n"));
    QVERIFY(standIn.answer("list-unit-files", "ssh.service      enabled  enabled\n"
                                              "cron.service     masked   enabled\n"
                                              "getty@.service   enabled  enabled\n"
                                              "sshd.service     alias    -\n"
                                              "idle.service     disabled enabled\n"));
    QVERIFY(standIn.answer(
        "show", "Id=ssh.service\n"
                "ExecStart={ path=/usr/sbin/sshd ; argv[]=/usr/sbin/sshd -D $SSHD_OPTS ; "
                "ignore_errors=no ; start_time=[n/a] ; stop_time=[n/a] ; pid=0 ; code=(null) ; "
                "status=0/0 }\n"
                "\n"
                "Id=cron.service\n"
                "ExecStart={ path=/usr/sbin/cron ; argv[]=/usr/sbin/cron -f ; ignore_errors=no } "
                "{ path=/bin/true ; argv[]=/bin/true ; ignore_errors=no }\n"
                "\n"
                "Id=idle.service\n"
                "ExecStart=\n"));

    QStringList described;
    for (const ServiceInfo &info : standIn.control().list())
        described << describe(info);
    const auto row = [](const QString &name, const QString &display, ServiceState state,
                        ServiceStartType type, const QString &program) {
        return describe({name.toStdU16String(), display.toStdU16String(), state, type,
                         program.toStdU16String()});
    };
    const QStringList expected = {
        row("ssh.service", "OpenBSD Secure Shell server", ServiceState::Running,
            ServiceStartType::Auto, "/usr/sbin/sshd"),
        row("broken.service", "Broken   thing", ServiceState::Stopped, ServiceStartType::Other, ""),
        row("cron.service", "Regular background program processing daemon",
            ServiceState::StartPending, ServiceStartType::Disabled, "/usr/sbin/cron"),
        row("getty@tty1.service", "Getty on tty1", ServiceState::Running, ServiceStartType::Other,
            ""),
        row("quiet.service", "quiet.service", ServiceState::Stopped, ServiceStartType::Other, ""),
        row("idle.service", "idle.service", ServiceState::Stopped, ServiceStartType::Manual, ""),
    };
    QCOMPARE(described, expected);

    const Calls calls = standIn.calls();
    QCOMPARE(calls.size(), 3);
    QCOMPARE(calls[0], QStringList({"list-units", "--type=service", "--all", "--no-legend",
                                    "--plain", "--no-pager"}));
    QCOMPARE(calls[1],
             QStringList({"list-unit-files", "--type=service", "--no-legend", "--no-pager"}));
    QCOMPARE(calls[2],
             QStringList({"show", "-p", "Id,ExecStart", "ssh.service", "broken.service",
                          "cron.service", "getty@tty1.service", "quiet.service", "idle.service"}));
}

void TestSystemdServiceControl::unsafeNamesNeverReachSystemctl_data()
{
    QTest::addColumn<QString>("service");

    QTest::newRow("option") << "--now";
    QTest::newRow("short option") << "-f";
    QTest::newRow("blank") << "a b";
    QTest::newRow("command separator") << "x;rm";
    QTest::newRow("substitution") << "$(id)";
    QTest::newRow("path") << "../etc/passwd";
    QTest::newRow("line break") << "a\nb";
    QTest::newRow("non-ASCII") << QStringLiteral("vpn\u00e9");
    QTest::newRow("empty") << "";
    QTest::newRow("too long") << QString(300, u'a');
}

void TestSystemdServiceControl::unsafeNamesNeverReachSystemctl()
{
    QFETCH(QString, service);

    StandIn standIn;
    QVERIFY(standIn.ready());
    QVERIFY(standIn.answer("show", "LoadState=loaded\nActiveState=active\n"));
    SystemdServiceControl control = standIn.control();
    for (const QString &operation : kOperations) {
        if (operation == "available" || operation == "list")
            continue;
        QVERIFY2(!perform(control, operation, service), qPrintable(operation));
    }
    QCOMPARE(standIn.calls(), Calls{});
}

void TestSystemdServiceControl::hangingSystemctlIsKilled()
{
    StandIn standIn;
    QVERIFY(standIn.ready());
    QVERIFY(standIn.answer("stop.hang", ""));
    SystemdServiceControl control = standIn.control(std::chrono::seconds(1));
    // Waiting for the helper instead would outlast the test's own time limit.
    QVERIFY(!control.stop(u"vpnd"));

    QFile pidFile(standIn.path("helper.pid"));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    bool parsed = false;
    const int helper = pidFile.readAll().trimmed().toInt(&parsed);
    QVERIFY(parsed);
    // Gone, or dead and waiting only to be reaped by whoever inherited it.
    const auto ended = [helper] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(helper));
        if (!stat.open(QIODevice::ReadOnly))
            return true;
        const QByteArray fields = stat.readAll();
        return fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
    };
    QTRY_VERIFY(ended());
}

void TestSystemdServiceControl::missingSystemctlFailsQuietly()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    SystemdServiceControlOptions options;
    options.systemctl = folder.filePath("systemctl").toStdString();
    SystemdServiceControl control(options);
    for (const QString &operation : kOperations)
        QVERIFY2(!perform(control, operation, "vpnd"), qPrintable(operation));
}

QTEST_GUILESS_MAIN(TestSystemdServiceControl)
#include "tst_systemdservicecontrol.moc"
