// Bitmaps and device contexts in memory: the picture layer every frame is drawn with.
// Pixels are 0x00RRGGBB. Monochrome bitmaps hold black as 0 and white as 0x00FFFFFF,
// so that copied with SRCAND onto a colour picture they clear or keep every colour bit.
//
// A bitmap has a logical size, the one the program draws in, and a device scale: each
// logical pixel is scale x scale device pixels. Copies take logical coordinates and
// write device pixels. Copies into a bitmap are kept until its pixels are read, and then
// made only where they change something (see DrawLog.h); what changed is kept for the
// window to show only that.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "raster/DrawLog.h"

namespace clavora {

// Raster operations of a bit-block transfer.
constexpr uint32_t SRCCOPY = 0x00CC0020;   // dest = source
constexpr uint32_t SRCAND = 0x008800C6;    // dest = dest AND source
constexpr uint32_t SRCPAINT = 0x00EE0086;  // dest = dest OR source

class CBitmap {
public:
    CBitmap() = default;
    CBitmap(int width, int height) { Create(width, height); }
    ~CBitmap();
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;
    CBitmap(CBitmap&& other) noexcept { *this = std::move(other); }
    CBitmap& operator=(CBitmap&& other) noexcept;

    // Makes a width x height bitmap, all black, at the device scale in force (or the one
    // given); returns false for a size out of range.
    bool Create(int width, int height);
    bool Create(int width, int height, int scale);
    void Delete();
    bool IsNull() const { return !m_pBits; }

    // The logical size, and the device pixels each logical pixel covers across and down.
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int Scale() const { return m_nScale; }
    int DeviceWidth() const { return m_nWidth * m_nScale; }
    int DeviceHeight() const { return m_nHeight * m_nScale; }
    bool IsMono() const { return m_bMono; }
    void SetMono(bool mono) { m_bMono = mono; }

    // The device pixels, DeviceWidth() a row, top row first, every copy made. Pixels
    // written through Bits() are not seen by the comparison of copies (DrawLog.h): a
    // bitmap copies are made into is drawn by copies, or by SetPixel.
    uint32_t* Bits();
    const uint32_t* Bits() const;
    // One device pixel.
    uint32_t Pixel(int x, int y) const { return Bits()[static_cast<size_t>(y) * DeviceWidth() + x]; }
    void SetPixel(int x, int y, uint32_t c);

    // Puts in out the logical rectangles copies changed since the last call, merged into
    // few; the whole bitmap after it was made. Empty when nothing changed.
    void TakeDamage(std::vector<GdiRect>& out);

private:
    friend class CDC;
    // Makes the copies kept so far, where they change something.
    void Finish() const;
    // The identity of the pixels as a copy's source: new whenever they may have changed.
    uint64_t Version() const;

    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nScale = 1;
    bool m_bMono = false;
    std::unique_ptr<uint32_t[]> m_pBits;
    mutable uint64_t m_nVersion = 0;
    mutable bool m_bWritten = false;  // handed out for writing since m_nVersion was given
    mutable std::unique_ptr<DrawLog> m_pLog;  // copies into this bitmap; made at the first
};

using HBITMAP = CBitmap*;

// A memory device context: one bitmap selected into it at a time.
class CDC {
public:
    // Selects a bitmap and returns the one selected before (nullptr for none).
    CBitmap* SelectObject(CBitmap* bitmap);
    CBitmap* GetSelected() const { return m_pSelected; }

    // Copies w x h pixels from (sx, sy) of src's bitmap to (x, y) of this one, clipped
    // to both bitmaps. Returns false when either has no bitmap or rop is unknown.
    bool BitBlt(int x, int y, int w, int h, const CDC* src, int sx, int sy, uint32_t rop);

private:
    CBitmap* m_pSelected = nullptr;
};

// Decodes an uncompressed BMP (1, 4, 8, 24 or 32 bits, bottom-up or top-down) into
// bitmap. 1-bit images become monochrome bitmaps. Art noted as drawn at a scale
// (NoteArtScale) is that many pixels a logical pixel; the bitmap is made at the device
// scale, the art enlarged by whole pixels where the scales differ. Returns false on
// malformed input.
bool DecodeBmp(const uint8_t* data, size_t size, CBitmap& bitmap);

}  // namespace clavora
