#pragma once

#include <QString>
#include <QStringList>

namespace testsupport {

struct IpResult
{
    int exitCode = -1;
    QString output;
};

// Runs iproute2's ip with the arguments; exit code -1 when it did not finish.
IpResult runIp(const QStringList &arguments);

// Moves this test process into a network namespace of its own, which goes away with the
// process, so tests can change routes and send packets without touching the machine's
// network. False, with the reason, where that is not allowed (it needs root).
bool enterPrivateNetworkNamespace(QString *whyNot);

} // namespace testsupport

// Runs ip and fails the test when it does not succeed.
#define IP(...)                                                                                    \
    do {                                                                                           \
        const testsupport::IpResult result = testsupport::runIp(QStringList{__VA_ARGS__});         \
        QVERIFY2(result.exitCode == 0, qPrintable(result.output));                                 \
    } while (false)

// Skips a test that needs the namespace when the test case could not enter one.
#define REQUIRE_NAMESPACE()                                                                        \
    if (!m_namespaced)                                                                             \
    QSKIP(qPrintable(m_skipReason))
