#pragma once

#include <cstdint>

namespace platform {

// The dialer error code for the way a pppd process ended before its link came up, as
// waitpid() reports it. pppd's exit statuses map as follows:
//
//   status  pppd's meaning                               code
//   0       ended without error                          619 PortDisconnected
//   1       fatal error                                  619 PortDisconnected
//   2       error in the options                         619 PortDisconnected
//   3       not setuid root and not run by root          5   AccessDenied
//   4       no PPP support in the kernel                 633 DeviceNotAvailable
//   5       ended by SIGINT, SIGTERM or SIGHUP           619 PortDisconnected
//   6       serial port could not be locked              633 DeviceNotAvailable
//   7       serial port could not be opened              633 DeviceNotAvailable
//   8       connect script failed                        678 NoAnswer
//   9       pty command failed (the pptp client)         800 VpnServerUnreachable
//   10      PPP negotiation failed                       720 NoPppProtocols
//   11      the peer failed to authenticate itself       930 AuthenticationServerSilent
//   12      idle time limit reached                      629 RemoteDisconnected
//   13      connect time limit reached                   629 RemoteDisconnected
//   14      callback negotiated                          629 RemoteDisconnected
//   15      peer stopped answering echo requests         721 RemoteNotResponding
//   16      the link hung up                             629 RemoteDisconnected
//   17      loopback detected                            629 RemoteDisconnected
//   18      init script failed                           633 DeviceNotAvailable
//   19      we failed to authenticate ourselves          691 AuthenticationFailure
//   other, or killed by a signal                         619 PortDisconnected
std::uint32_t errorForPppdExit(int waitStatus);

} // namespace platform
