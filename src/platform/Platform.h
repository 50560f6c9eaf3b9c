// The services the program needs from the world outside it, and nothing more.
// The program's own code reaches the window, the synthesizer, MIDI input, sounds,
// the clock and the random generator only through this interface. The folders beside
// it implement it by concern (window, audio, midi), each library in a folder of its own;
// the tests implement it with a fake.
#pragma once

#include <cstddef>
#include <cstdint>

namespace clavora {

struct GdiRect;

// Size of the one window's client area, and of every frame.
constexpr int kFrameWidth = 800;
constexpr int kFrameHeight = 520;

// The MIDI input callback: the packed message arrives in dwParam1 with wMsg MIM_DATA.
using MidiInCallback = void (*)(void* hMidiIn, uint32_t wMsg, uintptr_t dwInstance,
                                uintptr_t dwParam1, uintptr_t dwParam2);
constexpr uint32_t MIM_DATA = 0x3C3;

// What the window calls back, always on the window's thread.
class WindowHandler {
public:
    virtual ~WindowHandler() = default;
    virtual void OnInitDialog() = 0;             // once, when the window exists
    virtual void OnTimer() = 0;                  // one frame clock tick
    virtual void OnExpose() = 0;                 // the window system asks for a repaint
    virtual void OnLButtonDown(int x, int y) = 0;
    virtual void OnLButtonDblClk(int x, int y) = 0;
    virtual void OnKeyDown(uint32_t vk) = 0;     // virtual-key codes: letters upper case, Space 32
    virtual void OnKeyUp(uint32_t vk) = 0;
    virtual void OnCancel() = 0;                 // Escape, or the window manager's close request
    virtual void OnOK() = 0;                     // Enter
    virtual void OnDestroy() = 0;                // the modal loop has ended; the window still exists
    virtual void OnDropFile(const char* path) = 0;  // a file dropped on the window; path lives for the call
    // The frame clock was held (Platform::HoldFrameTimer) for this many ticks, and runs
    // again: called before the event or MIDI message that woke it is delivered.
    virtual void OnTicksHeld(int64_t ticks) { (void)ticks; }
};

// Virtual-key codes the platform delivers besides letters (their upper-case code) and Space.
constexpr uint32_t VK_RETURN = 0x0D;
constexpr uint32_t VK_ESCAPE = 0x1B;
constexpr uint32_t VK_SPACE = 0x20;

// One finished frame as the window is given it: the picture in device pixels (800s x
// 520s at scale s, 0x00RRGGBB, top row first) and the logical rectangles of the 800 x
// 520 picture that changed since the frame presented before it. A platform that has
// shown no frame yet, or lost what it showed, takes the whole picture whatever the
// rectangles say; a frame whose rectangles are none changed nothing.
struct Frame {
    const uint32_t* pixels = nullptr;
    int width = 0;   // device pixels
    int height = 0;
    int scale = 1;   // device pixels a logical pixel, across and down
    const GdiRect* damage = nullptr;  // logical; valid for the call
    size_t damageCount = 0;
};

struct ResourceBytes {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Window. RunModal creates the 800 x 520 window, calls OnInitDialog, then delivers
    // events to the handler until EndModal; then OnDestroy, then the window goes.
    virtual void RunModal(WindowHandler& handler) = 0;
    virtual void EndModal() = 0;
    // Shows a finished frame; the pixels are read during the call only.
    virtual void Present(const Frame& frame) = 0;
    virtual bool IsMinimized() = 0;
    // True when the window still shows the last frame presented, so that a frame drawn
    // the same need be neither composed nor presented. A platform that cannot tell
    // says false, and is given every frame.
    virtual bool ShowsLastFrame() { return false; }
    // Draws the program icon at (x, y) of the client area of a minimized window.
    virtual void DrawIcon(int x, int y) = 0;

    // Frame clock: a periodic request for a frame, delivered as OnTimer on the window's
    // thread. At most one request is pending at a time.
    virtual bool StartFrameTimer(int periodMs) = 0;
    virtual void StopFrameTimer() = 0;
    // Called from OnTimer: until the next input nothing a tick moves can change, but for
    // counters the window advances itself when told how many ticks passed. The platform
    // may then deliver no ticks until an event or a MIDI message arrives, and calls
    // OnTicksHeld with the ticks it held back before delivering that. A platform that
    // does not hold its clock goes on ticking.
    virtual void HoldFrameTimer() {}

    // MIDI output: packed short messages, status in the lowest byte.
    virtual bool MidiOutOpen() = 0;
    virtual void MidiOutShortMsg(uint32_t msg) = 0;
    virtual void MidiOutClose() = 0;

    // MIDI input: every message of device 0 (and of the program's own port) goes to
    // the callback, serialized with everything the window's thread does.
    virtual bool MidiInOpen(MidiInCallback callback, uintptr_t instance) = 0;
    virtual void MidiInClose() = 0;

    // Plays sound resource id asynchronously, cutting off the one still playing.
    virtual void PlaySound(int id) = 0;

    // Calendar time in whole seconds.
    virtual int32_t Time() = 0;
    // The one random generator: seeded once, then values 0..32767.
    virtual void SeedRandom(uint32_t seed) = 0;
    virtual int32_t Random() = 0;

    // The bytes of the bitmap, sound or icon resource with this id; empty when absent.
    virtual ResourceBytes FindResource(int id) = 0;
};

}  // namespace clavora
