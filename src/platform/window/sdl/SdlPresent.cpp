// Showing frames: what changed of each frame goes into the window's image, and from
// there to the window system, after the handler and without the window lock.
#include <SDL.h>

#include <thread>

#include "platform/window/Icon.h"
#include "platform/window/ScaledArt.h"
#include "platform/window/FrameImage.h"
#include "platform/window/sdl/SdlPlatform.h"
#include "platform/common/Timing.h"

namespace clavora {

namespace {

constexpr int kIconResource = 128;
constexpr int kIconSide = 32;

}  // namespace

void SdlPlatform::Present(const Frame& frame) {
    // Frames are composed on the window's thread only; anything else is not a frame, nor
    // is a picture made at another scale than the window's.
    if (!m_image || !frame.pixels || std::this_thread::get_id() != m_windowThread) return;
    if (frame.scale != m_scale || frame.width != kFrameWidth * m_scale ||
        frame.height != kFrameHeight * m_scale) {
        // Its damage is lost with it: the next frame is taken whole.
        m_haveFrame = false;
        return;
    }
    if (m_haveFrame && !m_image->Intact()) {
        // A new image (the window system dropped the old one) shows nothing yet.
        m_haveFrame = false;
        m_uploadRects.clear();
    }
    if (m_haveFrame && frame.damageCount == 0) {
        TimingLog().Frame(false);
        return;
    }
    m_rects.clear();
    DeviceRects(frame, !m_haveFrame, m_rects);
    if (!m_image->Copy(frame, m_rects)) {
        // Nothing known of what the image now holds.
        m_haveFrame = false;
        return;
    }
    m_uploadRects.insert(m_uploadRects.end(), m_rects.begin(), m_rects.end());
    m_haveFrame = true;
    m_frameDirty = true;
    TimingLog().Frame(true);
}

bool SdlPlatform::ShowsLastFrame() {
    if (!m_image || !m_haveFrame || std::this_thread::get_id() != m_windowThread) return false;
    // The image holds the last frame presented, unless the window system replaced it.
    if (!m_image->Intact()) return false;
    TimingLog().Frame(false);
    return true;
}

// Shows what changed in the image; runs after the handler, with the window lock
// released. The window system lost the picture (expose): all of it.
void SdlPlatform::Upload() {
    const bool wanted = m_frameDirty || m_forceUpload;
    const bool whole = m_forceUpload;
    m_forceUpload = false;
    if (!m_image || !m_haveFrame || !wanted) return;
    if (!m_image->Intact()) {
        m_haveFrame = false;
        m_uploadRects.clear();
        return;
    }
    m_image->Show(m_uploadRects, whole);
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
