#pragma once

#include "support/TunEchoResponder.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <string>

namespace bench {

struct CommandResult
{
    int exitCode = -1; // -1 when the command did not finish
    QString output;
};

// Two network namespaces joined by a veth pair. The process moves into the source one,
// where the probes start; the target one holds the hosts they go to:
//   10.201.1.0/24 and 10.202.0.0/16  answered by the kernel at once,
//   10.201.2.0/24                    dropped by an nftables rule (dead hosts),
//   10.201.3.0/24                    routed into a TUN echo responder (startResponder()).
// The target namespace lives only as long as the descriptor held here and the source one
// only as long as the process, so both vanish with everything in them however the
// process ends.
class Topology
{
public:
    // Creates both namespaces; call it first in main, while the process has one thread,
    // so that every thread started later works in the source namespace.
    bool enterNamespaces(QString *whyNot);
    // Sets up links, addresses, routes and the drop rule; needs enterNamespaces().
    bool build(QString *whyNot);
    ~Topology();

    CommandResult runHere(const QString &program, const QStringList &arguments) const;
    CommandResult runInTarget(const QString &program, const QStringList &arguments) const;
    // An echo responder on a TUN device in the target namespace with 10.201.3.0/24 routed
    // into it; its delays are set per host. Nothing, with the reason, when it cannot start.
    std::unique_ptr<testsupport::TunEchoResponder> startResponder(QString *whyNot) const;
    // Points this thread at the target namespace until leaveTarget(); what it creates
    // meanwhile (a TUN device, say) is made there.
    bool enterTarget() const;
    bool leaveTarget() const;

    static std::string kernelHost(int index); // index 0..253
    static std::string bulkHost(int index);   // index 0..63999, also kernel-answered
    static std::string deadHost(int index);   // index 0..253
    static std::string echoHost(int index);   // behind the responder, index 0..253

private:
    bool runAll(const QList<QStringList> &commands, bool inTarget, QString *whyNot) const;

    int m_sourceFd = -1;
    int m_targetFd = -1;
};

} // namespace bench
