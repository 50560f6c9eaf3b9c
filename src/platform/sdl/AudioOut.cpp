#include "platform/sdl/AudioOut.h"

#include <sys/resource.h>
#include <sys/syscall.h>

#include <SDL.h>
#include <fluidsynth.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/sdl/Timing.h"

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

// Buffers of silence (about 2 s) after which an untouched synthesizer is not rendered.
constexpr int kSilenceBeforeIdle = 2 * kAudioRate / AudioOut::kBufferFrames;

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
// What the audio device asks of a sound server, in milliseconds (see OpenDevice).
constexpr const char* kServerLatencyMs = "40";

}  // namespace

AudioOut::AudioOut(Timing* timing) : m_timing(timing) {}

AudioOut::~AudioOut() {
    m_abandon.store(true);
    Wake();
    if (m_loader.joinable()) m_loader.join();
    // Closing the device waits for a running callback; after it none runs again.
    if (m_device != 0) SDL_CloseAudioDevice(m_device);
    if (fluid_synth_t* synth = m_synth.exchange(nullptr)) delete_fluid_synth(synth);
    if (m_settings) delete_fluid_settings(m_settings);
}

void AudioOut::Start() {
    if (m_loader.joinable()) return;
    // Set before the loading thread starts: the environment may not change while another
    // thread reads it.
    setenv("PULSE_LATENCY_MSEC", kServerLatencyMs, 0);
    m_loader = std::thread(&AudioOut::LoadInBackground, this);
}

void AudioOut::LoadInBackground() {
    // Without a device there is nothing to hear: the program runs on silently and the
    // SoundFont is not even loaded.
    if (!OpenDevice()) return;
    // Game sounds can play from now on; the synthesizer joins them when it is ready.
    SDL_PauseAudioDevice(m_device, 0);
    if (m_abandon.load()) return;
    // The SoundFont loads at a lower priority than the window: on a busy machine the
    // window's first frame comes first, and the sound a moment later.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5);
    LoadSynth();
}

bool AudioOut::LoadWithoutDevice() {
    if (m_synth.load()) return true;
    return !m_loader.joinable() && LoadSynth();
}

bool AudioOut::LoadSynth() {
    fluid_synth_t* synth = CreateSynth();
    if (!synth) return false;
    {
        std::lock_guard<std::mutex> hold(m_backlogLock);
        // Whatever was played while the SoundFont loaded: the programs chosen and the
        // notes still held.
        m_backlog.Replay([&](const SynthEvent& e) { Apply(synth, e); });
        m_backlog.Clear();
        m_synth.store(synth, std::memory_order_release);
        m_ready.store(true, std::memory_order_release);
    }
    static std::atomic<bool> marked{false};
    if (m_timing) m_timing->MarkOnce("synth-ready", marked);
    return true;
}

bool AudioOut::OpenDevice() {
    // On a sound server (PulseAudio, or PipeWire's pulse server) SDL asks for a target
    // of one callback buffer, 5.8 ms, and a stream that short runs dry whenever the
    // audio thread is a few milliseconds late: a held note then drops out. 40 ms of
    // server-side buffer keeps a song whole on a busy two-core machine; the callback
    // stays at 256 frames. A user who sets PULSE_LATENCY_MSEC keeps their own value
    // (Start sets it before this thread runs).
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = kAudioRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kBufferFrames;
    want.callback = &AudioOut::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the device takes, so the callback
    // always fills 16-bit stereo at 44100 Hz.
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    return m_device != 0;
}

fluid_synth_t* AudioOut::CreateSynth() {
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
    std::lock_guard<std::mutex> hold(m_backlogLock);
    m_backlog.Clear();
    if (fluid_synth_t* synth = m_synth.load(std::memory_order_acquire)) {
        fluid_synth_all_notes_off(synth, -1);
        m_messages.fetch_add(1, std::memory_order_release);
    }
    Wake();
}

void AudioOut::ShortMessage(uint32_t msg) {
    if (!m_midiOpen.load(std::memory_order_acquire)) return;
    const SynthEvent event = DecodeShortMessage(msg);
    if (event.kind == SynthEvent::kNone) return;
    if (!m_ready.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> hold(m_backlogLock);
        if (!m_ready.load(std::memory_order_relaxed)) {
            m_backlog.Add(event);
            return;
        }
    }
    Apply(m_synth.load(std::memory_order_acquire), event);
    m_messages.fetch_add(1, std::memory_order_release);
    if (m_timing && event.kind == SynthEvent::kNoteOn) m_timing->NoteSent();
    Wake();
}

void AudioOut::Wake() {
    // Sequentially consistent: either the callback sees the new count before it rests,
    // or this sees it resting and wakes it.
    m_wakeups.fetch_add(1);
    if (m_resting.load()) m_wakeups.notify_one();
}

void AudioOut::RestUntilWoken(uint32_t seen) {
    m_resting.store(true);
    while (m_wakeups.load() == seen && !m_abandon.load()) m_wakeups.wait(seen);
    m_resting.store(false);
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

void AudioOut::Callback(void* self, uint8_t* stream, int length) {
    auto* audio = static_cast<AudioOut*>(self);
    // Asleep with no sound playing and none asked for: everything rendered so far has
    // left as silence, so the device may starve until the next message or sound. The
    // callback then renders at once, and that message's onset comes out in this buffer.
    // The count is read first: a sender bumps it after its message or sound is posted.
    const uint32_t wakeups = audio->m_wakeups.load();
    if (audio->m_silentBuffers >= kSilenceBeforeIdle && !audio->m_playing &&
        audio->m_playRequest.load(std::memory_order_acquire) == audio->m_playTaken &&
        audio->m_messages.load(std::memory_order_acquire) == audio->m_messagesSeen)
        audio->RestUntilWoken(wakeups);
    auto* out = reinterpret_cast<int16_t*>(stream);
    const auto frames = static_cast<size_t>(length) / 4;
    audio->Render(out, frames);
    audio->m_callbacks.fetch_add(1, std::memory_order_relaxed);
    if (std::any_of(out, out + 2 * frames, [](int16_t v) { return v != 0; }))
        audio->m_audibleCallbacks.fetch_add(1, std::memory_order_relaxed);
}

void AudioOut::Render(int16_t* out, size_t frames) {
    fluid_synth_t* synth = m_synth.load(std::memory_order_acquire);
    const uint32_t messages = m_messages.load(std::memory_order_acquire);
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
    if (m_timing) m_timing->Rendered(out, frames);
}

}  // namespace clavora
