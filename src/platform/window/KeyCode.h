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

// The virtual-key code of a key given by its place on the keyboard, as a USB HID usage
// (the toolkit's scan codes): A..Z are 4..29, 1..9 are 30..38, 0 is 39, Space 44.
constexpr uint32_t VirtualKeyFromScancode(int32_t scancode) {
    if (scancode >= 4 && scancode <= 29) return static_cast<uint32_t>('A' + scancode - 4);
    if (scancode >= 30 && scancode <= 38) return static_cast<uint32_t>('1' + scancode - 30);
    if (scancode == 39) return '0';
    if (scancode == 44) return ' ';
    return 0;
}

// The virtual-key code of a key press: the character the key types where that is a
// Latin letter or digit; on a layout whose key types another character (Cyrillic,
// Greek, accented letters) the key of the same place on an English keyboard, as the
// desktop does. Keys without a character (the toolkit marks their codes with bit 30)
// have none.
constexpr uint32_t VirtualKey(int32_t keycode, int32_t scancode) {
    if (const uint32_t vk = VirtualKeyFromKeycode(keycode)) return vk;
    constexpr int32_t kNoCharacter = 1 << 30;
    if (keycode >= 128 && (keycode & kNoCharacter) == 0) return VirtualKeyFromScancode(scancode);
    return 0;
}

}  // namespace clavora
