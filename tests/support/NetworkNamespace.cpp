#include "support/NetworkNamespace.h"

#include <QProcess>

#include <cerrno>
#include <cstring>
#include <sched.h>

namespace testsupport {

IpResult runIp(const QStringList &arguments)
{
    QProcess ip;
    ip.setProcessChannelMode(QProcess::MergedChannels);
    ip.start(QStringLiteral("/usr/sbin/ip"), arguments);
    if (!ip.waitForFinished(30000))
        return {};
    return {ip.exitStatus() == QProcess::NormalExit ? ip.exitCode() : -1,
            QString::fromUtf8(ip.readAll())};
}

bool enterPrivateNetworkNamespace(QString *whyNot)
{
    if (::unshare(CLONE_NEWNET) == 0)
        return true;
    *whyNot = QStringLiteral("needs a network namespace of its own (run as root): %1")
                  .arg(QString::fromUtf8(std::strerror(errno)));
    return false;
}

} // namespace testsupport
