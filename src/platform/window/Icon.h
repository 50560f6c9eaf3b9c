// The program icon: one square image taken out of an icon (.ico) resource.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace clavora {

// Decodes the side x side image of an icon file into 0xAARRGGBB pixels, top row first.
// Of several images of that size the one with the most colours wins. Images of 1, 4, 8,
// 24 and 32 bits are read; the AND mask makes pixels transparent (a 32-bit image with
// any alpha uses its alpha instead). False when there is no such image or the file is
// malformed (compressed images included).
bool DecodeIcon(const uint8_t* data, size_t size, int side, std::vector<uint32_t>& argb);

}  // namespace clavora
