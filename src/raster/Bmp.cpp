// Reading BMP images into bitmaps at the device scale.
#include <vector>

#include "raster/LittleEndian.h"
#include "raster/DeviceScale.h"
#include "raster/Gdi.h"

namespace clavora {

namespace {

// Puts an image of art drawn at artScale into bitmap, made at the device scale: the
// device pixel from the image pixel under it (whole-pixel enlargement when the device
// scale is a multiple of the art's).
bool Place(const std::vector<uint32_t>& image, int width, int height, int artScale, bool mono,
           CBitmap& bitmap) {
    if (!bitmap.Create(width / artScale, height / artScale)) return false;
    bitmap.SetMono(mono);
    uint32_t* out = bitmap.Bits();
    const int scale = bitmap.Scale();
    const int dw = bitmap.DeviceWidth(), dh = bitmap.DeviceHeight();
    for (int y = 0; y < dh; ++y) {
        const uint32_t* row = image.data() + static_cast<size_t>(y * artScale / scale) * width;
        for (int x = 0; x < dw; ++x) out[static_cast<size_t>(y) * dw + x] = row[x * artScale / scale];
    }
    return true;
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, CBitmap& bitmap) {
    if (!data || size < 54 || data[0] != 'B' || data[1] != 'M') return false;
    const uint32_t pixelOffset = Le32(data + 10);
    const uint32_t headerSize = Le32(data + 14);
    if (headerSize < 40 || 14 + static_cast<size_t>(headerSize) > size) return false;
    const int32_t width = static_cast<int32_t>(Le32(data + 18));
    const int32_t rawHeight = static_cast<int32_t>(Le32(data + 22));
    const uint32_t bpp = Le16(data + 28);
    const uint32_t compression = Le32(data + 30);
    uint32_t colours = Le32(data + 46);
    if (compression != 0) return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
    if (width <= 0 || width > 8192 || rawHeight == 0 || rawHeight < -8192 || rawHeight > 8192)
        return false;
    const bool bottomUp = rawHeight > 0;
    const int height = bottomUp ? rawHeight : -rawHeight;

    uint32_t palette[256] = {};
    if (bpp <= 8) {
        const uint32_t maxColours = 1u << bpp;
        if (colours == 0 || colours > maxColours) colours = maxColours;
        const size_t palStart = 14 + static_cast<size_t>(headerSize);
        if (palStart + 4 * static_cast<size_t>(colours) > size) return false;
        for (uint32_t i = 0; i < colours; ++i) {
            const uint8_t* q = data + palStart + 4 * i;
            palette[i] = (q[2] << 16) | (q[1] << 8) | q[0];
        }
    }

    const size_t stride = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
    if (pixelOffset > size || stride * height > size - pixelOffset) return false;
    // Art at the device scale is read straight into the bitmap; other art through an
    // image of its own pixels, then enlarged into it.
    int artScale = ArtScale(data);
    if (width % artScale != 0 || height % artScale != 0) artScale = 1;
    const bool direct = artScale == DeviceScale();
    std::vector<uint32_t> image;
    uint32_t* pixels = nullptr;
    if (direct) {
        if (!bitmap.Create(width / artScale, height / artScale)) return false;
        bitmap.SetMono(bpp == 1);
        pixels = bitmap.Bits();
    } else {
        image.resize(static_cast<size_t>(width) * height);
        pixels = image.data();
    }

    // One loop a pixel format: the 2x art is four times the pixels, read at start-up.
    for (int row = 0; row < height; ++row) {
        const uint8_t* line = data + pixelOffset + stride * (bottomUp ? height - 1 - row : row);
        uint32_t* out = pixels + static_cast<size_t>(row) * width;
        switch (bpp) {
        case 1:
            for (int x = 0; x < width; ++x) {
                const uint32_t bit = (line[x >> 3] >> (7 - (x & 7))) & 1;
                // A monochrome bitmap is black or white, whatever its palette says.
                out[x] = (palette[bit] & 0xFFFFFF) ? 0x00FFFFFF : 0;
            }
            break;
        case 4:
            for (int x = 0; x < width; ++x) out[x] = palette[(line[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF];
            break;
        case 8:
            for (int x = 0; x < width; ++x) out[x] = palette[line[x]];
            break;
        case 24:
            for (int x = 0; x < width; ++x)
                out[x] = (line[3 * x + 2] << 16) | (line[3 * x + 1] << 8) | line[3 * x];
            break;
        default:
            for (int x = 0; x < width; ++x)
                out[x] = (line[4 * x + 2] << 16) | (line[4 * x + 1] << 8) | line[4 * x];
            break;
        }
    }
    return direct || Place(image, width, height, artScale, bpp == 1, bitmap);
}

}  // namespace clavora
