#include "account/AccountDialogs.h"

#include "account/TForm2.h"
#include "account/TForm3.h"
#include "account/TForm4.h"

namespace account {

namespace {

template <typename Form> void showModally()
{
    Form form;
    form.exec();
}

} // namespace

void ShowRegistrationDialog()
{
    showModally<TForm2>();
}

void ShowRechargeDialog()
{
    showModally<TForm3>();
}

void ShowPasswordDialog()
{
    showModally<TForm4>();
}

} // namespace account
