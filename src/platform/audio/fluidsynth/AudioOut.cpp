#include "platform/audio/fluidsynth/AudioOut.h"

#include <fluidsynth.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/common/SteadyNs.h"
#include "platform/common/Timing.h"

namespace clavora {

namespace {

// True when every sample rounds to 0 in 16 bits.
bool Inaudible(const float* samples, size_t count) {
    constexpr float kHalfStep = 0.5f / 32767.0f;
    for (size_t i = 0; i < count; ++i)
        if (!(std::fabs(samples[i]) < kHalfStep)) return false;
    return true;
}

// Loudness of the game sounds. The synthesizer's gain is set as its SoundFont loads,
// so that one piano key at velocity 112 has an RMS over its first 400 ms of about
// -19 dBFS, as loud as each game sound (their level is set where they are made); see
// bench/sound/bench_level.cpp. Whatever is louder together (many keys, the loudest
// presets) is turned down by the limiter before it reaches full scale.
constexpr float kSoundGain = 1.0f;

}  // namespace

AudioOut::AudioOut() = default;

void AudioOut::OpenMidi() { m_midiOpen.store(true, std::memory_order_release); }

void AudioOut::CloseMidi() {
    m_midiOpen.store(false, std::memory_order_release);
    std::lock_guard<std::mutex> hold(m_queue.Senders());
    m_backlog.Clear();
    m_queue.Discard();
    if (fluid_synth_t* synth = m_synth.load(std::memory_order_acquire)) {
        // All Notes Off on every channel.
        for (int channel = 0; channel < 16; ++channel) fluid_synth_cc(synth, channel, 123, 0);
        Sent();
    }
    Wake();
}

void AudioOut::Sent() {
    // The callback renders again from the next buffer on: the count moves after the
    // synthesizer has the message.
    m_messages.fetch_add(1, std::memory_order_release);
    Wake();
}

void AudioOut::ShortMessage(uint32_t msg) {
    if (!m_midiOpen.load(std::memory_order_acquire)) return;
    const SynthEvent event = DecodeShortMessage(msg);
    if (event.kind == SynthEvent::kNone) return;
    const int64_t arrived = SteadyNs();
    std::lock_guard<std::mutex> hold(m_queue.Senders());
    m_backlog.Add(event);
    fluid_synth_t* synth = m_synth.load(std::memory_order_acquire);
    if (!synth) return;
    // FluidSynth queues the voices for its rendering, which the audio thread does before
    // its next buffer. A program chosen for the first time reads its samples here, on
    // the sender's thread; the sound plays on meanwhile. While the output stands still
    // the message folds instead, and the callback catches up with it when it runs.
    if (!m_queue.Admit(event)) {
        static std::atomic<bool> marked{false};
        TimingLog().MarkOnce("synth-queue-full", marked);
        Sent();
        return;
    }
    Apply(synth, event);
    if (event.kind == SynthEvent::kNoteOn) TimingLog().NoteSent(arrived);
    Sent();
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
    // The synthesizer rendered is named before it is used, and checked again, so that
    // one replaced meanwhile is not deleted under the callback.
    fluid_synth_t* synth = m_synth.load();
    m_rendering.store(synth);
    for (fluid_synth_t* now; (now = m_synth.load()) != synth; m_rendering.store(synth)) synth = now;
    // Every message counted is with the synthesizer already.
    const uint32_t messages = m_messages.load(std::memory_order_acquire);
    if (messages != m_messagesSeen) {
        m_messagesSeen = messages;
        m_silentFrames = 0;
    }
    if (m_silentFrames >= SilenceBeforeIdle()) synth = nullptr;
    // What the senders handed over is rendered from here on; what folded while the
    // output stood still is caught up first (the senders' lock held, so no sender is in
    // the synthesizer meanwhile; tried, never waited for).
    if (synth) m_queue.Rendering([&](const SynthEvent& e) { Apply(synth, e); });
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
            m_silentFrames = Inaudible(mix, 2 * n) ? m_silentFrames + static_cast<int64_t>(n) : 0;
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
    m_rendering.store(nullptr);
    TimingLog().Rendered(out, frames);
}

}  // namespace clavora
