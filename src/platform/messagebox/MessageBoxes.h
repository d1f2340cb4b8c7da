#pragma once

#include <QString>

class QWidget;

namespace platform {

enum class BoxIcon { None, Information, Warning, Question };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

// Modal message boxes. Every box the client shows goes through here, so tests can
// answer them without a modal loop.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;

    virtual BoxAnswer show(QWidget *parent, BoxIcon icon, const QString &caption,
                           const QString &text, BoxButtons buttons) = 0;
};

} // namespace platform
