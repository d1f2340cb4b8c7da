#include "account/AccountForm.h"

#include "app/MessageBoxes.h"
#include "app/Services.h"
#include "login/BackendRequests.h"
#include "util/TextRoutines.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <limits>

namespace account {

namespace {

const QString OkReply = QStringLiteral("ok");

bool isAsciiLetterOrDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9');
}

QPushButton *makeButton(const QString &name, const QString &caption, const QRect &geometry,
                        QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

} // namespace

AccountForm::AccountForm(const QString &caption, const QSize &clientSize,
                         Qt::WindowFlags extraFlags)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | extraFlags)
{
    setWindowTitle(caption);
    setFixedSize(clientSize);
}

QLineEdit *AccountForm::addBox(const QString &name, const QString &caption,
                               const QRect &labelGeometry, const QRect &boxGeometry, bool password)
{
    auto *label = new QLabel(caption, this);
    label->setGeometry(labelGeometry);
    auto *box = new QLineEdit(this);
    box->setObjectName(name);
    box->setGeometry(boxGeometry);
    // The boxes take texts of any length.
    box->setMaxLength(std::numeric_limits<int>::max());
    if (password)
        box->setEchoMode(QLineEdit::Password);
    label->setBuddy(box);
    return box;
}

void AccountForm::addButtons(const QString &actionCaption, const QRect &actionGeometry,
                             const QRect &cancelGeometry)
{
    QPushButton *action =
        makeButton(QStringLiteral("sButton1"), actionCaption, actionGeometry, this);
    QPushButton *cancel =
        makeButton(QStringLiteral("sButton2"), QStringLiteral("取  消"), cancelGeometry, this);
    connect(action, &QPushButton::clicked, this, &AccountForm::sButton1Click);
    connect(cancel, &QPushButton::clicked, this, &AccountForm::sButton2Click);
}

void AccountForm::sButton1Click()
{
    if (inputAccepted())
        send();
}

void AccountForm::sButton2Click()
{
    reject();
}

bool AccountForm::refuse(QLineEdit *box, const QString &message)
{
    app::ShowWarning(this, message);
    box->setFocus();
    return false;
}

bool AccountForm::userNameAccepted(QLineEdit *box)
{
    const QString name = trimmedText(box);
    if (name.isEmpty())
        return refuse(box, QStringLiteral("用户名不能为空"));
    if (!std::all_of(name.begin(), name.end(), isAsciiLetterOrDigit))
        return refuse(box, QStringLiteral("用户名只能为字母和数字或两者的组合"));
    return true;
}

QString AccountForm::trimmedText(const QLineEdit *box)
{
    return util::trimBlanks(box->text());
}

void AccountForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void AccountForm::send()
{
    const BackendExchange how = exchange();
    platform::FormFields fields;
    for (const QLineEdit *box : how.fields)
        fields.append({box->objectName(), trimmedText(box)});

    // Account requests always go to the first master node, whichever node the login chose.
    const std::optional<QString> reply =
        login::postForm(app::services().config.master1, how.script, fields);
    QCoreApplication::processEvents();
    if (!reply) {
        app::ShowWarning(this, how.requestFailed);
        return;
    }

    const auto known = std::find_if(how.replies.begin(), how.replies.end(),
                                    [&reply](const auto &entry) { return entry.first == *reply; });
    app::ShowWarning(this, known == how.replies.end() ? how.otherReply : known->second);
    if (*reply == OkReply)
        accept();
}

} // namespace account
