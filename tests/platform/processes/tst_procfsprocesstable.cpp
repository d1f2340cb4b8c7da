#include "platform/dialer/ChildProcess.h"
#include "platform/processes/ProcFsProcessTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::ChildProcess;
using platform::ProcFsProcessTable;

namespace {

// Writes <root>/<relativePath>, creating its folders.
bool writeFile(const QString &root, const QString &relativePath, const QByteArray &contents)
{
    const QString path = root + u'/' + relativePath;
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// The bytes of a literal that holds NULs, without the one that ends it.
template <std::size_t N> QByteArray bytes(const char (&literal)[N])
{
    return QByteArray(literal, N - 1);
}

QStringList describe(const std::vector<platform::ProcessEntry> &processes)
{
    QStringList described;
    for (const platform::ProcessEntry &process : processes)
        described << QString::number(process.id) + u' ' +
                         QString::fromStdU16String(process.executable);
    return described;
}

// The first line the process prints, waiting at most five seconds for it.
QByteArray firstLine(ChildProcess &process)
{
    QByteArray line;
    char c = 0;
    pollfd watched{process.output(), POLLIN, 0};
    while (::poll(&watched, 1, 5000) > 0 && ::read(process.output(), &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

} // namespace

class TestProcFsProcessTable : public QObject
{
    Q_OBJECT

private slots:
    void snapshotListsProcessFoldersByNumber();
    void commandLineJoinsArguments_data();
    void commandLineJoinsArguments();
    void debugPrivilegeFollowsCapKill_data();
    void debugPrivilegeFollowsCapKill();
    void realTableShowsThisProcess();
    void terminateKillsAProcess();
};

void TestProcFsProcessTable::snapshotListsProcessFoldersByNumber()
{
    QTemporaryDir proc;
    QVERIFY(proc.isValid());
    const QString root = proc.path();
    QVERIFY(writeFile(root, "10/cmdline", bytes("bash\0")));
    QVERIFY(writeFile(root, "10/comm", "bash\n"));
    QVERIFY(writeFile(root, "2/cmdline", ""));
    QVERIFY(writeFile(root, "2/comm", "kthreadd\n"));
    QVERIFY(writeFile(root, "1/cmdline", bytes("/sbin/init\0splash\0")));
    QVERIFY(writeFile(root, "1/comm", "systemd\n"));
    QVERIFY(writeFile(root, "25/cmdline",
                      bytes("/opt/my app/gr\xc3\xb6\xc3\x9f"
                            "e\0-v\0")));
    QVERIFY(writeFile(root, "25/comm",
                      "gr\xc3\xb6\xc3\x9f"
                      "e\n"));
    // A program that names itself by a folder: the kernel's name stands in.
    QVERIFY(writeFile(root, "31/cmdline", bytes("/usr/lib/\0")));
    QVERIFY(writeFile(root, "31/comm", "worker\n"));
    // Ended while the table was read: its folder is empty.
    QVERIFY(QDir(root).mkpath("300"));
    QVERIFY(writeFile(root, "self/comm", "tester\n"));
    QVERIFY(writeFile(root, "12x/comm", "odd\n"));
    QVERIFY(writeFile(root, "99999999999/comm", "too big\n"));
    QVERIFY(writeFile(root, "7", "a file, not a process"));

    ProcFsProcessTable table(root.toStdString());
    const QStringList expected = {"1 init", "2 kthreadd", "10 bash",
                                  QStringLiteral("25 gr\u00f6\u00dfe"), "31 worker"};
    QCOMPARE(describe(table.snapshot()), expected);
}

void TestProcFsProcessTable::commandLineJoinsArguments_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("cmdline");
    QTest::addColumn<QString>("expected");

    QTest::newRow("arguments") << true << bytes("/usr/sbin/xl2tpd\0-D\0-c\0/tmp/x.conf\0")
                               << "/usr/sbin/xl2tpd -D -c /tmp/x.conf";
    QTest::newRow("no final NUL") << true << QByteArray("nginx: worker process")
                                  << "nginx: worker process";
    QTest::newRow("empty argument") << true << bytes("echo\0\0end\0") << "echo  end";
    QTest::newRow("UTF-8") << true << bytes("cat\0\xe2\x82\xac.txt\0")
                           << QStringLiteral("cat \u20ac.txt");
    QTest::newRow("kernel thread") << true << QByteArray() << QString();
    QTest::newRow("vanished") << false << QByteArray() << QString();
}

void TestProcFsProcessTable::commandLineJoinsArguments()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, cmdline);
    QFETCH(QString, expected);

    QTemporaryDir proc;
    QVERIFY(proc.isValid());
    QVERIFY(QDir(proc.path()).mkpath("4242"));
    if (present)
        QVERIFY(writeFile(proc.path(), "4242/cmdline", cmdline));

    ProcFsProcessTable table(proc.path().toStdString());
    QCOMPARE(QString::fromStdU16String(table.commandLine(4242)), expected);
}

void TestProcFsProcessTable::debugPrivilegeFollowsCapKill_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<bool>("expected");

    const QByteArray head = "Name:\ttester\nCapInh:\t0000000000000000\nCapPrm:\t0000003fffffffff\n";
    QTest::newRow("CAP_KILL alone") << head + "CapEff:\t0000000000000020\nCapBnd:\t0\n" << true;
    QTest::newRow("all but CAP_KILL") << head + "CapEff:\t0000003fffffffdf\nCapBnd:\t0\n" << false;
    QTest::newRow("none") << head + "CapEff:\t0000000000000000\n" << false;
    QTest::newRow("unreadable") << QByteArray() << (::geteuid() == 0);
}

void TestProcFsProcessTable::debugPrivilegeFollowsCapKill()
{
    QFETCH(QByteArray, status);
    QFETCH(bool, expected);

    QTemporaryDir proc;
    QVERIFY(proc.isValid());
    if (!status.isEmpty())
        QVERIFY(writeFile(proc.path(), "self/status", status));

    ProcFsProcessTable table(proc.path().toStdString());
    QCOMPARE(table.enableDebugPrivilege(), expected);
}

void TestProcFsProcessTable::realTableShowsThisProcess()
{
    ProcFsProcessTable table;
    const auto self = static_cast<std::uint32_t>(::getpid());
    QCOMPARE(QString::fromStdU16String(table.commandLine(self)),
             QCoreApplication::arguments().join(u' '));

    const std::vector<platform::ProcessEntry> processes = table.snapshot();
    QVERIFY(std::is_sorted(processes.begin(), processes.end(),
                           [](const auto &a, const auto &b) { return a.id < b.id; }));
    const auto found = std::find_if(processes.begin(), processes.end(),
                                    [self](const auto &process) { return process.id == self; });
    QVERIFY(found != processes.end());
    QCOMPARE(QString::fromStdU16String(found->executable),
             QFileInfo(QCoreApplication::arguments().constFirst()).fileName());
}

void TestProcFsProcessTable::terminateKillsAProcess()
{
    const QString shell = QStandardPaths::findExecutable("sh");
    QVERIFY(!shell.isEmpty());
    std::string error;
    // The shell tells its id and then becomes sleep under that same id.
    const std::unique_ptr<ChildProcess> child =
        ChildProcess::start(shell.toStdString(), {"-c", "echo $$; exec sleep 300"}, error);
    QVERIFY2(child, error.c_str());
    bool parsed = false;
    const std::uint32_t id = firstLine(*child).toUInt(&parsed);
    QVERIFY(parsed);

    ProcFsProcessTable table;
    QVERIFY(table.terminate(id));
    QTRY_VERIFY(child->hasEnded());
    const int status = child->reap();
    QVERIFY(WIFSIGNALED(status));
    QCOMPARE(WTERMSIG(status), SIGKILL);
    QVERIFY(!table.terminate(id));
}

QTEST_GUILESS_MAIN(TestProcFsProcessTable)
#include "tst_procfsprocesstable.moc"
