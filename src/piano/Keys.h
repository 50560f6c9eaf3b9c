// The 88-key model: key index 0..87 is A0..C8, key number = key index + 1,
// MIDI note = key number + 20.
#pragma once

#include <cstdint>

namespace clavora {

constexpr int kKeyCount = 88;
constexpr int16_t kBlackKey = 10;

// White-key outline 0..9 of each key, or 10 for a black key.
extern const int16_t g_nKeyShape[kKeyCount];
// Grand-staff step of each key (C2 0 .. D6 29), or -1 for a key with no place there.
extern const int16_t g_nStaffPos[kKeyCount];
// Offset of a black key from the white-key cell edge, by (key index - 3) mod 12.
extern const int16_t g_nBlackKeyOffset[12];

// The ten presets' program numbers.
extern const int16_t kPresetPrograms[10];

inline bool IsBlackKey(int key) { return g_nKeyShape[key] == kBlackKey; }

// Packs a short MIDI message: status in the lowest byte, then the two data bytes.
constexpr uint32_t PackShortMsg(uint32_t status, uint32_t data1, uint32_t data2) {
    return (status & 0xFF) | ((data1 & 0xFF) << 8) | ((data2 & 0xFF) << 16);
}

constexpr uint8_t kNoteVelocity = 0x70;

}  // namespace clavora
