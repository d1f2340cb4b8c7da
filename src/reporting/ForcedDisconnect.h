#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace reporting {

// What the main window does for the reporting timers when the back end ends the use of
// the account on this computer.
struct DisconnectActions
{
    std::function<void()> disconnect;
    std::function<void(const QString &)> setStatusLabel;
};

// Hangs up through the window, marks it disconnected and tells the user why.
void forceDisconnect(const DisconnectActions &actions, QWidget *window, const QString &message);

} // namespace reporting
