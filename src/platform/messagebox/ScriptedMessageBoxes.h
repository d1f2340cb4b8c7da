#pragma once

#include "platform/messagebox/MessageBoxes.h"

#include <QList>
#include <QQueue>

namespace platform {

// Records every box instead of showing it and answers questions from a queue the test
// fills. A question with nothing queued is answered "No", so a forgotten answer never
// blocks and shows up as a recorded box.
class ScriptedMessageBoxes : public MessageBoxes
{
public:
    struct Shown
    {
        BoxIcon icon;
        QString caption;
        QString text;
        BoxButtons buttons;
    };

    BoxAnswer show(QWidget *parent, BoxIcon icon, const QString &caption, const QString &text,
                   BoxButtons buttons) override;

    void queueAnswer(BoxAnswer answer) { m_answers.enqueue(answer); }
    const QList<Shown> &shown() const { return m_shown; }
    QStringList texts() const;
    void clear();

private:
    QList<Shown> m_shown;
    QQueue<BoxAnswer> m_answers;
};

} // namespace platform
