#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Short reasons for the error codes the dialers on this side produce, and the status
// texts for the dial states; both dialers answer errorText() and statusText() with them.
std::u16string dialerErrorText(std::uint32_t code);
std::u16string dialStateText(std::uint16_t state);

} // namespace platform
