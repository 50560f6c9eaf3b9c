// The real platform: one window on SDL2 at the desktop's scale, a frame clock thread, the FluidSynth
// synthesizer and the game sounds through the first sound output that opens (AudioOut),
// MIDI input from the first MIDI source that opens.
//
// Threads: the window's thread runs every handler and every frame holding the window
// lock, and uploads each new frame after the handler, with the lock released. The clock
// thread only posts requests for frames. MIDI input's delivery thread hands each message
// to the program under the window lock. The audio thread renders and touches no program state;
// nothing the window's or MIDI's threads call in the sound waits for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/window/FrameTick.h"
#include "platform/common/Random.h"
#include "platform/window/WindowLock.h"
#include "raster/DrawLog.h"

struct SDL_Window;
struct SDL_Surface;
union SDL_Event;

namespace clavora {

class AudioOut;
class FrameImage;
class MidiInput;

class SdlPlatform final : public Platform {
public:
    SdlPlatform();
    ~SdlPlatform() override;
    SdlPlatform(const SdlPlatform&) = delete;
    SdlPlatform& operator=(const SdlPlatform&) = delete;

    void RunModal(WindowHandler& handler) override;
    // True once RunModal has found no display or could not make the window.
    bool WindowFailed() const { return m_windowFailed; }
    void EndModal() override;
    void Present(const Frame& frame) override;
    bool IsMinimized() override;
    bool ShowsLastFrame() override;
    void DrawIcon(int x, int y) override;

    bool StartFrameTimer(int periodMs) override;
    void StopFrameTimer() override;
    void HoldFrameTimer() override;

    bool MidiOutOpen() override;
    void MidiOutShortMsg(uint32_t msg) override;
    void MidiOutClose() override;

    bool MidiInOpen(MidiInCallback callback, uintptr_t instance) override;
    void MidiInClose() override;

    void PlaySound(int id) override;

    int32_t Time() override;
    void SeedRandom(uint32_t seed) override;
    int32_t Random() override;

    ResourceBytes FindResource(int id) override;

private:
    // Runs fn as the handler: under the window lock, marked as in the handler.
    template <class Fn>
    void Handle(Fn&& fn) {
        std::lock_guard<std::mutex> hold(WindowLock());
        m_inHandler = true;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{m_inHandler};
        fn();
    }
    void Dispatch(const SDL_Event& event, WindowHandler& handler);
    void Upload();
    void SetIcon();
    void FinishMidiInClose();
    // Under the window lock: a held clock runs again, the ticks it held back told first.
    void ReleaseClock();
    // Under the window lock, before each MIDI message reaches the program.
    static void WakeForMidi(void* self);

    bool m_video = false;
    SDL_Window* m_window = nullptr;
    int m_scale = 1;  // device pixels a logical pixel, across and down
    bool m_windowFailed = false;
    std::thread::id m_windowThread;
    FrameSchedule m_clock;  // guarded by the window lock
    bool m_clockHeld = false;  // no ticks until the next input; guarded by the window lock
    WindowHandler* m_handler = nullptr;
    std::unique_ptr<AudioOut> m_audio;
    std::unique_ptr<MidiInput> m_midiIn;
    RandomGenerator m_random;

    bool m_endModal = false;
    bool m_inHandler = false;      // the window's thread holds the window lock
    bool m_midiInClosing = false;  // the ports close once the handler has returned

    // Frames go straight into the window's image (the window system's shared-memory
    // image of the window), which then holds the last frame presented: what the window
    // shows, or will after the next upload. Only the rectangles the frame's copies
    // changed (the back buffer's damage) are copied into it and uploaded.
    std::unique_ptr<FrameImage> m_image;
    int m_pixelsPerUnit = 1;             // device pixels a window unit, across and down
    std::vector<GdiRect> m_rects;        // device; reused, so that frames allocate nothing
    std::vector<GdiRect> m_uploadRects;  // device pixels copied but not yet uploaded
    bool m_haveFrame = false;    // the image holds the last frame presented
    bool m_frameDirty = false;   // presented but not yet uploaded
    bool m_forceUpload = false;  // the window system lost the picture (expose)
    std::atomic<bool> m_markedFrame{false};
};

}  // namespace clavora
