#include "reporting/ForcedDisconnect.h"

#include "app/MessageBoxes.h"

namespace reporting {

void forceDisconnect(const DisconnectActions &actions, QWidget *window, const QString &message)
{
    actions.disconnect();
    actions.setStatusLabel(QStringLiteral("已经断开"));
    app::ShowMessage(window, message);
}

} // namespace reporting
