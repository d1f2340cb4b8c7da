#include "icmp/Topology.h"

#include <QProcess>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace bench {

namespace {

const QString Ip = QStringLiteral("/usr/sbin/ip");
const QString Nft = QStringLiteral("/usr/sbin/nft");
const QString Sysctl = QStringLiteral("/usr/sbin/sysctl");

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

CommandResult run(const QString &program, const QStringList &arguments, int namespaceFd)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (namespaceFd >= 0) {
        // Runs in the child between fork and exec; a child that cannot switch must not
        // go on to change the namespace it was born in.
        process.setChildProcessModifier([namespaceFd] {
            if (::setns(namespaceFd, CLONE_NEWNET) != 0)
                ::_exit(127);
        });
    }
    process.start(program, arguments);
    if (!process.waitForFinished(30000))
        return {-1, program + QStringLiteral(": ") + process.errorString()};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

} // namespace

bool Topology::enterNamespaces(QString *whyNot)
{
    if (::unshare(CLONE_NEWNET) != 0) {
        *whyNot = systemError("cannot create a network namespace (run as root)");
        return false;
    }
    m_sourceFd = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (m_sourceFd < 0 || ::unshare(CLONE_NEWNET) != 0) {
        *whyNot = systemError("cannot create the target network namespace");
        return false;
    }
    m_targetFd = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (m_targetFd < 0 || !leaveTarget()) {
        *whyNot = systemError("cannot return to the source network namespace");
        return false;
    }
    return true;
}

Topology::~Topology()
{
    if (m_targetFd >= 0)
        ::close(m_targetFd);
    if (m_sourceFd >= 0)
        ::close(m_sourceFd);
}

bool Topology::build(QString *whyNot)
{
    const QString sourcePid = QString::number(::getpid());
    const QList<QStringList> target = {
        {"link", "set", "lo", "up"},
        {"link", "add", "vbdst", "type", "veth", "peer", "name", "vbsrc", "netns", sourcePid},
        {"addr", "add", "10.200.0.2/30", "dev", "vbdst"},
        {"link", "set", "vbdst", "up"},
        {"route", "add", "local", "10.201.1.0/24", "dev", "lo"},
        {"route", "add", "local", "10.201.2.0/24", "dev", "lo"},
        {"route", "add", "local", "10.202.0.0/16", "dev", "lo"},
    };
    const QList<QStringList> source = {
        {"link", "set", "lo", "up"},
        {"addr", "add", "10.200.0.1/30", "dev", "vbsrc"},
        {"link", "set", "vbsrc", "up"},
        {"route", "add", "10.201.0.0/16", "via", "10.200.0.2"},
        {"route", "add", "10.202.0.0/16", "via", "10.200.0.2"},
    };
    // The kernel would answer 10.201.2.0/24 like the other local ranges; the rule makes
    // those hosts dead. Forwarding carries echoes on to devices added later.
    const QList<QStringList> filter = {
        {"add", "table", "ip", "bench"},
        {"add", "chain", "ip", "bench", "input",
         "{ type filter hook input priority 0 ; policy accept ; }"},
        {"add", "rule", "ip", "bench", "input", "ip", "daddr", "10.201.2.0/24", "drop"},
    };
    if (!runAll(target, true, whyNot) || !runAll(source, false, whyNot))
        return false;
    for (const QStringList &command : filter) {
        const CommandResult result = runInTarget(Nft, command);
        if (result.exitCode != 0) {
            *whyNot = QStringLiteral("nft %1: %2").arg(command.join(u' '), result.output);
            return false;
        }
    }
    const CommandResult forwarding =
        runInTarget(Sysctl, {QStringLiteral("-qw"), QStringLiteral("net.ipv4.ip_forward=1")});
    if (forwarding.exitCode != 0) {
        *whyNot = QStringLiteral("cannot enable forwarding: ") + forwarding.output;
        return false;
    }
    return true;
}

bool Topology::runAll(const QList<QStringList> &commands, bool inTarget, QString *whyNot) const
{
    for (const QStringList &command : commands) {
        const CommandResult result = inTarget ? runInTarget(Ip, command) : runHere(Ip, command);
        if (result.exitCode != 0) {
            *whyNot = QStringLiteral("ip %1: %2").arg(command.join(u' '), result.output);
            return false;
        }
    }
    return true;
}

CommandResult Topology::runHere(const QString &program, const QStringList &arguments) const
{
    return run(program, arguments, -1);
}

CommandResult Topology::runInTarget(const QString &program, const QStringList &arguments) const
{
    return run(program, arguments, m_targetFd);
}

std::unique_ptr<testsupport::TunEchoResponder> Topology::startResponder(QString *whyNot) const
{
    const std::string device = "tbecho0";
    if (!enterTarget()) {
        *whyNot = systemError("cannot enter the target network namespace");
        return nullptr;
    }
    auto responder = std::make_unique<testsupport::TunEchoResponder>(device);
    const std::string failed =
        responder->ok() ? testsupport::routeIntoDevice(device, "10.201.4.1", "10.201.3.0", 24)
                        : responder->error();
    if (!leaveTarget())
        qFatal("cannot return to the source network namespace");
    if (!failed.empty()) {
        *whyNot = QString::fromStdString(failed);
        return nullptr;
    }
    return responder;
}

bool Topology::enterTarget() const
{
    return ::setns(m_targetFd, CLONE_NEWNET) == 0;
}

bool Topology::leaveTarget() const
{
    return ::setns(m_sourceFd, CLONE_NEWNET) == 0;
}

std::string Topology::kernelHost(int index)
{
    return "10.201.1." + std::to_string(1 + index);
}

std::string Topology::bulkHost(int index)
{
    return "10.202." + std::to_string(index / 250) + "." + std::to_string(1 + index % 250);
}

std::string Topology::deadHost(int index)
{
    return "10.201.2." + std::to_string(1 + index);
}

std::string Topology::echoHost(int index)
{
    return "10.201.3." + std::to_string(1 + index);
}

} // namespace bench
