#pragma once

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

class QLineEdit;
class QPushButton;
class QRect;
class QShowEvent;

namespace account {

// How one dialog talks to the back end: the script, the boxes whose trimmed texts are sent
// (each under its object name, in this order) and what the replies mean.
struct BackendExchange
{
    QString script;
    QList<QLineEdit *> fields;
    // Reply codes in the order they are compared, with their messages; "ok" closes the
    // dialog, every other reply leaves it open with its input.
    QList<QPair<QString, QString>> replies;
    QString otherReply;
    QString requestFailed;
};

// Common ground of the account dialogs: a fixed-size window with labelled boxes, an action
// button that checks the input and posts it to the first master node, and a cancel button.
// Every message is a warning box captioned with the application title.
class AccountForm : public QDialog
{
    Q_OBJECT
public:
    void sButton1Click();
    void sButton2Click();

protected:
    static constexpr int MinimumPasswordLength = 6;

    AccountForm(const QString &caption, const QSize &clientSize, Qt::WindowFlags extraFlags);

    // A box named name; its label caption sits in labelGeometry.
    QLineEdit *addBox(const QString &name, const QString &caption, const QRect &labelGeometry,
                      const QRect &boxGeometry, bool password = false);
    void addButtons(const QString &actionCaption, const QRect &actionGeometry,
                    const QRect &cancelGeometry);

    // Shows message, moves the focus to box and returns false, so that a rule check can
    // end with it.
    bool refuse(QLineEdit *box, const QString &message);
    // Non-empty and only ASCII letters and digits once trimmed.
    bool userNameAccepted(QLineEdit *box);
    static QString trimmedText(const QLineEdit *box);

    void showEvent(QShowEvent *event) override;

private:
    // Checks the rules in order; the first failing one has refused the input.
    virtual bool inputAccepted() = 0;
    virtual BackendExchange exchange() const = 0;

    void send();
};

} // namespace account
