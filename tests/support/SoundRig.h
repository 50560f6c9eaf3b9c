// The program's sound path without a sound card: the main window on a platform whose
// MIDI output goes to the real synthesizer (the real SoundFont, the audio callback's
// own rendering, driven by hand), and the real MIDI input's delivery thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/PianoDlg.h"
#include "support/FakePlatform.h"
#include "platform/audio/fluidsynth/AudioOut.h"
#include "platform/midi/MidiInput.h"

namespace clavora::bench {

inline int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The first stereo frame of a buffer with any sample that is not zero, or -1.
int FirstSoundingFrame(const int16_t* samples, int frames);

// Where in the audio stream a key's first sample lands, in sample frames after the
// key: callbacks run at the start of every buffer period; an event `position` frames
// into a period is rendered by the next callback, `buffersBefore` buffers of which
// still came out silent, and sounds `onset` frames into the buffer that has it.
constexpr int KeyToSoundFrames(int position, int buffersBefore, int onset) {
    return (AudioOut::kBufferFrames - position) + buffersBefore * AudioOut::kBufferFrames + onset;
}

// Median and maximum of a set of figures (the set is sorted).
struct Spread {
    double median = 0;
    double worst = 0;
};
Spread SpreadOf(std::vector<double>& values);

// A platform whose MIDI output reaches the synthesizer and stamps the moment it has.
class SynthPlatform final : public test::FakePlatform {
public:
    explicit SynthPlatform(AudioOut& audio) : audio_(audio) {}
    bool MidiOutOpen() override {
        audio_.OpenMidi();
        return test::FakePlatform::MidiOutOpen();
    }
    void MidiOutShortMsg(uint32_t msg) override {
        audio_.ShortMessage(msg);
        reachedNs.store(NowNs(), std::memory_order_relaxed);
        reached.fetch_add(1, std::memory_order_release);
    }
    void MidiOutClose() override {
        audio_.CloseMidi();
        test::FakePlatform::MidiOutClose();
    }

    std::atomic<int64_t> reachedNs{0};  // steady clock of the last message applied
    std::atomic<uint32_t> reached{0};   // messages applied so far

private:
    AudioOut& audio_;
};

// The window made as the program makes it, with the synthesizer loaded.
class SoundRig {
public:
    SoundRig();
    ~SoundRig();
    SoundRig(const SoundRig&) = delete;
    SoundRig& operator=(const SoundRig&) = delete;

    bool Ready() const { return ready_; }
    CPianoDlg& Dlg() { return *dlg_; }
    SynthPlatform& Platform() { return platform_; }
    AudioOut& Audio() { return audio_; }

    // One audio callback's worth: kBufferFrames stereo frames into buf.
    void RenderBuffer(int16_t* buf) { audio_.RenderByHand(buf, AudioOut::kBufferFrames); }
    // Renders until `quiet` buffers in a row are all zero (at most 20 s of sound).
    bool RenderUntilSilent(int quiet);

private:
    test::TempDir dir_;
    AudioOut audio_;
    SynthPlatform platform_{audio_};
    std::unique_ptr<CPianoDlg> dlg_;
    bool ready_ = false;
};

}  // namespace clavora::bench
