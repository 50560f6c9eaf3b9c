#include "platform/window/sdl/SdlSurfaceImage.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/window/wayland/ShmImage.h"

namespace clavora {

namespace {

// More rectangles than this are uploaded as the whole window.
constexpr size_t kMaxUploadRects = 64;

}  // namespace

bool SdlSurfaceImage::Copy(const Frame& frame, const std::vector<GdiRect>& rects) {
    SDL_Surface* surface = SDL_GetWindowSurface(m_window);
    if (!surface) return false;
    m_surface = surface;
    m_pixels = surface->pixels;
    const bool ours = surface->format->format == SDL_PIXELFORMAT_RGB888;
    auto* dst = static_cast<uint8_t*>(surface->pixels);
    const int bytesPerPixel = surface->format->BytesPerPixel;
    for (const GdiRect& r : rects) {
        // The window may be smaller than the frame (or larger: the rest stays as it is).
        const int w = std::min(r.w, surface->w - r.x), h = std::min(r.h, surface->h - r.y);
        if (w <= 0 || h <= 0) continue;
        const uint32_t* from = frame.pixels + static_cast<size_t>(r.y) * frame.width + r.x;
        uint8_t* to = dst + static_cast<size_t>(r.y) * surface->pitch +
                      static_cast<size_t>(r.x) * bytesPerPixel;
        if (ours) {
            for (int row = 0; row < h; ++row)
                std::memcpy(to + static_cast<size_t>(row) * surface->pitch,
                            from + static_cast<size_t>(row) * frame.width,
                            static_cast<size_t>(w) * sizeof(uint32_t));
        } else if (SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_RGB888, from, frame.width * 4,
                                     surface->format->format, to, surface->pitch) != 0) {
            return false;
        }
    }
    return true;
}

bool SdlSurfaceImage::Intact() {
    if (!m_surface) return false;
    const SDL_Surface* surface = SDL_GetWindowSurface(m_window);
    return surface == m_surface && surface->pixels == m_pixels;
}

void SdlSurfaceImage::Show(const std::vector<GdiRect>& rects, bool whole) {
    if (whole || rects.size() > kMaxUploadRects) {
        SDL_UpdateWindowSurface(m_window);
        return;
    }
    if (rects.empty() || !m_surface) return;
    std::array<SDL_Rect, kMaxUploadRects> list;
    int n = 0;
    for (const GdiRect& r : rects) {
        // Within the surface, as the copies were.
        const int w = std::min(r.w, m_surface->w - r.x), h = std::min(r.h, m_surface->h - r.y);
        if (w > 0 && h > 0) list[static_cast<size_t>(n++)] = SDL_Rect{r.x, r.y, w, h};
    }
    if (n > 0) SDL_UpdateWindowSurfaceRects(m_window, list.data(), n);
}

std::unique_ptr<FrameImage> MakeFrameImage(SDL_Window* window, int scale, int pixelsPerUnit) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_WAYLAND) {
        auto image = std::make_unique<ShmImage>(info.info.wl.display, info.info.wl.surface,
                                                kFrameWidth * scale, kFrameHeight * scale,
                                                pixelsPerUnit);
        if (!image->Valid()) return nullptr;
        return image;
    }
    return std::make_unique<SdlSurfaceImage>(window);
}

}  // namespace clavora
