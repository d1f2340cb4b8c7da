#pragma once

#include "support/NetworkNamespace.h"
#include "support/TunEchoResponder.h"

#include <memory>
#include <string>

namespace testsupport {

// The usual echo hosts of a test case that has entered its namespace: loopback up and a
// responder on device "echo0" answering for 10.77.0.0/24, reached from 10.77.1.1. Answers
// the responder (it reports ok() false where TUN is missing), or null with why the
// routing could not be set up.
inline std::unique_ptr<TunEchoResponder> startEchoHosts(std::string *whyNot)
{
    if (runIp({"link", "set", "lo", "up"}).exitCode != 0) {
        *whyNot = "loopback cannot be brought up";
        return nullptr;
    }
    auto responder = std::make_unique<TunEchoResponder>("echo0");
    if (responder->ok()) {
        *whyNot = routeIntoDevice("echo0", "10.77.1.1", "10.77.0.0", 24);
        if (!whyNot->empty())
            return nullptr;
    }
    return responder;
}

} // namespace testsupport

// Skips a test that needs hosts behind the test case's echo responder (m_responder) where
// the case could not enter its network namespace or the responder could not start.
#define REQUIRE_ECHO_HOSTS()                                                                       \
    REQUIRE_NAMESPACE();                                                                           \
    if (!m_responder->ok())                                                                        \
    QSKIP(m_responder->error().c_str())
