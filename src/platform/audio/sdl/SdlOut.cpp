#include "platform/audio/sdl/SdlOut.h"

#include <SDL.h>

#include "platform/audio/dbus/RealtimeKit.h"
#include "platform/common/Timing.h"

namespace clavora {

SdlOut::~SdlOut() { Close(); }

bool SdlOut::Open(int rate, AudioSource& source) {
    if (m_device.load() != 0) return false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    m_source = &source;
    // A new device thread: it is raised to real-time scheduling afresh.
    m_raised = false;
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kBufferFrames;
    want.callback = &SdlOut::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the device takes, so the callback
    // always fills 16-bit stereo at the rate asked.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    m_device.store(device);
    SDL_PauseAudioDevice(device, 0);
    TimingLog().Mark("audio-output-sdl");
    return true;
}

void SdlOut::Close() {
    const uint32_t device = m_device.exchange(0);
    if (device == 0) return;
    // Waits for SDL's thread, which the keeper has already let out of any rest.
    SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlOut::DeviceRemoved(uint32_t id) {
    // SDL gives a device up for good after an error it cannot recover from: its thread
    // plays nothing from then on. The keeper closes it and opens the next that opens,
    // which may be this one again on the default card.
    if (id != 0 && id == m_device.load()) m_source->Lost();
}

void SdlOut::Callback(void* self, uint8_t* stream, int length) {
    auto* out = static_cast<SdlOut*>(self);
    // SDL's audio thread is an ordinary one; it is raised once, from inside.
    if (!out->m_raised) {
        out->m_raised = true;
        const RealtimeGrant grant = MakeThisThreadRealtime();
        TimingLog().Mark(RealtimeGrantName(grant));
    }
    out->m_source->Fill(stream, length, true);
}

}  // namespace clavora
