// Frames into SDL's window surface: on X11 the X server's shared-memory image of the
// window, uploaded rectangle by rectangle.
#pragma once

#include <memory>

#include "platform/window/FrameImage.h"

struct SDL_Window;
struct SDL_Surface;

namespace clavora {

class SdlSurfaceImage final : public FrameImage {
public:
    explicit SdlSurfaceImage(SDL_Window* window) : m_window(window) {}
    bool Copy(const Frame& frame, const std::vector<GdiRect>& rects) override;
    bool Intact() override;
    void Show(const std::vector<GdiRect>& rects, bool whole) override;

private:
    SDL_Window* m_window;
    SDL_Surface* m_surface = nullptr;  // the surface copied into, and its pixels
    void* m_pixels = nullptr;
};

// The image for the window's frames, drawn at scale: shared-memory buffers of our own on
// Wayland (SDL has no window surface there without a graphics driver), pixelsPerUnit
// of their pixels a compositor unit; SDL's window surface elsewhere. nullptr when the
// window system offers neither.
std::unique_ptr<FrameImage> MakeFrameImage(SDL_Window* window, int scale, int pixelsPerUnit);

}  // namespace clavora
