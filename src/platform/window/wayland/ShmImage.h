// Frames into a Wayland surface through shared-memory buffers, with no graphics driver:
// the compositor reads the buffer attached to the surface, so each frame goes into a
// buffer the compositor has let go of, and only what changed is copied and damaged.
#pragma once

#include <memory>
#include <vector>

#include "platform/window/FrameImage.h"

struct wl_display;
struct wl_surface;
struct wl_event_queue;
struct wl_shm;
struct wl_buffer;

namespace clavora {

class ShmImage final : public FrameImage {
public:
    // For the surface of a window on display whose picture is width x height pixels,
    // bufferScale of them a compositor unit. Valid() false when the compositor offers
    // no shared memory.
    ShmImage(wl_display* display, wl_surface* surface, int width, int height, int bufferScale);
    ~ShmImage() override;
    ShmImage(const ShmImage&) = delete;
    ShmImage& operator=(const ShmImage&) = delete;
    bool Valid() const { return m_shm != nullptr; }

    bool Copy(const Frame& frame, const std::vector<GdiRect>& rects) override;
    bool Intact() override { return Valid(); }
    void Show(const std::vector<GdiRect>& rects, bool whole) override;

    // The compositor holds a buffer from its attachment until it lets it go.
    struct Buffer {
        wl_buffer* buffer = nullptr;
        uint32_t* pixels = nullptr;
        bool busy = false;
        bool written = false;          // holds a frame at all
        std::vector<GdiRect> stale;    // what later frames changed since it was written
    };

private:
    Buffer* FreeBuffer();
    bool AddBuffer();

    wl_display* m_display;
    wl_surface* m_surface;
    wl_event_queue* m_queue = nullptr;  // our buffers' events, apart from the toolkit's
    wl_shm* m_shm = nullptr;
    int m_width, m_height, m_bufferScale;
    std::vector<std::unique_ptr<Buffer>> m_buffers;
    Buffer* m_pending = nullptr;  // written, to be attached at the next Show
};

}  // namespace clavora
