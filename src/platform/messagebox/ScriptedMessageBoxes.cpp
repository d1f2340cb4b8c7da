#include "platform/messagebox/ScriptedMessageBoxes.h"

#include <QStringList>

namespace platform {

BoxAnswer ScriptedMessageBoxes::show(QWidget *, BoxIcon icon, const QString &caption,
                                     const QString &text, BoxButtons buttons)
{
    m_shown.append({icon, caption, text, buttons});
    if (buttons == BoxButtons::Ok)
        return BoxAnswer::Ok;
    return m_answers.isEmpty() ? BoxAnswer::No : m_answers.dequeue();
}

QStringList ScriptedMessageBoxes::texts() const
{
    QStringList result;
    for (const Shown &box : m_shown)
        result.append(box.text);
    return result;
}

void ScriptedMessageBoxes::clear()
{
    m_shown.clear();
    m_answers.clear();
}

} // namespace platform
