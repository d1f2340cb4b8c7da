#include "account/TForm2.h"

#include <QLabel>
#include <QLineEdit>

namespace account {

namespace {

constexpr int RowTop = 14;
constexpr int RowPitch = 32;
constexpr int RowHeight = 22;

QRect labelRow(int row)
{
    return QRect(10, RowTop + row * RowPitch, 64, RowHeight);
}

QRect boxRow(int row)
{
    return QRect(78, RowTop + row * RowPitch, 155, RowHeight);
}

} // namespace

TForm2::TForm2()
    : AccountForm(QStringLiteral("帐户注册"), QSize(247, 319), Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("Form2"));
    UserID = addBox(QStringLiteral("UserID"), QStringLiteral("用户名:"), labelRow(0), boxRow(0));
    Upassword =
        addBox(QStringLiteral("Upassword"), QStringLiteral("密码:"), labelRow(1), boxRow(1), true);
    Upassword2 = addBox(QStringLiteral("Upassword2"), QStringLiteral("确认密码:"), labelRow(2),
                        boxRow(2), true);
    User_Mobile =
        addBox(QStringLiteral("User_Mobile"), QStringLiteral("电话:"), labelRow(3), boxRow(3));
    Email_Address =
        addBox(QStringLiteral("Email_Address"), QStringLiteral("邮箱:"), labelRow(4), boxRow(4));
    User_QQ = addBox(QStringLiteral("User_QQ"), QStringLiteral("QQ:"), labelRow(5), boxRow(5));
    User_Address =
        addBox(QStringLiteral("User_Address"), QStringLiteral("地址："), labelRow(6), boxRow(6));

    // The real-name box is still sent but no longer asked for: it lies beyond the right edge
    // and Tab skips it.
    User_True = addBox(QStringLiteral("User_True"), QStringLiteral("姓名:"),
                       QRect(300, RowTop, 40, RowHeight), QRect(344, RowTop, 155, RowHeight));
    User_True->setFocusPolicy(Qt::ClickFocus);

    auto *note =
        new QLabel(QStringLiteral("电话、邮箱、QQ、地址这四项联系信息至少要填写一项"), this);
    note->setWordWrap(true);
    note->setGeometry(10, RowTop + 7 * RowPitch - 6, 227, 40);

    addButtons(QStringLiteral("注  册"), QRect(36, 279, 78, 28), QRect(133, 279, 78, 28));
}

bool TForm2::inputAccepted()
{
    if (!userNameAccepted(UserID))
        return false;
    if (trimmedText(Upassword).size() < MinimumPasswordLength)
        return refuse(Upassword, QStringLiteral("密码至少6位"));
    if (trimmedText(Upassword2).isEmpty())
        return refuse(Upassword2, QStringLiteral("确认密码不能为空"));
    if (Upassword->text() != Upassword2->text())
        return refuse(Upassword, QStringLiteral("输入的二次密码不一致"));
    const bool contactGiven =
        !trimmedText(User_Mobile).isEmpty() || !trimmedText(Email_Address).isEmpty() ||
        !trimmedText(User_QQ).isEmpty() || !trimmedText(User_Address).isEmpty();
    if (!contactGiven)
        return refuse(Upassword, QStringLiteral("联系信息至少要填写一项"));
    return true;
}

BackendExchange TForm2::exchange() const
{
    return {QStringLiteral("user_self_new_save7193.php"),
            {UserID, Upassword, Upassword2, User_True, User_Mobile, Email_Address, User_QQ,
             User_Address},
            {{QStringLiteral("ok"), QStringLiteral("注册成功")},
             {QStringLiteral("1"), QStringLiteral("已经停止注册功能，请联系客服")},
             {QStringLiteral("2"), QStringLiteral("用户名已经存在，请重新输入用户名")}},
            QStringLiteral("注册失败，请再试"),
            QStringLiteral("可能是网络连接问题导致注册失败，请稍后再试")};
}

} // namespace account
