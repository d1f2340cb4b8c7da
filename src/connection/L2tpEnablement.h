#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

namespace connection {

// Waits the given milliseconds while the window keeps processing its events.
void PauseWithMessages(std::uint32_t milliseconds);

// Makes L2TP usable without restarting the computer: switches the remote-access
// service's IPsec requirement off and restarts the network services at once.
class L2tpEnablement
{
public:
    using Pause = std::function<void(std::uint32_t milliseconds)>;

    explicit L2tpEnablement(QWidget *window, Pause pause = PauseWithMessages);

    // Offered while connecting over L2TP, when the switch exists and is off.
    void OfferL2tpEnforcement();
    // The hidden menu command.
    void L2TPQ1Click();
    void EnforceL2tp();
    void SetProhibitIpSec();
    static QString ReadProcessCommandLine(std::uint32_t processId);

private:
    QWidget *m_window;
    Pause m_pause;
};

} // namespace connection
