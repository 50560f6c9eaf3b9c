// The copies made into one bitmap, kept so that only what changes is drawn and shown.
//
// Every copy sets a pixel to (pixel AND a) OR b for constants of its source: SRCCOPY,
// SRCAND and SRCPAINT all do, and so does any series of them. Such a function applied
// twice gives what it gave once. So when the copies since the last ones made are those
// again, in the same order, wherever they touch, making them again changes nothing: a
// pixel can change only under a copy that is new or no longer there. Those copies'
// rectangles are the damage; the copies are made inside it only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace clavora {

class CBitmap;

struct GdiRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const GdiRect&) const = default;
};

// One copy, clipped to both bitmaps, in logical coordinates.
struct DrawOp {
    const CBitmap* src = nullptr;
    uint64_t srcVersion = 0;
    int x = 0, y = 0, w = 0, h = 0, sx = 0, sy = 0;
    uint32_t rop = 0;
    bool operator==(const DrawOp&) const = default;
};

class DrawLog {
public:
    // More kept copies than this are made at once.
    static constexpr size_t kMaxPending = 4096;

    DrawLog();

    void Add(const DrawOp& op) { m_pending.push_back(op); }
    bool HasPending() const { return !m_pending.empty(); }
    bool Full() const { return m_pending.size() >= kMaxPending; }
    const std::vector<DrawOp>& Pending() const { return m_pending; }
    // The copies last settled: after Settle, the ones to make inside its rectangles.
    const std::vector<DrawOp>& Made() const { return m_made; }

    // The next comparison knows nothing of the pixels: everything is damage.
    void Forget() {
        m_made.clear();
        m_known = false;
    }
    // The rectangles of a width x height bitmap that the pending copies may change;
    // the pending copies become the ones last made. Adds them to the damage. Once the
    // log has seen a frame or two it allocates nothing.
    const std::vector<GdiRect>& Settle(int width, int height);
    // Moves the damage gathered since the last call into out.
    void TakeDamage(std::vector<GdiRect>& out);

private:
    std::vector<DrawOp> m_pending;
    std::vector<DrawOp> m_made;
    bool m_known = false;  // m_made describes the pixels
    std::vector<GdiRect> m_changed;
    std::vector<GdiRect> m_damage;
};

// Merges overlapping and touching rectangles into their bounding boxes, and into one
// box when more than maxCount would remain.
void MergeRects(std::vector<GdiRect>& rects, size_t maxCount);

}  // namespace clavora
