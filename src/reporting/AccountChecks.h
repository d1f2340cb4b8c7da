#pragma once

#include "reporting/ForcedDisconnect.h"

#include <functional>

class QWidget;

namespace reporting {

// The periodic account-validity check while a link is up, and the reminder after a login
// that reported another client version. Failures are quiet.
class AccountChecks
{
public:
    // window is the parent of the message boxes; stopVersionTimer switches the window's
    // version-reminder timer off.
    AccountChecks(QWidget *window, DisconnectActions actions,
                  std::function<void()> stopVersionTimer);

    // Asks the back end whether the account may still be used: disconnects an expired
    // account or a used-up trial, and reminds of few days left, twice per connection at
    // most.
    void datecheckTimer();
    // Shows the update balloon on the first two ticks and stops its timer on the third.
    void vercheckTimer();

private:
    void remindOfDaysLeft(const QString &reply);

    QWidget *m_window;
    DisconnectActions m_actions;
    std::function<void()> m_stopVersionTimer;
};

} // namespace reporting
