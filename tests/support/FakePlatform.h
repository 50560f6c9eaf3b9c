// A platform for tests: no window, no sound, no clock of its own. It records every
// MIDI message and sound, returns scripted times and random values, keeps the last
// presented frame, and lets a test step frames by hand.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/midi/HeldNotes.h"
#include "raster/DrawLog.h"

namespace clavora::test {

class FakePlatform : public Platform {
public:
    // What RunModal does between OnInitDialog and OnDestroy; by default nothing.
    std::function<void(WindowHandler&)> script;

    FakePlatform() { damage.reserve(64); }  // presenting allocates nothing, as the window's

    void RunModal(WindowHandler& handler) override;
    void EndModal() override;
    void Present(const Frame& frame) override;
    bool IsMinimized() override { return minimized; }
    void DrawIcon(int x, int y) override;
    bool StartFrameTimer(int periodMs) override;
    void StopFrameTimer() override;
    bool MidiOutOpen() override;
    void MidiOutShortMsg(uint32_t msg) override { midi.push_back(msg); }
    void MidiOutClose() override;
    bool MidiInOpen(MidiInCallback callback, uintptr_t instance) override;
    void MidiInClose() override;
    void PlaySound(int id) override { sounds.push_back(id); }
    int32_t Time() override { return now; }
    void SeedRandom(uint32_t seed) override;
    int32_t Random() override;
    ResourceBytes FindResource(int id) override;

    // Sends one packed message to the MIDI callback, as the input device would.
    void SendMidiIn(uint32_t msg);
    // Drops a file on the window, as the window system would: the path is a copy that
    // lives only for the call, so a handler that keeps it is caught under the sanitizers.
    static void DropFile(WindowHandler& window, const std::string& path);
    // The same from device 0, whose held notes the platform keeps track of; and device
    // 0 going away, which releases what it held as the real platform does.
    void SendDeviceMidiIn(uint32_t msg) {
        device0.Track(msg);
        SendMidiIn(msg);
    }
    void UnplugDevice() {
        device0.ReleaseAll([&](uint32_t release) { SendMidiIn(release); });
    }
    HeldNotes device0;

    // Recorded output.
    std::vector<uint32_t> midi;
    std::vector<int> sounds;
    std::vector<std::string> log;  // lifecycle calls in order
    std::vector<uint32_t> frame;   // the last presented frame, 800 x 520 device pixels at 1x
    int frameScale = 0;            // its scale
    int presented = 0;
    // Present copies only what the frame's copies changed, as the real window does.
    bool presentChangesOnly = false;
    std::vector<GdiRect> damage;   // the last presented frame's, logical
    int iconX = -1, iconY = -1;

    // Scripted inputs.
    int32_t now = 1000000;
    bool minimized = false;
    bool midiInAvailable = true;
    std::deque<int32_t> randoms;  // consumed first; then a fixed LCG
    uint32_t seed = 0;

    // State the program set up.
    bool timerRunning = false;
    int timerPeriod = 0;
    bool modalEnded = false;
    MidiInCallback midiIn = nullptr;
    uintptr_t midiInInstance = 0;
    bool midiOutOpen = false;

    uint32_t Pixel(int x, int y) const { return frame[static_cast<size_t>(y) * kFrameWidth + x]; }

private:
    uint32_t lcg_ = 12345;
};

// Makes a fresh empty directory the working directory for the life of the object,
// and goes back (removing it) afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string old_;
};

// Whole-file helpers for tests.
std::vector<uint8_t> ReadFileBytes(const std::string& name);
void WriteFileBytes(const std::string& name, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& name);
// The temporary files of writes (NAME.XXXXXX.tmp) in the working directory.
int TemporaryFilesLeft();

}  // namespace clavora::test
