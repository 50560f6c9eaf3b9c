// Bitmaps and device contexts in memory: the picture layer every frame is drawn with.
// Pixels are 0x00RRGGBB. Monochrome bitmaps hold black as 0 and white as 0x00FFFFFF,
// so that copied with SRCAND onto a colour picture they clear or keep every colour bit.
#pragma once

#include <cstdint>
#include <memory>

namespace clavora {

// Raster operations of a bit-block transfer.
constexpr uint32_t SRCCOPY = 0x00CC0020;   // dest = source
constexpr uint32_t SRCAND = 0x008800C6;    // dest = dest AND source
constexpr uint32_t SRCPAINT = 0x00EE0086;  // dest = dest OR source

class CBitmap {
public:
    CBitmap() = default;
    CBitmap(int width, int height) { Create(width, height); }

    // Makes a width x height bitmap, all black; returns false for a size out of range.
    bool Create(int width, int height);
    void Delete();
    bool IsNull() const { return !m_pBits; }

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    bool IsMono() const { return m_bMono; }
    void SetMono(bool mono) { m_bMono = mono; }
    uint32_t* Bits() { return m_pBits.get(); }
    const uint32_t* Bits() const { return m_pBits.get(); }
    uint32_t Pixel(int x, int y) const { return m_pBits[static_cast<size_t>(y) * m_nWidth + x]; }
    void SetPixel(int x, int y, uint32_t c) { m_pBits[static_cast<size_t>(y) * m_nWidth + x] = c; }

private:
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bMono = false;
    std::unique_ptr<uint32_t[]> m_pBits;
};

using HBITMAP = CBitmap*;

// A memory device context: one bitmap selected into it at a time.
class CDC {
public:
    // Selects a bitmap and returns the one selected before (nullptr for none).
    CBitmap* SelectObject(CBitmap* bitmap) {
        CBitmap* old = m_pSelected;
        m_pSelected = bitmap;
        return old;
    }
    CBitmap* GetSelected() const { return m_pSelected; }

    // Copies w x h pixels from (sx, sy) of src's bitmap to (x, y) of this one, clipped
    // to both bitmaps. Returns false when either has no bitmap or rop is unknown.
    bool BitBlt(int x, int y, int w, int h, const CDC* src, int sx, int sy, uint32_t rop);

private:
    CBitmap* m_pSelected = nullptr;
};

// Decodes an uncompressed BMP (1, 4, 8, 24 or 32 bits, bottom-up or top-down) into
// bitmap. 1-bit images become monochrome bitmaps. Returns false on malformed input.
bool DecodeBmp(const uint8_t* data, size_t size, CBitmap& bitmap);

}  // namespace clavora
