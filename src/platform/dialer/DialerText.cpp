#include "platform/dialer/DialerText.h"

#include "platform/dialer/Dialer.h"

namespace platform {

std::u16string dialerErrorText(std::uint32_t code)
{
    namespace E = DialerErrors;
    switch (code) {
    case 0:
        return u"The operation completed.";
    case E::AccessDenied:
        return u"Access denied: the phone book or the dialler cannot be used by this user.";
    case E::InvalidHandle:
        return u"The connection handle is not valid.";
    case E::InvalidParameter:
        return u"The VPN server address, user name or password is not acceptable.";
    case E::InvalidName:
        return u"The name cannot be used for a connection.";
    case E::EntryExists:
        return u"A connection of that name already exists.";
    case E::NoConnection:
        return u"The connection is not up.";
    case E::PortDisconnected:
        return u"The VPN tunnel could not be set up.";
    case E::CannotLoadPhonebook:
        return u"The phone book cannot be read.";
    case E::CannotFindEntry:
        return u"No connection of that name exists.";
    case E::RemoteDisconnected:
        return u"The VPN server closed the connection.";
    case E::DeviceNotAvailable:
        return u"The VPN device is missing or busy.";
    case E::NoAnswer:
        return u"The VPN server did not answer.";
    case E::AuthenticationFailure:
        return u"The user name or password was refused.";
    case E::NoPppProtocols:
        return u"The VPN server and this computer share no PPP protocols.";
    case E::RemoteNotResponding:
        return u"The VPN server does not respond.";
    case E::VpnServerUnreachable:
        return u"The VPN server cannot be reached.";
    case E::AuthenticationServerSilent:
        return u"The VPN server could not be authenticated.";
    default:
        return u"Error " + [code] {
            std::u16string digits;
            std::uint32_t rest = code;
            do {
                digits.insert(digits.begin(), static_cast<char16_t>(u'0' + rest % 10));
                rest /= 10;
            } while (rest != 0);
            return digits;
        }() + u".";
    }
}

std::u16string dialStateText(std::uint16_t state)
{
    namespace S = DialStates;
    switch (state) {
    case S::OpenPort:
        return u"Opening the port…";
    case S::PortOpened:
        return u"Port opened.";
    case S::ConnectDevice:
        return u"Connecting to the VPN server…";
    case S::DeviceConnected:
        return u"Connected to the VPN server.";
    case S::Authenticate:
        return u"Verifying the user name and password…";
    case S::Authenticated:
        return u"User name and password accepted.";
    case S::Connected:
        return u"Connected.";
    case S::Disconnected:
        return u"Disconnected.";
    default:
        return dialerErrorText(state);
    }
}

} // namespace platform
