// Showing frames: what changed of each frame goes into the window surface, and from
// there to the window system, after the handler and without the window lock.
#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

#include "platform/window/Icon.h"
#include "platform/window/ScaledArt.h"
#include "raster/Gdi.h"
#include "platform/window/sdl/SdlPlatform.h"
#include "platform/common/Timing.h"

namespace clavora {

namespace {

constexpr int kIconResource = 128;
constexpr int kIconSide = 32;
// More rectangles than this are uploaded as the whole window.
constexpr size_t kMaxUploadRects = 64;

}  // namespace

void SdlPlatform::Present(const uint32_t* pixels) {
    // Frames are composed on the window's thread only; anything else is not a frame.
    if (!m_window || !pixels || std::this_thread::get_id() != m_windowThread) return;
    SDL_Surface* surface = SDL_GetWindowSurface(m_window);
    if (!surface) return;
    if (surface != m_surface || surface->pixels != m_surfacePixels) {
        // A new surface (the window system dropped the old one) shows nothing yet.
        m_surface = surface;
        m_surfacePixels = surface->pixels;
        m_haveFrame = false;
        m_uploadRects.clear();
    }
    // What the frame's copies changed since the frame before; everything when the
    // surface holds no frame yet, or the picture is not a bitmap the copies are known of.
    CBitmap* back = BitmapOwningBits(pixels);
    // A picture made at another scale is not a frame of this window.
    if (back && back->Scale() != m_scale) return;
    if (back) back->TakeDamage(m_damage);
    if (!back || !m_haveFrame) m_damage.assign(1, GdiRect{0, 0, kFrameWidth, kFrameHeight});
    if (m_damage.empty()) {
        TimingLog().Frame(false);
        return;
    }

    const int frameW = kFrameWidth * m_scale, frameH = kFrameHeight * m_scale;
    const int rowPixels = frameW;
    const bool ours = surface->format->format == SDL_PIXELFORMAT_RGB888;
    auto* dst = static_cast<uint8_t*>(surface->pixels);
    const int bytesPerPixel = surface->format->BytesPerPixel;
    for (const GdiRect& r : m_damage) {
        // Into device pixels, within both the frame and the surface.
        const int x = r.x * m_scale, y = r.y * m_scale;
        const int w = std::min({r.w * m_scale, frameW - x, surface->w - x});
        const int h = std::min({r.h * m_scale, frameH - y, surface->h - y});
        if (w <= 0 || h <= 0) continue;
        const uint32_t* from = pixels + static_cast<size_t>(y) * rowPixels + x;
        uint8_t* to = dst + static_cast<size_t>(y) * surface->pitch + static_cast<size_t>(x) * bytesPerPixel;
        if (ours) {
            for (int row = 0; row < h; ++row)
                std::memcpy(to + static_cast<size_t>(row) * surface->pitch, from + static_cast<size_t>(row) * rowPixels,
                            static_cast<size_t>(w) * sizeof(uint32_t));
        } else if (SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_RGB888, from, rowPixels * 4,
                                     surface->format->format, to, surface->pitch) != 0) {
            // Nothing known of what the surface now holds.
            m_haveFrame = false;
            return;
        }
        m_uploadRects.push_back(GdiRect{x, y, w, h});
    }
    m_haveFrame = true;
    m_frameDirty = true;
    TimingLog().Frame(true);
}

bool SdlPlatform::ShowsLastFrame() {
    if (!m_window || !m_haveFrame || std::this_thread::get_id() != m_windowThread) return false;
    // The surface holds the last frame presented, unless the window system replaced it.
    SDL_Surface* surface = SDL_GetWindowSurface(m_window);
    if (!surface || surface != m_surface || surface->pixels != m_surfacePixels) return false;
    TimingLog().Frame(false);
    return true;
}

// Shows what changed in the surface; runs after the handler, with the window lock
// released. The window system lost the picture (expose): all of it.
void SdlPlatform::Upload() {
    const bool wanted = m_frameDirty || m_forceUpload;
    const bool whole = m_forceUpload || m_uploadRects.size() > kMaxUploadRects;
    m_forceUpload = false;
    if (!m_window || !m_haveFrame || !wanted) return;
    if (SDL_GetWindowSurface(m_window) != m_surface) {
        m_haveFrame = false;
        m_uploadRects.clear();
        return;
    }
    if (whole) {
        SDL_UpdateWindowSurface(m_window);
    } else if (!m_uploadRects.empty()) {
        std::array<SDL_Rect, kMaxUploadRects> rects;
        const int n = static_cast<int>(m_uploadRects.size());
        for (int i = 0; i < n; ++i) {
            const GdiRect& r = m_uploadRects[static_cast<size_t>(i)];
            rects[static_cast<size_t>(i)] = SDL_Rect{r.x, r.y, r.w, r.h};
        }
        SDL_UpdateWindowSurfaceRects(m_window, rects.data(), n);
    }
    m_uploadRects.clear();
    m_frameDirty = false;
    TimingLog().MarkOnce("first-frame", m_markedFrame);
}

bool SdlPlatform::IsMinimized() {
    return m_window && (SDL_GetWindowFlags(m_window) & SDL_WINDOW_MINIMIZED) != 0;
}

// A minimized window shows the icon the window system was given at start; there is
// nothing to draw into it.
void SdlPlatform::DrawIcon(int, int) {}

// The icon at the window's scale where the art has it (64 x 64 at 2x), else 32 x 32.
void SdlPlatform::SetIcon() {
    std::vector<uint32_t> argb;
    int side = kIconSide * m_scale;
    const ResourceBytes icon = FindResource(kIconResource);
    if (!DecodeIcon(icon.data, icon.size, side, argb)) {
        side = kIconSide;
        const ResourceBytes plain = FindScaledResource(kIconResource, 1);
        if (!DecodeIcon(plain.data, plain.size, side, argb)) return;
    }
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        argb.data(), side, side, 32, side * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) return;
    SDL_SetWindowIcon(m_window, surface);
    SDL_FreeSurface(surface);
}

}  // namespace clavora
