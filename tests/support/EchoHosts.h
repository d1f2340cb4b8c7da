#pragma once

#include "support/NetworkNamespace.h"
#include "support/TunEchoResponder.h"

// Skips a test that needs hosts behind the test case's echo responder (m_responder) where
// the case could not enter its network namespace or the responder could not start.
#define REQUIRE_ECHO_HOSTS()                                                                       \
    REQUIRE_NAMESPACE();                                                                           \
    if (!m_responder->ok())                                                                        \
    QSKIP(m_responder->error().c_str())
