#include "platform/window/sdl/SdlPlatform.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <ctime>
#include <mutex>
#include <string>

#include "platform/window/FrameTick.h"
#include "platform/window/ScaledArt.h"
#include "platform/window/WindowLock.h"
#include "platform/audio/fluidsynth/AudioOut.h"
#include "platform/midi/MidiInput.h"
#include "platform/midi/MidiSources.h"
#include "platform/common/Quiet.h"
#include "platform/common/Timing.h"
#include "platform/window/sdl/SdlSurfaceImage.h"
#include "platform/window/sdl/WindowScale.h"
#include "platform/window/x11/XErrors.h"

namespace clavora {

namespace {

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
    SDL_LogSetOutputFunction([](void*, int, SDL_LogPriority, const char*) {}, nullptr);
    TimingLog().Mark("platform-start");
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
    TimingLog().Mark("video-ready");
    // Sound starts at once, beside everything the window does before it shows.
    m_audio = std::make_unique<AudioOut>();
    if (m_video) m_audio->Start();
    m_midiIn = std::make_unique<MidiInput>();
    // The window is made now, hidden, for its scale: the program's bitmaps, loaded
    // before the window shows, are made at that scale and from the art drawn for it.
    if (m_video) m_window = CreateScaledWindow("Clavora", m_scale, m_pixelsPerUnit);
    m_rects.reserve(64);
    m_uploadRects.reserve(128);
}

SdlPlatform::~SdlPlatform() {
    {
        std::lock_guard<std::mutex> hold(WindowLock());
        m_clock.Stop();
        m_midiIn->Disable();
    }
    m_midiIn.reset();
    m_audio.reset();
    m_image.reset();
    if (m_window) SDL_DestroyWindow(m_window);
    SDL_Quit();
    TimingLog().Close();
}

void SdlPlatform::RunModal(WindowHandler& handler) {
    if (!m_video) {
        std::fprintf(stderr, "clavora: cannot open the window: no display\n");
        m_windowFailed = true;
        return;
    }
    // The window was made hidden, sized to the desktop's scale; it shows with its icon.
    if (!m_window) m_window = CreateScaledWindow("Clavora", m_scale, m_pixelsPerUnit);
    if (!m_window) {
        std::fprintf(stderr, "clavora: cannot open the window: %s\n", SDL_GetError());
        m_windowFailed = true;
        return;
    }
    m_image = MakeFrameImage(m_window, m_scale, m_pixelsPerUnit);
    if (!m_image) {
        std::fprintf(stderr, "clavora: cannot open the window: no way to show its picture\n");
        m_windowFailed = true;
        return;
    }
    SetIcon();
    SDL_ShowWindow(m_window);
    HoldWindowSize(m_window);
    TimingLog().Mark("window-shown");
    // Keys are commands here, not text.
    SDL_StopTextInput();
    // A file dropped on the window is handed to the program by its path.
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
    m_windowThread = std::this_thread::get_id();
    m_endModal = false;
    m_handler = &handler;

    Handle([&] { handler.OnInitDialog(); });
    TimingLog().Mark("window-initialised");
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
    m_image.reset();
    m_haveFrame = false;
    SDL_DestroyWindow(m_window);
    m_window = nullptr;
}

void SdlPlatform::EndModal() { m_endModal = true; }

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
void SdlPlatform::WakeForMidi(void* self) {
    auto* platform = static_cast<SdlPlatform*>(self);
    if (!platform->m_clockHeld) return;
    platform->ReleaseClock();
    SDL_Event wake{};
    wake.type = SDL_USEREVENT;
    SDL_PushEvent(&wake);
}

bool SdlPlatform::MidiOutOpen() {
    m_audio->OpenMidi();
    return true;
}

void SdlPlatform::MidiOutShortMsg(uint32_t msg) { m_audio->ShortMessage(msg); }

void SdlPlatform::MidiOutClose() { m_audio->CloseMidi(); }

bool SdlPlatform::MidiInOpen(MidiInCallback callback, uintptr_t instance) {
    m_midiIn->SetWake(&SdlPlatform::WakeForMidi, this);
    return m_midiIn->Open(kMidiSources, std::size(kMidiSources), callback, instance);
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

// Art at the window's scale where the program holds it: the 2x set is read only by a
// window at 2x.
ResourceBytes SdlPlatform::FindResource(int id) { return FindScaledResource(id, m_scale); }

}  // namespace clavora
