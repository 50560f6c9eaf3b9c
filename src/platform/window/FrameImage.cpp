#include "platform/window/FrameImage.h"

#include <algorithm>

namespace clavora {

void DeviceRects(const Frame& frame, bool whole, std::vector<GdiRect>& out) {
    if (whole) {
        out.push_back(GdiRect{0, 0, frame.width, frame.height});
        return;
    }
    const int s = frame.scale;
    for (size_t i = 0; i < frame.damageCount; ++i) {
        const GdiRect& r = frame.damage[i];
        const int x = std::max(0, r.x * s), y = std::max(0, r.y * s);
        const int w = std::min((r.x + r.w) * s, frame.width) - x;
        const int h = std::min((r.y + r.h) * s, frame.height) - y;
        if (w > 0 && h > 0) out.push_back(GdiRect{x, y, w, h});
    }
}

bool FramePoint(int unitX, int unitY, int pixelsPerUnit, int scale, int& x, int& y) {
    if (pixelsPerUnit < 1 || scale < 1 || unitX < 0 || unitY < 0) return false;
    const int64_t px = static_cast<int64_t>(unitX) * pixelsPerUnit / scale;
    const int64_t py = static_cast<int64_t>(unitY) * pixelsPerUnit / scale;
    if (px >= kFrameWidth || py >= kFrameHeight) return false;
    x = static_cast<int>(px);
    y = static_cast<int>(py);
    return true;
}

}  // namespace clavora
