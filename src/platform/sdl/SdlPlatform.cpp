#include "platform/sdl/SdlPlatform.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "platform/common/FrameTick.h"
#include "platform/common/Icon.h"
#include "platform/common/KeyCode.h"
#include "platform/common/WindowLock.h"
#include "platform/resources/Resources.h"
#include "platform/sdl/AudioOut.h"
#include "platform/sdl/MidiInput.h"
#include "platform/sdl/Quiet.h"
#include "platform/sdl/Timing.h"
#include "platform/sdl/XErrors.h"

namespace clavora {

namespace {

constexpr int kIconResource = 128;
constexpr int kIconSide = 32;
constexpr size_t kFramePixels = static_cast<size_t>(kFrameWidth) * kFrameHeight;

// Without a display SDL falls back to windows nobody can see; a window the user cannot
// reach is no window at all, unless such a driver was asked for by name.
bool OnAScreen() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver) return false;
    const std::string name = driver;
    if (name != "offscreen" && name != "dummy") return true;
    const char* wanted = SDL_getenv("SDL_VIDEODRIVER");
    return wanted && name == wanted;
}

// Opens the display. An X server that has just lost a client killed outright can refuse
// a new connection for a moment; then SDL falls back to a window nobody sees. A display
// that was named is tried again for about half a second before the program gives up.
bool OpenVideo() {
    const char* display = SDL_getenv("DISPLAY");
    const bool named = display && *display;
    // On an X display without Wayland, SDL need not probe for Wayland first.
    if (named && !SDL_getenv("WAYLAND_DISPLAY")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    for (int attempt = 0;; ++attempt) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && OnAScreen()) return true;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        if (!named || attempt >= 10) return false;
        SDL_Delay(50);
    }
}

}  // namespace

SdlPlatform::SdlPlatform() {
    SilenceLibraries();
    m_timing = std::make_unique<Timing>();
    m_timing->Mark("platform-start");
    // The window is drawn in software: uploading through the X server's shared memory
    // costs a fraction of a millisecond, while an accelerated window surface would load
    // an OpenGL driver (hundreds of milliseconds and about 90 MiB under Xvfb).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_APP_NAME, "Clavora");
    // The window's class on X and its application id on Wayland tie it to the desktop
    // entry, so that a dock shows the running window under the program's own icon.
    // Set here rather than left to SDL, which would take the name the binary runs as.
    SDL_setenv("SDL_VIDEO_X11_WMCLASS", CLAVORA_WM_CLASS, 1);
    SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", CLAVORA_APP_ID, 1);
    TolerateMessagesToGoneWindows();
    m_video = OpenVideo();
    m_timing->Mark("video-ready");
    // Sound starts at once, beside everything the window does before it shows.
    m_audio = std::make_unique<AudioOut>(m_timing.get());
    if (m_video) m_audio->Start();
    m_midiIn = std::make_unique<MidiInput>(m_timing.get());
}

SdlPlatform::~SdlPlatform() {
    {
        std::lock_guard<std::mutex> hold(WindowLock());
        m_clock.Stop();
        m_midiIn->Disable();
    }
    m_midiIn.reset();
    m_audio.reset();
    if (m_window) SDL_DestroyWindow(m_window);
    SDL_Quit();
}

template <class Fn>
void SdlPlatform::Handle(Fn&& fn) {
    std::lock_guard<std::mutex> hold(WindowLock());
    m_inHandler = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_inHandler};
    fn();
}

void SdlPlatform::RunModal(WindowHandler& handler) {
    if (!m_video) {
        std::fprintf(stderr, "clavora: cannot open the window: no display\n");
        m_windowFailed = true;
        return;
    }
    m_window = SDL_CreateWindow("Clavora", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                kFrameWidth, kFrameHeight, SDL_WINDOW_SHOWN);
    if (!m_window) {
        std::fprintf(stderr, "clavora: cannot open the window: %s\n", SDL_GetError());
        m_windowFailed = true;
        return;
    }
    m_timing->Mark("window-shown");
    SetIcon();
    // Keys are commands here, not text.
    SDL_StopTextInput();
    // A file dropped on the window is handed to the program by its path.
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
    m_windowThread = std::this_thread::get_id();
    m_endModal = false;
    m_handler = &handler;

    Handle([&] { handler.OnInitDialog(); });
    m_timing->Mark("window-initialised");
    // The window is mapped (SDL waits for that): its first paint follows at once, as a
    // dialog's does when it shows, rather than after the window system's expose.
    m_forceUpload = true;
    Handle([&] { handler.OnExpose(); });
    Upload();
    FinishMidiInClose();
    while (!m_endModal) {
        // The frame clock runs on this thread: wait for events until the next tick is
        // due, or for events only while the clock is held. No other thread posts to the
        // window's queue but MIDI input waking a held clock, and MIDI input closes
        // before the window goes, so nothing reaches the window system on the window's
        // behalf once it is gone.
        SDL_Event event;
        int wait = -1;
        {
            std::lock_guard<std::mutex> hold(WindowLock());
            if (!m_clockHeld) wait = m_clock.WaitMs(FrameSchedule::Clock::now());
        }
        const int got = wait < 0    ? SDL_WaitEvent(&event)
                        : wait == 0 ? SDL_PollEvent(&event)
                                    : SDL_WaitEventTimeout(&event, wait);
        if (got) {
            Handle([&] { ReleaseClock(); });
            Dispatch(event, handler);
        }
        bool due = false;
        {
            std::lock_guard<std::mutex> hold(WindowLock());
            due = !m_clockHeld && m_clock.TakeDue(FrameSchedule::Clock::now());
        }
        if (!m_endModal && due) Handle([&] { handler.OnTimer(); });
        Upload();
        FinishMidiInClose();
    }
    Handle([&] { handler.OnDestroy(); });
    // Whatever the handler left running stops before the window goes.
    {
        std::lock_guard<std::mutex> hold(WindowLock());
        m_clock.Stop();
        m_clockHeld = false;
    }
    MidiInClose();
    {
        std::lock_guard<std::mutex> hold(WindowLock());
        m_handler = nullptr;
        m_clockHeld = false;
    }
    SDL_DestroyWindow(m_window);
    m_window = nullptr;
}

void SdlPlatform::Dispatch(const SDL_Event& event, WindowHandler& handler) {
    switch (event.type) {
    case SDL_QUIT:
        Handle([&] { handler.OnCancel(); });
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            Handle([&] { handler.OnCancel(); });
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
            m_forceUpload = true;
            Handle([&] { handler.OnExpose(); });
        }
        break;
    case SDL_KEYDOWN: {
        if (event.key.repeat != 0) break;
        const SDL_Keycode sym = event.key.keysym.sym;
        if (sym == SDLK_ESCAPE) {
            Handle([&] { handler.OnCancel(); });
        } else if (sym == SDLK_RETURN || sym == SDLK_KP_ENTER || sym == SDLK_RETURN2) {
            Handle([&] { handler.OnOK(); });
        } else if (const uint32_t vk = VirtualKey(sym, event.key.keysym.scancode)) {
            Handle([&] { handler.OnKeyDown(vk); });
        }
        break;
    }
    case SDL_KEYUP: {
        const SDL_Keycode sym = event.key.keysym.sym;
        // Escape and Enter act when they go down; their release means nothing.
        if (sym == SDLK_ESCAPE || sym == SDLK_RETURN || sym == SDLK_KP_ENTER ||
            sym == SDLK_RETURN2)
            break;
        if (const uint32_t vk = VirtualKey(sym, event.key.keysym.scancode))
            Handle([&] { handler.OnKeyUp(vk); });
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
        if (event.button.button == SDL_BUTTON_LEFT) {
            const int x = event.button.x;
            const int y = event.button.y;
            // Every second press of a quick series is a double click, as on the desktop.
            if (event.button.clicks >= 2 && event.button.clicks % 2 == 0) {
                Handle([&] { handler.OnLButtonDblClk(x, y); });
            } else {
                Handle([&] { handler.OnLButtonDown(x, y); });
            }
        }
        break;
    case SDL_DROPFILE:
        if (event.drop.file) {
            Handle([&] { handler.OnDropFile(event.drop.file); });
            SDL_free(event.drop.file);
        }
        break;
    default:
        break;
    }
}

void SdlPlatform::EndModal() { m_endModal = true; }

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
    }
    constexpr size_t kRowBytes = kFrameWidth * sizeof(uint32_t);
    if (surface->format->format == SDL_PIXELFORMAT_RGB888 && surface->w == kFrameWidth &&
        surface->h == kFrameHeight) {
        // Our own pixel format: compare with what is shown, and copy only a new picture.
        auto* dst = static_cast<uint8_t*>(surface->pixels);
        const auto* src = reinterpret_cast<const uint8_t*>(pixels);
        const auto pitch = static_cast<size_t>(surface->pitch);
        if (m_haveFrame) {
            bool same = true;
            if (pitch == kRowBytes) {
                same = std::memcmp(dst, src, kRowBytes * kFrameHeight) == 0;
            } else {
                for (int y = 0; same && y < kFrameHeight; ++y)
                    same = std::memcmp(dst + y * pitch, src + y * kRowBytes, kRowBytes) == 0;
            }
            if (same) {
                m_timing->Frame(false);
                return;
            }
        }
        if (pitch == kRowBytes) {
            std::memcpy(dst, src, kRowBytes * kFrameHeight);
        } else {
            for (int y = 0; y < kFrameHeight; ++y)
                std::memcpy(dst + y * pitch, src + y * kRowBytes, kRowBytes);
        }
    } else {
        // Another format (16-bit colour, or one with alpha): keep the frame to compare
        // with and convert it into the surface.
        if (m_staging.size() != kFramePixels) {
            m_staging.assign(kFramePixels, 0);
            m_haveFrame = false;
        }
        if (m_haveFrame && std::memcmp(m_staging.data(), pixels, kRowBytes * kFrameHeight) == 0) {
            m_timing->Frame(false);
            return;
        }
        std::memcpy(m_staging.data(), pixels, kRowBytes * kFrameHeight);
        if (SDL_ConvertPixels(std::min(surface->w, kFrameWidth), std::min(surface->h, kFrameHeight),
                              SDL_PIXELFORMAT_RGB888, m_staging.data(), static_cast<int>(kRowBytes),
                              surface->format->format, surface->pixels, surface->pitch) != 0)
            return;
    }
    m_haveFrame = true;
    m_frameDirty = true;
    m_timing->Frame(true);
}

bool SdlPlatform::ShowsLastFrame() {
    if (!m_window || !m_haveFrame || std::this_thread::get_id() != m_windowThread) return false;
    // The surface holds the last frame presented, unless the window system replaced it.
    SDL_Surface* surface = SDL_GetWindowSurface(m_window);
    if (!surface || surface != m_surface || surface->pixels != m_surfacePixels) return false;
    m_timing->Frame(false);
    return true;
}

// Shows what the surface holds; runs after the handler, with the window lock released.
void SdlPlatform::Upload() {
    const bool wanted = m_frameDirty || m_forceUpload;
    m_forceUpload = false;
    if (!m_window || !m_haveFrame || !wanted) return;
    if (SDL_GetWindowSurface(m_window) != m_surface) {
        m_haveFrame = false;
        return;
    }
    SDL_UpdateWindowSurface(m_window);
    m_frameDirty = false;
    m_timing->MarkOnce("first-frame", m_markedFrame);
}

bool SdlPlatform::IsMinimized() {
    return m_window && (SDL_GetWindowFlags(m_window) & SDL_WINDOW_MINIMIZED) != 0;
}

// A minimized window shows the icon the window system was given at start; there is
// nothing to draw into it.
void SdlPlatform::DrawIcon(int, int) {}

void SdlPlatform::SetIcon() {
    const ResourceBytes icon = FindResource(kIconResource);
    std::vector<uint32_t> argb;
    if (!DecodeIcon(icon.data, icon.size, kIconSide, argb)) return;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        argb.data(), kIconSide, kIconSide, 32, kIconSide * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) return;
    SDL_SetWindowIcon(m_window, surface);
    SDL_FreeSurface(surface);
}

bool SdlPlatform::StartFrameTimer(int periodMs) {
    m_clockHeld = false;
    return m_clock.Start(periodMs, FrameSchedule::Clock::now());
}

void SdlPlatform::StopFrameTimer() {
    m_clockHeld = false;
    m_clock.Stop();
}

void SdlPlatform::HoldFrameTimer() {
    if (m_clock.Running()) m_clockHeld = true;
}

void SdlPlatform::ReleaseClock() {
    if (!m_clockHeld) return;
    m_clockHeld = false;
    const int64_t ticks = m_clock.TakeAllDue(FrameSchedule::Clock::now());
    if (m_handler) m_handler->OnTicksHeld(ticks);
}

// MIDI input, under the window lock: a held clock runs again before the message is
// delivered, and the window's thread is woken to tick it.
void SdlPlatform::MidiThrough(void* hMidiIn, uint32_t wMsg, uintptr_t self, uintptr_t dwParam1,
                              uintptr_t dwParam2) {
    auto* platform = reinterpret_cast<SdlPlatform*>(self);
    if (platform->m_clockHeld) {
        platform->ReleaseClock();
        SDL_Event wake{};
        wake.type = SDL_USEREVENT;
        SDL_PushEvent(&wake);
    }
    if (platform->m_midiCallback)
        platform->m_midiCallback(hMidiIn, wMsg, platform->m_midiInstance, dwParam1, dwParam2);
}

bool SdlPlatform::MidiOutOpen() {
    m_audio->OpenMidi();
    return true;
}

void SdlPlatform::MidiOutShortMsg(uint32_t msg) { m_audio->ShortMessage(msg); }

void SdlPlatform::MidiOutClose() { m_audio->CloseMidi(); }

bool SdlPlatform::MidiInOpen(MidiInCallback callback, uintptr_t instance) {
    m_midiCallback = callback;
    m_midiInstance = instance;
    return m_midiIn->Open(&SdlPlatform::MidiThrough, reinterpret_cast<uintptr_t>(this));
}

void SdlPlatform::MidiInClose() {
    if (m_inHandler && std::this_thread::get_id() == m_windowThread) {
        // We hold the window lock: no message gets through from here on, and the ports
        // close as soon as the handler has let the lock go.
        m_midiIn->Disable();
        m_midiInClosing = true;
        return;
    }
    {
        std::lock_guard<std::mutex> hold(WindowLock());
        m_midiIn->Disable();
    }
    m_midiIn->Close();
    m_midiInClosing = false;
}

void SdlPlatform::FinishMidiInClose() {
    if (!m_midiInClosing) return;
    m_midiIn->Close();
    m_midiInClosing = false;
}

void SdlPlatform::PlaySound(int id) {
    const ResourceBytes sound = FindResource(id);
    m_audio->Play(m_audio->SoundSlot(id, sound.data, sound.size));
}

int32_t SdlPlatform::Time() { return static_cast<int32_t>(std::time(nullptr)); }

void SdlPlatform::SeedRandom(uint32_t seed) { m_random.Seed(seed); }

int32_t SdlPlatform::Random() { return m_random.Next(); }

ResourceBytes SdlPlatform::FindResource(int id) { return FindEmbeddedResource(id); }

}  // namespace clavora
