#pragma once

namespace account {

// Each opens a fresh account dialog modally and destroys it once it is closed.
void ShowRegistrationDialog();
void ShowRechargeDialog();
void ShowPasswordDialog();

} // namespace account
