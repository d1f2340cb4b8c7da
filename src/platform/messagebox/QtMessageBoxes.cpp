#include "platform/messagebox/QtMessageBoxes.h"

#include <QMessageBox>

namespace platform {

namespace {

QMessageBox::Icon toQt(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Information:
        return QMessageBox::Information;
    case BoxIcon::Warning:
        return QMessageBox::Warning;
    case BoxIcon::Question:
        return QMessageBox::Question;
    case BoxIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

BoxAnswer QtMessageBoxes::show(QWidget *parent, BoxIcon icon, const QString &caption,
                               const QString &text, BoxButtons buttons)
{
    QMessageBox box(toQt(icon), caption, text,
                    buttons == BoxButtons::YesNo ? QMessageBox::Yes | QMessageBox::No
                                                 : QMessageBox::Ok,
                    parent);
    // Texts may carry back-end replies; markup in them is shown, not rendered.
    box.setTextFormat(Qt::PlainText);
    const int answer = box.exec();
    if (buttons == BoxButtons::Ok)
        return BoxAnswer::Ok;
    return answer == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
}

} // namespace platform
