#pragma once

#include <QString>

namespace login {

// What a successful login hands to the main window.
class LoginTarget
{
public:
    virtual ~LoginTarget() = default;

    virtual void setUserLabel(const QString &text) = 0;
    virtual void setStatusLabel(const QString &text) = 0;
    virtual void setLocalIpLabel(const QString &text) = 0;
    // Starts the reminder that a newer client version exists.
    virtual void armVersionReminder() = 0;
};

} // namespace login
