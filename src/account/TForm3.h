#pragma once

#include "account/AccountForm.h"

namespace account {

// Recharge of an account with a prepaid card.
class TForm3 : public AccountForm
{
    Q_OBJECT
public:
    TForm3();

private:
    bool inputAccepted() override;
    BackendExchange exchange() const override;

    QLineEdit *UserID = nullptr;
    QLineEdit *Upassword = nullptr;
    QLineEdit *mycardid = nullptr;
    QLineEdit *mycardpass = nullptr;
};

} // namespace account
