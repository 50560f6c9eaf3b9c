// The device scale: how many device pixels one of the window's 800 x 520 logical pixels
// covers, the same across and down. Bitmaps are made at the scale in force when they
// are created; the platform sets it once, before the window's bitmaps exist.
#pragma once

#include <cstdint>

namespace clavora {

constexpr int kMaxDeviceScale = 3;

// Sets the scale new bitmaps are made at (clamped to 1..kMaxDeviceScale).
void SetDeviceScale(int scale);
int DeviceScale();

// Art resources may be drawn at a scale of their own: bytes at data were drawn at
// scale pixels per logical pixel. Bytes never noted are 1x art.
void NoteArtScale(const uint8_t* data, int scale);
int ArtScale(const uint8_t* data);
// Forgets every note: all bytes are 1x art again (for a program that reads art at
// another scale afterwards, as tests do).
void ForgetArtScales();

}  // namespace clavora
