// Sound: the built-in General MIDI synthesizer with the game sound mixed over it, played
// through whichever output the keeper has open (a PipeWire or PulseAudio stream, or
// SDL's device). The outputs open on the keeper's thread and the SoundFont loads on a
// thread of its own, so neither holds back the window; the SoundFont loads whether an
// output opened or not, so that one found later plays at once. MIDI messages sent
// before the synthesizer is ready are kept as the state they leave and applied once it
// is. The senders hand their messages to the synthesizer themselves (SynthQueue); the
// audio thread only renders, so whatever a message makes the synthesizer read from disk
// (an instrument's samples) never holds the sound up, and while the output stands still
// the messages fold into the state they leave, applied once it runs again.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/midi/MidiMessage.h"
#include "platform/audio/Limiter.h"
#include "platform/audio/OutputKeeper.h"
#include "platform/audio/Pcm.h"
#include "platform/audio/SynthQueue.h"

struct _fluid_synth_t;
struct _fluid_hashtable_t;

namespace clavora {

class AudioOut final : private KeptSound {
public:
    // At most this many sample frames per buffer: 5.8 ms at 44100 Hz.
    static constexpr int kBufferFrames = 256;
    static constexpr int kMaxSounds = 64;

    AudioOut();
    ~AudioOut();
    AudioOut(const AudioOut&) = delete;
    AudioOut& operator=(const AudioOut&) = delete;

    // Opens an output and loads the synthesizer in the background. Call once the
    // window system is up.
    void Start();

    // MIDI output to the synthesizer. Messages count only while it is open.
    void OpenMidi();
    void ShortMessage(uint32_t msg);
    void CloseMidi();

    // A SoundFont dropped on the window: loaded on a thread of its own and played from
    // then on; one that cannot be is refused with a line on standard error, and the
    // sound stays as it was. Window thread.
    void LoadSoundFont(const char* path);
    // The same, on the calling thread: true once the SoundFont at path plays.
    bool ReplaceSoundFont(const std::string& path);
    // The SoundFont playing now; empty before one is (for tests of the program).
    std::string SoundFontPlaying() const;

    // The slot of sound id, parsing its WAVE bytes at the first call; -1 when the sound
    // cannot be parsed or there are too many. Window thread only.
    int SoundSlot(int id, const uint8_t* data, size_t size);
    // Plays the sound in this slot from its start, cutting off the one playing.
    void Play(int slot);

    // True once the synthesizer sounds (for measurements and tests of the program).
    bool SynthReady() const { return m_ready.load(std::memory_order_acquire); }
    // The device's callbacks so far, those with any sound, and whether the callback is
    // resting now (for measurements and tests of the program).
    uint64_t Callbacks() const { return m_callbacks.load(std::memory_order_relaxed); }
    uint64_t AudibleCallbacks() const { return m_audibleCallbacks.load(std::memory_order_relaxed); }
    bool Resting() const { return m_resting.load() || m_paused.load(); }
    // The window system's device events, from the window thread, returning at once: an
    // output device given up for good (which is its device id), or one that has
    // appeared. A lost output of ours is replaced by the next that opens.
    void DeviceRemoved(uint32_t which) { m_keeper.DeviceRemoved(which); }
    void DeviceAdded() { m_keeper.Poke(); }
    // Outputs lost while they played (for tests of the program), and the one playing
    // now ("" with none).
    uint64_t LostDevices() const { return m_keeper.Losses(); }
    const char* OutputName() const { return m_keeper.Playing(); }
    // Messages folded into the backlog while the output stood still.
    uint64_t FoldedMessages() const { return m_queue.Folded(); }
    // The queue asked of a sound server now, in frames; 0 without one.
    int LatencyFrames() const { return m_keeper.LatencyFrames(); }

    // Instead of Start, for measurements without a sound card: loads the synthesizer on
    // the calling thread and leaves the audio callback's work to RenderByHand, which
    // fills frames stereo frames exactly as the callback does. False without a SoundFont.
    bool LoadWithoutDevice();
    void RenderByHand(int16_t* out, size_t frames) { Render(out, frames); }

private:
    // Frames of silence after which an untouched synthesizer is not rendered and the
    // fill may rest: as long as the live output asks, whatever size its fills are.
    int64_t SilenceBeforeIdle() const {
        return int64_t{m_keeper.RestAfterMs()} * kAudioRate / 1000;
    }

    // The output's thread: fills length bytes of 16-bit stereo; true when there was
    // nothing to play, after resting until there was (mayRest) or at once (for a stream
    // that pauses instead).
    bool Fill(uint8_t* stream, int length, bool mayRest) override;
    // The output's main loop, about to pause its stream: true when nothing was asked for
    // since Fill found nothing to play; the stream then counts as resting.
    bool MayPause() override;
    // The keeper: a resting Fill returns.
    void EndRest() override;
    void Render(int16_t* out, size_t frames);
    // Audio thread: while nothing sounds and nothing is asked for, the callback waits
    // here instead of returning silence hundreds of times a second, until the wake-up
    // count moves on from seen.
    void RestUntilWoken(uint32_t seen);
    // Wakes a resting callback: a message, a sound or the end is on its way.
    void Wake();
    void LoadInBackground();
    bool LoadSynth();
    // The first SoundFont of the machine's choice that loads, as a new synthesizer, and
    // the file it plays.
    _fluid_synth_t* CreateSynth(std::string& path);
    void EnsureSettings();
    // Makes synth the one that sounds, with the programs chosen and the notes held so
    // far; the one it replaces is deleted once the audio thread has let it go. With
    // onlyFirst, a synthesizer already sounding (a SoundFont dropped meanwhile) stays.
    void Publish(_fluid_synth_t* synth, const std::string& path, bool onlyFirst);
    static void Apply(_fluid_synth_t* synth, const SynthEvent& event);
    // Counts a message handed to the synthesizer and wakes the callback for it.
    void Sent();

    std::thread m_loader;
    std::thread m_dropLoader;
    std::atomic<bool> m_dropBusy{false};
    std::atomic<bool> m_abandon{false};
    _fluid_hashtable_t* m_settings = nullptr;

    // Published once the SoundFont is in; read by the callback without a lock. The
    // callback names the one it renders in m_rendering, so that a synthesizer replaced
    // is deleted only once it is no longer rendered.
    std::atomic<_fluid_synth_t*> m_synth{nullptr};
    std::atomic<_fluid_synth_t*> m_rendering{nullptr};
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_midiOpen{false};
    // The senders' way to the synthesizer: its lock is taken while they hand a message
    // to it, and while one synthesizer replaces another; the audio thread only tries it.
    SynthQueue m_queue;
    // The state the messages so far leave (programs, pedal, held notes): played into a
    // synthesizer as it takes over. Under m_queue.Senders().
    SynthBacklog m_backlog;
    std::string m_soundFont;

    // Game sounds: slots filled on the window thread before they are first played; a
    // request is (sequence << 32 | slot + 1), so that replaying a sound restarts it.
    int m_soundIds[kMaxSounds] = {};
    std::unique_ptr<PcmSound> m_sounds[kMaxSounds];
    int m_soundCount = 0;
    uint32_t m_playSequence = 0;
    std::atomic<uint64_t> m_playRequest{0};
    // Counts the messages applied to the synthesizer. A synthesizer that has rendered
    // nothing but silence for a while, with no message since, stays silent until the
    // next one: the callback then skips it and saves its idle cost.
    std::atomic<uint32_t> m_messages{0};
    // Bumped by every message, sound request and the end; a resting callback waits for
    // it to change. m_resting (a fill resting in place) and m_paused (a stream paused)
    // tell the senders that a wake-up is needed.
    std::atomic<uint32_t> m_wakeups{0};
    std::atomic<bool> m_resting{false};
    std::atomic<bool> m_paused{false};
    // The wake-up count when Fill (not resting) last found nothing to play.
    std::atomic<uint32_t> m_idleSeen{0};
    // After EndRest the fill does not rest until then.
    static constexpr int64_t kLookAroundNs = 50'000'000;
    std::atomic<int64_t> m_noRestUntilNs{0};
    std::atomic<uint64_t> m_callbacks{0};
    std::atomic<uint64_t> m_audibleCallbacks{0};

    // Owned by the callback.
    uint32_t m_messagesSeen = 0;
    int64_t m_silentFrames = 0;
    uint64_t m_playTaken = 0;
    const PcmSound* m_playing = nullptr;
    size_t m_playPos = 0;
    Limiter m_limiter;

    // Last: it stops (and no output calls Fill any more) before the rest goes.
    OutputKeeper m_keeper{*this, kAudioRate};
};

}  // namespace clavora
