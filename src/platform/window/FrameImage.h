// Where presented frames go before the window system shows them: an image of the
// window that the window system reads (a shared-memory surface, a pool of buffers), with
// what is the same for every such image.
#pragma once

#include <vector>

#include "platform/Platform.h"
#include "raster/DrawLog.h"

namespace clavora {

class FrameImage {
public:
    virtual ~FrameImage() = default;
    // Copies these device rectangles of the frame into the image (each clipped to it);
    // false when it could not, and nothing is then known of what the image holds.
    virtual bool Copy(const Frame& frame, const std::vector<GdiRect>& rects) = 0;
    // True while the image still holds everything copied into it since the first copy:
    // the window system has not replaced or dropped it.
    virtual bool Intact() = 0;
    // Shows the window system what was copied since the last call: these device
    // rectangles, or the whole image.
    virtual void Show(const std::vector<GdiRect>& rects, bool whole) = 0;
};

// The frame's damage as device rectangles within the frame, appended to out; the whole
// frame when whole is set.
void DeviceRects(const Frame& frame, bool whole, std::vector<GdiRect>& out);

// A point of the window, in the units the window system reports it in, as a point of the
// program's 800 x 520 picture: the picture is drawn at scale device pixels a logical
// pixel, pixelsPerUnit device pixels a window unit, from the window's top left corner.
// False for a point outside the picture (a window made larger than it asked).
bool FramePoint(int unitX, int unitY, int pixelsPerUnit, int scale, int& x, int& y);

}  // namespace clavora
