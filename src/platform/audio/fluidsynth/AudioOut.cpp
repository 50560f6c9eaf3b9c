#include "platform/audio/fluidsynth/AudioOut.h"

#include <fluidsynth.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/common/Timing.h"

namespace clavora {

namespace {

// General MIDI SoundFonts from Debian, in order of preference. TimGM6mb (package
// timgm6mb-soundfont) loads in about 50 ms and adds about 19 MiB; the larger ones are
// only a fallback for a machine where it is missing.
constexpr const char* kSoundFonts[] = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf3/default-GM.sf3",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
};


// True when every sample rounds to 0 in 16 bits.
bool Inaudible(const float* samples, size_t count) {
    constexpr float kHalfStep = 0.5f / 32767.0f;
    for (size_t i = 0; i < count; ++i)
        if (!(std::fabs(samples[i]) < kHalfStep)) return false;
    return true;
}

// Loudness of the synthesizer and of the game sounds. With TimGM6mb one piano key at
// velocity 112 peaks at about -9 dBFS, with an RMS over its first 400 ms of about
// -19 dBFS, as loud as each game sound (their level is set where they are made); see
// bench/sound/bench_level.cpp. Whatever is louder together (many keys, the loudest
// presets) is turned down by the limiter before it reaches full scale.
constexpr double kSynthGain = 2.2;
constexpr float kSoundGain = 1.0f;

}  // namespace

AudioOut::AudioOut() = default;

bool AudioOut::LoadWithoutDevice() {
    if (m_synth.load()) return true;
    return !m_loader.joinable() && LoadSynth();
}

bool AudioOut::LoadSynth() {
    fluid_synth_t* synth = CreateSynth();
    if (!synth) return false;
    // Whatever was played while the SoundFont loaded: the programs chosen and the notes
    // still held. What comes after this is folded too, and caught up by the audio thread.
    m_queue.ReplayBacklog([&](const SynthEvent& e) { Apply(synth, e); });
    m_synth.store(synth, std::memory_order_release);
    m_ready.store(true, std::memory_order_release);
    static std::atomic<bool> marked{false};
    TimingLog().MarkOnce("synth-ready", marked);
    return true;
}

fluid_synth_t* AudioOut::CreateSynth() {
    for (int level = 0; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, nullptr, nullptr);
    m_settings = new_fluid_settings();
    if (!m_settings) return nullptr;
    fluid_settings_setnum(m_settings, "synth.sample-rate", kAudioRate);
    fluid_settings_setnum(m_settings, "synth.gain", kSynthGain);
    fluid_settings_setint(m_settings, "synth.threadsafe-api", 1);
    fluid_synth_t* synth = new_fluid_synth(m_settings);
    if (!synth) return nullptr;
    for (const char* path : kSoundFonts) {
        if (m_abandon.load()) break;
        if (access(path, R_OK) != 0) continue;
        if (fluid_synth_sfload(synth, path, 1) != FLUID_FAILED) return synth;
    }
    delete_fluid_synth(synth);
    return nullptr;
}

void AudioOut::OpenMidi() { m_midiOpen.store(true, std::memory_order_release); }

void AudioOut::CloseMidi() {
    m_midiOpen.store(false, std::memory_order_release);
    if (!m_ready.load(std::memory_order_acquire)) {
        m_queue.DiscardBacklog();
    } else {
        // All Notes Off on every channel, in turn with whatever is still queued.
        for (uint8_t channel = 0; channel < 16; ++channel) {
            SynthEvent off;
            off.kind = SynthEvent::kControl;
            off.channel = channel;
            off.key = 123;
            Send(off);
        }
    }
    Wake();
}

void AudioOut::Send(const SynthEvent& event) {
    // The queue fills only while the output stands still; then the message folds into
    // the backlog, which the audio thread applies when it runs again.
    if (!m_queue.Push(event)) {
        static std::atomic<bool> marked{false};
        TimingLog().MarkOnce("synth-queue-full", marked);
    }
    m_messages.fetch_add(1, std::memory_order_release);
}

void AudioOut::ShortMessage(uint32_t msg) {
    if (!m_midiOpen.load(std::memory_order_acquire)) return;
    const SynthEvent event = DecodeShortMessage(msg);
    if (event.kind == SynthEvent::kNone) return;
    if (!m_ready.load(std::memory_order_acquire)) {
        m_queue.Fold(event);
        return;
    }
    // The audio thread applies it before it renders its next buffer.
    Send(event);
    if (event.kind == SynthEvent::kNoteOn) TimingLog().NoteSent();
    Wake();
}

void AudioOut::Apply(fluid_synth_t* synth, const SynthEvent& e) {
    switch (e.kind) {
    case SynthEvent::kNoteOn:
        fluid_synth_noteon(synth, e.channel, e.key, e.value);
        break;
    case SynthEvent::kNoteOff:
        fluid_synth_noteoff(synth, e.channel, e.key);
        break;
    case SynthEvent::kProgram:
        fluid_synth_program_change(synth, e.channel, e.value);
        break;
    case SynthEvent::kControl:
        fluid_synth_cc(synth, e.channel, e.key, e.value);
        break;
    case SynthEvent::kPitchBend:
        fluid_synth_pitch_bend(synth, e.channel, e.value);
        break;
    case SynthEvent::kChannelPressure:
        fluid_synth_channel_pressure(synth, e.channel, e.value);
        break;
    case SynthEvent::kKeyPressure:
        fluid_synth_key_pressure(synth, e.channel, e.key, e.value);
        break;
    case SynthEvent::kNone:
        break;
    }
}

int AudioOut::SoundSlot(int id, const uint8_t* data, size_t size) {
    for (int i = 0; i < m_soundCount; ++i) {
        if (m_soundIds[i] == id) return m_sounds[i] ? i : -1;
    }
    if (m_soundCount == kMaxSounds) return -1;
    auto sound = std::make_unique<PcmSound>();
    const int slot = m_soundCount++;
    m_soundIds[slot] = id;
    // A sound that cannot be parsed keeps its slot empty, so it is tried only once.
    if (ParseWav(data, size, *sound) && sound->frames > 0) m_sounds[slot] = std::move(sound);
    return m_sounds[slot] ? slot : -1;
}

void AudioOut::Play(int slot) {
    if (slot < 0 || slot >= m_soundCount || !m_sounds[slot]) return;
    const uint64_t request = (static_cast<uint64_t>(++m_playSequence) << 32) |
                             static_cast<uint64_t>(slot + 1);
    m_playRequest.store(request, std::memory_order_release);
    Wake();
}

void AudioOut::Render(int16_t* out, size_t frames) {
    fluid_synth_t* synth = m_synth.load(std::memory_order_acquire);
    // Every message counted is queued already: the count moves after the queue.
    const uint32_t messages = m_messages.load(std::memory_order_acquire);
    if (synth) m_queue.Drain([&](const SynthEvent& e) { Apply(synth, e); });
    if (messages != m_messagesSeen) {
        m_messagesSeen = messages;
        m_silentBuffers = 0;
    }
    if (m_silentBuffers >= kSilenceBeforeIdle) synth = nullptr;
    // The game sound: a new request restarts from the beginning whatever was playing.
    const uint64_t request = m_playRequest.load(std::memory_order_acquire);
    if (request != m_playTaken) {
        m_playTaken = request;
        m_playing = m_sounds[(request & 0xFFFFFFFFu) - 1].get();
        m_playPos = 0;
    }
    float mix[2 * kBufferFrames];
    for (size_t done = 0; done < frames;) {
        const size_t n = std::min(frames - done, static_cast<size_t>(kBufferFrames));
        int16_t* dst = out + 2 * done;
        if (!synth && !m_playing) {
            std::memset(dst, 0, 4 * n);
            done += n;
            continue;
        }
        if (synth) {
            fluid_synth_write_float(synth, static_cast<int>(n), mix, 0, 2, mix, 1, 2);
            m_silentBuffers = Inaudible(mix, 2 * n) ? m_silentBuffers + 1 : 0;
        } else {
            std::fill(mix, mix + 2 * n, 0.0f);
        }
        if (m_playing) {
            m_playPos = MixSoundFloat(mix, n, *m_playing, m_playPos, kSoundGain);
            if (m_playPos >= m_playing->frames) m_playing = nullptr;
        }
        m_limiter.Process(mix, n);
        FloatToPcm16(mix, dst, 2 * n);
        done += n;
    }
    TimingLog().Rendered(out, frames);
}

}  // namespace clavora
