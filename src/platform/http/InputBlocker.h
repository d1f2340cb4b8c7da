#pragma once

#include <QObject>

namespace platform {

// Swallows the user's clicks, keys and close requests while a request runs: queued
// instead, they would replay against the window once the handler that waited returned.
class InputBlocker : public QObject
{
public:
    InputBlocker();
    ~InputBlocker() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace platform
