// The file formats the program embeds: BMP (bottom-up, uncompressed), RIFF WAVE
// (16-bit PCM) and ICO.
#pragma once

#include <cstdint>
#include <vector>

#include "Image.h"

namespace resgen {

using Bytes = std::vector<uint8_t>;

// 24 bits per pixel.
Bytes Bmp24(const Image& image);
// 4 bits per pixel: each pixel becomes the index of the nearest palette colour.
Bytes Bmp4(const Image& image, const std::vector<uint32_t>& palette);
// 1 bit per pixel, palette black then white: pixels brighter than mid grey are white.
Bytes Bmp1(const Image& image);

// 16-bit PCM at 44100 Hz; frames of interleaved channels, samples -1..1.
Bytes Wave(const std::vector<float>& samples, int channels);

// One image of an icon: the colours (pixels) with their transparency (alpha 0..255
// per pixel), stored with palette and bit depth bits (4 or 8).
struct IconImage {
    Image colour;
    std::vector<uint8_t> alpha;
    int bits;
    std::vector<uint32_t> palette;
};
Bytes Ico(const std::vector<IconImage>& images);

// Index of the palette colour nearest to c.
int NearestIndex(uint32_t c, const std::vector<uint32_t>& palette);

}  // namespace resgen
