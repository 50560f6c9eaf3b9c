#include "raster/DrawLog.h"

#include <algorithm>

namespace clavora {

namespace {

// Damage in more pieces than this is shown as fewer, larger ones.
constexpr size_t kMaxDamageRects = 24;
// How far ahead in the copies last made a new copy is looked for.
constexpr size_t kLookAhead = 64;

bool Touch(const GdiRect& a, const GdiRect& b) {
    return a.x <= b.x + b.w && b.x <= a.x + a.w && a.y <= b.y + b.h && b.y <= a.y + a.h;
}

GdiRect Bound(const GdiRect& a, const GdiRect& b) {
    const int x = std::min(a.x, b.x), y = std::min(a.y, b.y);
    return {x, y, std::max(a.x + a.w, b.x + b.w) - x, std::max(a.y + a.h, b.y + b.h) - y};
}

GdiRect RectOf(const DrawOp& op) { return {op.x, op.y, op.w, op.h}; }

}  // namespace

void MergeRects(std::vector<GdiRect>& rects, size_t maxCount) {
    bool merged = true;
    while (merged) {
        merged = false;
        for (size_t i = 0; i < rects.size() && !merged; ++i) {
            for (size_t j = i + 1; j < rects.size(); ++j) {
                if (!Touch(rects[i], rects[j])) continue;
                rects[i] = Bound(rects[i], rects[j]);
                rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(j));
                merged = true;
                break;
            }
        }
    }
    if (rects.size() > maxCount) {
        GdiRect all = rects.front();
        for (const GdiRect& r : rects) all = Bound(all, r);
        rects.assign(1, all);
    }
}

DrawLog::DrawLog() {
    // Room for a frame's copies on both sides, and for every one of them as damage.
    m_pending.reserve(512);
    m_made.reserve(512);
    m_changed.reserve(1024);
    m_damage.reserve(2 * kMaxDamageRects + 2);
}

const std::vector<GdiRect>& DrawLog::Settle(int width, int height) {
    std::vector<GdiRect>& changed = m_changed;
    changed.clear();
    if (!m_known) {
        changed.push_back({0, 0, width, height});
    } else {
        // Match the pending copies to those last made, keeping their order; whatever
        // is left unmatched on either side is damage.
        size_t next = 0;
        for (const DrawOp& op : m_pending) {
            const size_t end = std::min(m_made.size(), next + kLookAhead);
            size_t found = next;
            while (found < end && !(m_made[found] == op)) ++found;
            if (found == end) {
                changed.push_back(RectOf(op));
                continue;
            }
            for (size_t k = next; k < found; ++k) changed.push_back(RectOf(m_made[k]));
            next = found + 1;
        }
        for (size_t k = next; k < m_made.size(); ++k) changed.push_back(RectOf(m_made[k]));
        MergeRects(changed, kMaxDamageRects);
    }
    m_made.swap(m_pending);
    m_pending.clear();
    m_known = true;
    m_damage.insert(m_damage.end(), changed.begin(), changed.end());
    MergeRects(m_damage, kMaxDamageRects);
    return changed;
}

void DrawLog::TakeDamage(std::vector<GdiRect>& out) {
    out.assign(m_damage.begin(), m_damage.end());
    m_damage.clear();
}

}  // namespace clavora
