#include "account/TForm4.h"

#include <QLineEdit>

namespace account {

namespace {

constexpr int RowTop = 14;
constexpr int RowPitch = 30;
constexpr int RowHeight = 22;

QRect labelRow(int row)
{
    return QRect(10, RowTop + row * RowPitch, 70, RowHeight);
}

QRect boxRow(int row)
{
    return QRect(84, RowTop + row * RowPitch, 158, RowHeight);
}

} // namespace

TForm4::TForm4() : AccountForm(QStringLiteral("修改密码"), QSize(257, 181), {})
{
    setObjectName(QStringLiteral("Form4"));
    UserID = addBox(QStringLiteral("UserID"), QStringLiteral("用户名:"), labelRow(0), boxRow(0));
    Upassword = addBox(QStringLiteral("Upassword"), QStringLiteral("旧密码:"), labelRow(1),
                       boxRow(1), true);
    Upassword1 = addBox(QStringLiteral("Upassword1"), QStringLiteral("新密码:"), labelRow(2),
                        boxRow(2), true);
    Upassword2 = addBox(QStringLiteral("Upassword2"), QStringLiteral("确认密码:"), labelRow(3),
                        boxRow(3), true);
    addButtons(QStringLiteral("修  改"), QRect(42, 142, 78, 28), QRect(138, 142, 78, 28));
}

bool TForm4::inputAccepted()
{
    if (!userNameAccepted(UserID))
        return false;
    if (trimmedText(Upassword).isEmpty())
        return refuse(Upassword, QStringLiteral("旧密码不能为空"));
    if (trimmedText(Upassword1).size() < MinimumPasswordLength)
        return refuse(Upassword1, QStringLiteral("新密码至少6位"));
    if (trimmedText(Upassword2).isEmpty())
        return refuse(Upassword2, QStringLiteral("确认密码不能为空"));
    if (Upassword1->text() != Upassword2->text())
        return refuse(Upassword1, QStringLiteral("输入的二次密码不一致"));
    return true;
}

BackendExchange TForm4::exchange() const
{
    return {QStringLiteral("mypass_save7193.php"),
            {UserID, Upassword, Upassword1, Upassword2},
            {{QStringLiteral("ok"), QStringLiteral("修改成功")},
             {QStringLiteral("1"), QStringLiteral("用户名或密码不对，请核对后再试")}},
            QStringLiteral("修改失败，请稍后再试"),
            QStringLiteral("可能是网络连接问题导致修改失败，请稍后再试")};
}

} // namespace account
