#pragma once

#include "account/AccountForm.h"

namespace account {

// Change of an account's password.
class TForm4 : public AccountForm
{
    Q_OBJECT
public:
    TForm4();

private:
    bool inputAccepted() override;
    BackendExchange exchange() const override;

    QLineEdit *UserID = nullptr;
    QLineEdit *Upassword = nullptr;
    QLineEdit *Upassword1 = nullptr;
    QLineEdit *Upassword2 = nullptr;
};

} // namespace account
