#include "platform/gdi/Gdi.h"

#include <algorithm>
#include <cstring>

#include "platform/common/LittleEndian.h"

namespace clavora {

bool CBitmap::Create(int width, int height) {
    Delete();
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return false;
    m_pBits.reset(new uint32_t[static_cast<size_t>(width) * height]());
    m_nWidth = width;
    m_nHeight = height;
    return true;
}

void CBitmap::Delete() {
    m_pBits.reset();
    m_nWidth = m_nHeight = 0;
    m_bMono = false;
}

bool CDC::BitBlt(int x, int y, int w, int h, const CDC* src, int sx, int sy, uint32_t rop) {
    CBitmap* dst = m_pSelected;
    const CBitmap* from = src ? src->m_pSelected : nullptr;
    if (!dst || dst->IsNull() || !from || from->IsNull()) return false;
    if (rop != SRCCOPY && rop != SRCAND && rop != SRCPAINT) return false;

    // Clip against the source, then the destination, moving both origins together.
    if (sx < 0) { x -= sx; w += sx; sx = 0; }
    if (sy < 0) { y -= sy; h += sy; sy = 0; }
    if (x < 0) { sx -= x; w += x; x = 0; }
    if (y < 0) { sy -= y; h += y; y = 0; }
    w = std::min({w, from->Width() - sx, dst->Width() - x});
    h = std::min({h, from->Height() - sy, dst->Height() - y});
    if (w <= 0 || h <= 0) return true;

    for (int row = 0; row < h; ++row) {
        const uint32_t* s = from->Bits() + static_cast<size_t>(sy + row) * from->Width() + sx;
        uint32_t* d = dst->Bits() + static_cast<size_t>(y + row) * dst->Width() + x;
        switch (rop) {
        case SRCCOPY:
            std::memmove(d, s, static_cast<size_t>(w) * sizeof(uint32_t));
            break;
        case SRCAND:
            for (int i = 0; i < w; ++i) d[i] &= s[i];
            break;
        default:
            for (int i = 0; i < w; ++i) d[i] |= s[i];
            break;
        }
    }
    return true;
}

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
    if (!bitmap.Create(width, height)) return false;
    bitmap.SetMono(bpp == 1);

    for (int row = 0; row < height; ++row) {
        const uint8_t* line = data + pixelOffset + stride * (bottomUp ? height - 1 - row : row);
        for (int x = 0; x < width; ++x) {
            uint32_t c = 0;
            switch (bpp) {
            case 1: {
                const uint32_t bit = (line[x >> 3] >> (7 - (x & 7))) & 1;
                // A monochrome bitmap is black or white, whatever its palette says.
                c = (palette[bit] & 0xFFFFFF) ? 0x00FFFFFF : 0;
                break;
            }
            case 4: c = palette[(line[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF]; break;
            case 8: c = palette[line[x]]; break;
            case 24: c = (line[3 * x + 2] << 16) | (line[3 * x + 1] << 8) | line[3 * x]; break;
            default: c = (line[4 * x + 2] << 16) | (line[4 * x + 1] << 8) | line[4 * x]; break;
            }
            bitmap.SetPixel(x, row, c);
        }
    }
    return true;
}

}  // namespace clavora
