#include "app/MessageBoxes.h"

#include "app/AppInfo.h"
#include "app/Services.h"
#include "platform/messagebox/MessageBoxes.h"

namespace app {

using platform::BoxButtons;
using platform::BoxIcon;

void ShowMessage(QWidget *parent, const QString &text)
{
    services().boxes->show(parent, BoxIcon::None, ApplicationTitle, text, BoxButtons::Ok);
}

void ShowWarning(QWidget *parent, const QString &text)
{
    services().boxes->show(parent, BoxIcon::Warning, ApplicationTitle, text, BoxButtons::Ok);
}

void ShowInformation(QWidget *parent, const QString &text)
{
    services().boxes->show(parent, BoxIcon::Information, ApplicationTitle, text, BoxButtons::Ok);
}

bool AskYesNo(QWidget *parent, const QString &text)
{
    return services().boxes->show(parent, BoxIcon::Question, ApplicationTitle, text,
                                  BoxButtons::YesNo) == platform::BoxAnswer::Yes;
}

} // namespace app
