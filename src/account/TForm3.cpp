#include "account/TForm3.h"

#include <QLineEdit>

namespace account {

namespace {

constexpr int RowTop = 14;
constexpr int RowPitch = 30;
constexpr int RowHeight = 22;
constexpr int CardNumberLength = 18;
constexpr int CardPasswordLength = 12;

QRect labelRow(int row)
{
    return QRect(10, RowTop + row * RowPitch, 70, RowHeight);
}

QRect boxRow(int row)
{
    return QRect(84, RowTop + row * RowPitch, 156, RowHeight);
}

} // namespace

TForm3::TForm3() : AccountForm(QStringLiteral("帐户充值"), QSize(254, 175), {})
{
    setObjectName(QStringLiteral("Form3"));
    UserID = addBox(QStringLiteral("UserID"), QStringLiteral("用户名:"), labelRow(0), boxRow(0));
    Upassword =
        addBox(QStringLiteral("Upassword"), QStringLiteral("密码:"), labelRow(1), boxRow(1), true);
    mycardid =
        addBox(QStringLiteral("mycardid"), QStringLiteral("充值卡号:"), labelRow(2), boxRow(2));
    mycardpass =
        addBox(QStringLiteral("mycardpass"), QStringLiteral("充值密码:"), labelRow(3), boxRow(3));
    addButtons(QStringLiteral("充  值"), QRect(40, 138, 78, 28), QRect(136, 138, 78, 28));
}

bool TForm3::inputAccepted()
{
    if (!userNameAccepted(UserID))
        return false;
    if (trimmedText(Upassword).isEmpty())
        return refuse(Upassword, QStringLiteral("密码不能为空"));
    // Cards are checked for length only; the back end knows what a valid card looks like.
    const QString cardNumber = trimmedText(mycardid);
    if (cardNumber.isEmpty())
        return refuse(mycardid, QStringLiteral("充值卡号不能为空"));
    if (cardNumber.size() < CardNumberLength)
        return refuse(mycardid, QStringLiteral("充值卡号格式不对"));
    const QString cardPassword = trimmedText(mycardpass);
    if (cardPassword.isEmpty())
        return refuse(mycardpass, QStringLiteral("充值卡密码不能为空"));
    if (cardPassword.size() < CardPasswordLength)
        return refuse(mycardpass, QStringLiteral("充值卡密码格式不对"));
    return true;
}

BackendExchange TForm3::exchange() const
{
    return {QStringLiteral("reckon_new_save7193.php"),
            {UserID, Upassword, mycardid, mycardpass},
            {{QStringLiteral("ok"), QStringLiteral("充值成功")},
             {QStringLiteral("1"), QStringLiteral("用户名或密码不对，请核对后再试")},
             {QStringLiteral("2"), QStringLiteral("充值卡号或密码不对，请核对后再试")},
             {QStringLiteral("3"), QStringLiteral("此充值卡已过期，请核对后再试")}},
            QStringLiteral("充值失败，请稍后再试"),
            QStringLiteral("可能是网络连接问题导致充值失败，请稍后再试")};
}

} // namespace account
