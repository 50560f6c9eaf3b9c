// The audio device behind AudioOut: a stream of our own on a sound server, or SDL's
// output straight to the sound card where no server runs; and the callback both call,
// which rests while nothing sounds.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <SDL.h>
#include <fluidsynth.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/audio/fluidsynth/AudioOut.h"
#include "platform/audio/pipewire/PipeWireOut.h"
#include "platform/audio/pulse/PulseOut.h"
#include "platform/audio/dbus/RealtimeKit.h"
#include "platform/common/Timing.h"

namespace clavora {

namespace {

// Buffers of silence (about 2 s) after which an untouched synthesizer is not rendered.
constexpr int kSilenceBeforeIdle = 2 * kAudioRate / AudioOut::kBufferFrames;

// The sound server is ours to drive unless the user chose another of SDL's drivers.
bool ServerWanted() {
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    if (!driver || !*driver) return true;
    std::string name(driver);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
        return static_cast<char>(std::tolower(c));
    });
    return name.find("pulse") != std::string::npos || name.find("pipewire") != std::string::npos;
}

// A user who names a PulseAudio server or its buffer gets the PulseAudio protocol even
// where PipeWire runs.
bool PulseAsked() {
    return std::getenv("PULSE_SERVER") != nullptr || std::getenv("PULSE_LATENCY_MSEC") != nullptr;
}

}  // namespace

AudioOut::~AudioOut() {
    m_abandon.store(true);
    Wake();
    if (m_loader.joinable()) m_loader.join();
    if (m_dropLoader.joinable()) m_dropLoader.join();
    // Closing the output waits for a running fill; after it none runs again.
    m_pipewire.reset();
    m_server.reset();
    std::lock_guard<std::mutex> hold(m_deviceLock);
    if (m_device != 0) SDL_CloseAudioDevice(m_device);
    if (fluid_synth_t* synth = m_synth.exchange(nullptr)) delete_fluid_synth(synth);
    if (m_settings) delete_fluid_settings(m_settings);
}

void AudioOut::LoadInBackground() {
    // Without a device there is nothing to hear: the program runs on silently and the
    // SoundFont is not even loaded.
    if (!OpenDevice()) return;
    if (m_abandon.load()) return;
    // The SoundFont loads at a lower priority than the window: on a busy machine the
    // window's first frame comes first, and the sound a moment later.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5);
    LoadSynth();
}

bool AudioOut::OpenDevice() {
    // On a sound server (PulseAudio, or PipeWire's server for PulseAudio clients) the
    // stream is our own: SDL's asks for a queue of one buffer, fills it from an
    // ordinary-priority thread, and a held note drops out whenever that thread is late;
    // a longer queue delays every key by as much. Ours fills from a real-time thread
    // and its queue grows only when the server reports it ran dry.
    // On PipeWire the stream is native: the server's data thread fills each quantum in
    // place, where its server for PulseAudio clients would keep three requests of
    // 5.3 ms queued at the least.
    if (ServerWanted() && !PulseAsked()) {
        auto pipewire =
            std::make_unique<PipeWireOut>(&AudioOut::FillNoWait, &AudioOut::MayPause, this);
        if (pipewire->Open(kAudioRate)) {
            m_pipewire = std::move(pipewire);
            return true;
        }
    }
    if (ServerWanted()) {
        auto server = std::make_unique<PulseOut>(&AudioOut::Fill, this);
        if (server->Open(kAudioRate)) {
            m_server = std::move(server);
            return true;
        }
    }
    // No server: SDL's driver plays straight to the sound card.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    std::lock_guard<std::mutex> hold(m_deviceLock);
    return OpenSdlDevice();
}

bool AudioOut::OpenSdlDevice() {
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
    if (m_device == 0) return false;
    // Game sounds can play from now on; the synthesizer joins them when it is ready.
    SDL_PauseAudioDevice(m_device, 0);
    return true;
}

void AudioOut::DeviceRemoved(uint32_t which) {
    std::lock_guard<std::mutex> hold(m_deviceLock);
    if (m_device == 0 || which != m_device) return;
    // SDL gives a device up for good after an error it cannot recover from (a card
    // unplugged, or a write the driver failed): its thread plays nothing from then on.
    // The sound is not lost with it: the device is opened again at once, which finds the
    // same card where the error passed, or the default one where the card is gone.
    Wake();
    SDL_CloseAudioDevice(m_device);
    m_device = 0;
    m_lostDevices.fetch_add(1, std::memory_order_relaxed);
    // A new device thread: it is raised to real-time scheduling afresh.
    m_raised = false;
    OpenSdlDevice();
}

void AudioOut::DeviceAdded() {
    std::lock_guard<std::mutex> hold(m_deviceLock);
    // A card that appears while the sound has none (lost and not found again) takes it.
    if (m_lostDevices.load(std::memory_order_relaxed) == 0 || m_device != 0) return;
    m_raised = false;
    OpenSdlDevice();
}

int AudioOut::LatencyFrames() const { return m_server ? m_server->LatencyFrames() : 0; }

void AudioOut::Wake() {
    // Sequentially consistent: either the callback sees the new count before it rests,
    // or this sees it resting and wakes it.
    m_wakeups.fetch_add(1);
    if (!m_resting.load()) return;
    if (m_pipewire) {
        m_pipewire->Resume();
        m_resting.store(false);
    } else {
        m_wakeups.notify_one();
    }
}

bool AudioOut::MayPause(void* self) {
    auto* audio = static_cast<AudioOut*>(self);
    // As RestUntilWoken: resting first, then the count, so that a sender either finds
    // it resting (and resumes the stream) or has moved the count on (no pause).
    audio->m_resting.store(true);
    if (audio->m_wakeups.load() == audio->m_idleSeen.load() && !audio->m_abandon.load())
        return true;
    audio->m_resting.store(false);
    return false;
}

void AudioOut::RestUntilWoken(uint32_t seen) {
    m_resting.store(true);
    while (m_wakeups.load() == seen && !m_abandon.load()) m_wakeups.wait(seen);
    m_resting.store(false);
}

void AudioOut::Callback(void* self, uint8_t* stream, int length) {
    auto* audio = static_cast<AudioOut*>(self);
    // SDL's audio thread is an ordinary one; it is raised once, from inside.
    if (!audio->m_raised) {
        audio->m_raised = true;
        const RealtimeGrant grant = MakeThisThreadRealtime();
        TimingLog().Mark(RealtimeGrantName(grant));
    }
    Fill(self, stream, length);
}

bool AudioOut::Fill(void* self, uint8_t* stream, int length) {
    return static_cast<AudioOut*>(self)->FillBuffer(stream, length, true);
}

bool AudioOut::FillNoWait(void* self, uint8_t* stream, int length) {
    return static_cast<AudioOut*>(self)->FillBuffer(stream, length, false);
}

bool AudioOut::FillBuffer(uint8_t* stream, int length, bool mayRest) {
    // Asleep with no sound playing and none asked for: everything rendered so far has
    // left as silence, so the device may starve until the next message or sound. The
    // callback then renders at once, and that message's onset comes out in this buffer.
    // The count is read first: a sender bumps it after its message or sound is posted.
    const uint32_t wakeups = m_wakeups.load();
    const bool idle = m_silentBuffers >= kSilenceBeforeIdle && !m_playing &&
                      m_playRequest.load(std::memory_order_acquire) == m_playTaken &&
                      m_messages.load(std::memory_order_acquire) == m_messagesSeen;
    if (idle && mayRest) RestUntilWoken(wakeups);
    // A caller that may not wait pauses its stream instead, unless woken since.
    if (idle && !mayRest) m_idleSeen.store(wakeups);
    auto* out = reinterpret_cast<int16_t*>(stream);
    const auto frames = static_cast<size_t>(length) / 4;
    Render(out, frames);
    m_callbacks.fetch_add(1, std::memory_order_relaxed);
    if (std::any_of(out, out + 2 * frames, [](int16_t v) { return v != 0; }))
        m_audibleCallbacks.fetch_add(1, std::memory_order_relaxed);
    return idle;
}

}  // namespace clavora
