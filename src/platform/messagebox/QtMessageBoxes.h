#pragma once

#include "platform/messagebox/MessageBoxes.h"

namespace platform {

class QtMessageBoxes : public MessageBoxes
{
public:
    BoxAnswer show(QWidget *parent, BoxIcon icon, const QString &caption, const QString &text,
                   BoxButtons buttons) override;
};

} // namespace platform
