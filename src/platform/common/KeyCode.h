// Keys of the computer keyboard as the window's handlers know them: virtual-key codes.
#pragma once

#include <cstdint>

namespace clavora {

// The virtual-key code of a key given by the character it types (the toolkit's key
// code, which is that character for letters, digits, Space, Return and Escape): letters
// of either case give their upper-case code 'A'..'Z', digits '0'..'9', Space 32, Return
// 13, Escape 27. Any other key gives 0.
constexpr uint32_t VirtualKeyFromKeycode(int32_t code) {
    if (code >= 'a' && code <= 'z') return static_cast<uint32_t>(code - 'a' + 'A');
    if (code >= 'A' && code <= 'Z') return static_cast<uint32_t>(code);
    if (code >= '0' && code <= '9') return static_cast<uint32_t>(code);
    if (code == ' ' || code == '\r' || code == 0x1B) return static_cast<uint32_t>(code);
    return 0;
}

}  // namespace clavora
