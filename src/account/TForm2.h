#pragma once

#include "account/AccountForm.h"

namespace account {

// Registration of a new account.
class TForm2 : public AccountForm
{
    Q_OBJECT
public:
    TForm2();

private:
    bool inputAccepted() override;
    BackendExchange exchange() const override;

    QLineEdit *UserID = nullptr;
    QLineEdit *Upassword = nullptr;
    QLineEdit *Upassword2 = nullptr;
    QLineEdit *User_Mobile = nullptr;
    QLineEdit *Email_Address = nullptr;
    QLineEdit *User_QQ = nullptr;
    QLineEdit *User_Address = nullptr;
    QLineEdit *User_True = nullptr;
};

} // namespace account
