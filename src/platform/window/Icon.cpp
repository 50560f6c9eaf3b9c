#include "platform/window/Icon.h"

#include "raster/LittleEndian.h"

namespace clavora {

namespace {

size_t RowBytes(int width, int bits) { return ((static_cast<size_t>(width) * bits + 31) / 32) * 4; }

// Decodes one device-independent bitmap of an icon: header, palette, colour rows, mask.
bool DecodeImage(const uint8_t* dib, size_t size, int side, std::vector<uint32_t>& argb) {
    if (size < 40) return false;
    const uint32_t headerSize = Le32(dib);
    const auto width = static_cast<int32_t>(Le32(dib + 4));
    const auto height = static_cast<int32_t>(Le32(dib + 8));  // colour rows + mask rows
    const uint16_t bits = Le16(dib + 14);
    const uint32_t compression = Le32(dib + 16);
    uint32_t colours = Le32(dib + 32);
    if (headerSize < 40 || headerSize > size || width != side || height != 2 * side ||
        compression != 0)
        return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
    if (bits <= 8) {
        if (colours == 0 || colours > (1u << bits)) colours = 1u << bits;
    } else {
        colours = 0;
    }
    const size_t paletteAt = headerSize;
    const size_t pixelsAt = paletteAt + 4 * static_cast<size_t>(colours);
    const size_t colourRow = RowBytes(side, bits);
    const size_t maskRow = RowBytes(side, 1);
    const size_t maskAt = pixelsAt + colourRow * side;
    if (maskAt + maskRow * side > size) return false;

    argb.assign(static_cast<size_t>(side) * side, 0);
    bool anyAlpha = false;
    for (int y = 0; y < side; ++y) {
        const uint8_t* row = dib + pixelsAt + colourRow * (side - 1 - y);  // bottom-up
        for (int x = 0; x < side; ++x) {
            uint32_t px = 0;
            if (bits == 32) {
                const uint8_t* p = row + 4 * x;
                px = static_cast<uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0];
                anyAlpha = anyAlpha || p[3] != 0;
            } else if (bits == 24) {
                const uint8_t* p = row + 3 * x;
                px = 0xFF000000u | p[2] << 16 | p[1] << 8 | p[0];
            } else {
                const size_t bit = static_cast<size_t>(x) * bits;
                const unsigned index =
                    (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                if (index >= colours) return false;
                const uint8_t* c = dib + paletteAt + 4 * index;
                px = 0xFF000000u | c[2] << 16 | c[1] << 8 | c[0];
            }
            argb[static_cast<size_t>(y) * side + x] = px;
        }
    }
    for (int y = 0; y < side; ++y) {
        const uint8_t* row = dib + maskAt + maskRow * (side - 1 - y);
        for (int x = 0; x < side; ++x) {
            uint32_t& px = argb[static_cast<size_t>(y) * side + x];
            const bool transparent = (row[x / 8] >> (7 - x % 8)) & 1;
            if (bits == 32 && anyAlpha) continue;
            px = transparent ? 0 : (px | 0xFF000000u);
        }
    }
    return true;
}

}  // namespace

bool DecodeIcon(const uint8_t* data, size_t size, int side, std::vector<uint32_t>& argb) {
    if (!data || size < 6 || Le16(data) != 0 || Le16(data + 2) != 1) return false;
    const size_t count = Le16(data + 4);
    if (size < 6 + 16 * count) return false;
    int bestBits = -1;
    const uint8_t* best = nullptr;
    size_t bestSize = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = data + 6 + 16 * i;
        const int w = e[0] == 0 ? 256 : e[0];
        const int h = e[1] == 0 ? 256 : e[1];
        const uint32_t bytes = Le32(e + 8);
        const uint32_t offset = Le32(e + 12);
        if (w != side || h != side || offset >= size || bytes > size - offset || bytes < 40)
            continue;
        // The directory's colour fields are often zero; the image header is the truth.
        const int bits = Le16(data + offset + 14);
        if (bits > bestBits) {
            bestBits = bits;
            best = data + offset;
            bestSize = bytes;
        }
    }
    return best && DecodeImage(best, bestSize, side, argb);
}

}  // namespace clavora
