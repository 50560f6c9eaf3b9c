#include "raster/Gdi.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "raster/DeviceScale.h"

namespace clavora {

namespace {

std::atomic<uint64_t> g_nextVersion{1};

// Makes one clipped copy in device pixels. Source and destination at the same scale
// copy row by row; otherwise each device pixel takes the source pixel under its centre.
void Blit(uint32_t* dstBits, int dstStride, int dstScale, const uint32_t* srcBits, int srcStride,
          int srcScale, const DrawOp& op) {
    const int w = op.w * dstScale, h = op.h * dstScale;
    const int x0 = op.x * dstScale, y0 = op.y * dstScale;
    for (int row = 0; row < h; ++row) {
        uint32_t* d = dstBits + static_cast<size_t>(y0 + row) * dstStride + x0;
        if (srcScale == dstScale) {
            const uint32_t* s = srcBits + static_cast<size_t>(op.sy * srcScale + row) * srcStride +
                                op.sx * srcScale;
            switch (op.rop) {
            case SRCCOPY: std::memmove(d, s, static_cast<size_t>(w) * sizeof(uint32_t)); break;
            case SRCAND: for (int i = 0; i < w; ++i) d[i] &= s[i]; break;
            default: for (int i = 0; i < w; ++i) d[i] |= s[i]; break;
            }
            continue;
        }
        const int sy = op.sy * srcScale + (row * srcScale + srcScale / 2) / dstScale;
        const uint32_t* s = srcBits + static_cast<size_t>(sy) * srcStride + op.sx * srcScale;
        for (int i = 0; i < w; ++i) {
            const uint32_t c = s[(i * srcScale + srcScale / 2) / dstScale];
            d[i] = op.rop == SRCCOPY ? c : op.rop == SRCAND ? (d[i] & c) : (d[i] | c);
        }
    }
}

// The part of op that falls inside r; w or h 0 when none does.
DrawOp Inside(DrawOp op, const GdiRect& r) {
    const int x1 = std::max(op.x, r.x), y1 = std::max(op.y, r.y);
    const int x2 = std::min(op.x + op.w, r.x + r.w), y2 = std::min(op.y + op.h, r.y + r.h);
    op.sx += x1 - op.x;
    op.sy += y1 - op.y;
    op.x = x1;
    op.y = y1;
    op.w = std::max(0, x2 - x1);
    op.h = std::max(0, y2 - y1);
    return op;
}

}  // namespace

CBitmap::~CBitmap() { Delete(); }

CBitmap& CBitmap::operator=(CBitmap&& other) noexcept {
    if (this == &other) return *this;
    Delete();
    other.Finish();
    m_nWidth = std::exchange(other.m_nWidth, 0);
    m_nHeight = std::exchange(other.m_nHeight, 0);
    m_nScale = std::exchange(other.m_nScale, 1);
    m_bMono = std::exchange(other.m_bMono, false);
    m_pBits = std::move(other.m_pBits);
    m_nVersion = std::exchange(other.m_nVersion, 0);
    m_bWritten = true;
    m_pLog = std::move(other.m_pLog);
    return *this;
}

bool CBitmap::Create(int width, int height) { return Create(width, height, DeviceScale()); }

bool CBitmap::Create(int width, int height, int scale) {
    Delete();
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return false;
    if (scale < 1 || scale > kMaxDeviceScale) return false;
    m_pBits.reset(new uint32_t[static_cast<size_t>(width) * height * scale * scale]());
    m_nWidth = width;
    m_nHeight = height;
    m_nScale = scale;
    m_bWritten = true;
    return true;
}

void CBitmap::Delete() {
    m_pLog.reset();
    m_pBits.reset();
    m_nWidth = m_nHeight = 0;
    m_nScale = 1;
    m_bMono = false;
}

uint32_t* CBitmap::Bits() {
    Finish();
    m_bWritten = true;
    return m_pBits.get();
}

const uint32_t* CBitmap::Bits() const {
    Finish();
    return m_pBits.get();
}

void CBitmap::SetPixel(int x, int y, uint32_t c) {
    Bits()[static_cast<size_t>(y) * DeviceWidth() + x] = c;
    // Copies made again over this pixel would no longer change nothing.
    if (m_pLog) m_pLog->Forget();
}

uint64_t CBitmap::Version() const {
    if (m_bWritten || m_nVersion == 0) {
        m_nVersion = g_nextVersion++;
        m_bWritten = false;
    }
    return m_nVersion;
}

void CBitmap::TakeDamage(std::vector<GdiRect>& out) {
    Finish();
    out.clear();
    if (m_pLog) m_pLog->TakeDamage(out);
}

void CBitmap::Finish() const {
    if (!m_pLog || !m_pLog->HasPending()) return;
    const std::vector<GdiRect>& changed = m_pLog->Settle(m_nWidth, m_nHeight);
    // Rectangle by rectangle, every copy in order: where rectangles overlap, the copies
    // made twice give what they gave once.
    for (const GdiRect& r : changed) {
        for (const DrawOp& op : m_pLog->Made()) {
            const DrawOp part = Inside(op, r);
            if (part.w <= 0 || part.h <= 0) continue;
            Blit(m_pBits.get(), DeviceWidth(), m_nScale, part.src->m_pBits.get(),
                 part.src->DeviceWidth(), part.src->m_nScale, part);
        }
    }
}

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
    CBitmap* old = m_pSelected;
    // A bitmap no context draws into has all its copies made: no kept copy outlives
    // the bitmaps it copies from.
    if (old && old != bitmap) old->Finish();
    m_pSelected = bitmap;
    return old;
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

    // The source's own kept copies are made first: this one reads its pixels.
    from->Finish();
    if (!dst->m_pLog) dst->m_pLog = std::make_unique<DrawLog>();
    const DrawOp op{from, from->Version(), x, y, w, h, sx, sy, rop};
    if (from == dst) {
        // A bitmap copied onto itself: made at once, and nothing known of it afterwards.
        dst->Finish();
        Blit(dst->m_pBits.get(), dst->DeviceWidth(), dst->m_nScale, from->m_pBits.get(),
             from->DeviceWidth(), from->m_nScale, op);
        dst->m_pLog->Forget();
        dst->m_bWritten = true;
        return true;
    }
    dst->m_pLog->Add(op);
    if (dst->m_pLog->Full()) dst->Finish();
    return true;
}

}  // namespace clavora
