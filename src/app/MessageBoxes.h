#pragma once

#include <QString>

class QWidget;

namespace app {

// The client's boxes, all captioned with the application title.
void ShowMessage(QWidget *parent, const QString &text); // plain: OK, no icon
void ShowWarning(QWidget *parent, const QString &text);
void ShowInformation(QWidget *parent, const QString &text);
bool AskYesNo(QWidget *parent, const QString &text); // question icon; true for "Yes"

} // namespace app
