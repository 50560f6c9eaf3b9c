// Sound straight to a sound card through SDL's audio drivers (ALSA, or whichever the
// user names in SDL_AUDIODRIVER, the disk and dummy drivers among them), where no sound
// server runs. SDL's thread calls the fill, raised to real-time scheduling from
// inside; the fill rests there while nothing sounds. A device SDL gives up (a card
// pulled out, a write the driver failed) is reported lost.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/audio/AudioBackend.h"

namespace clavora {

class SdlOut final : public AudioBackend {
public:
    // At most this many sample frames per buffer: 5.8 ms at 44100 Hz.
    static constexpr int kBufferFrames = 256;

    SdlOut() = default;
    ~SdlOut() override;
    SdlOut(const SdlOut&) = delete;
    SdlOut& operator=(const SdlOut&) = delete;

    const char* Name() const override { return "sdl"; }
    // Starts SDL's audio (each open afresh, so that a driver whose server or card has
    // come back is found again) and opens the default device.
    bool Open(int rate, AudioSource& source) override;
    void Close() override;
    void DeviceRemoved(uint32_t id) override;

private:
    static void Callback(void* self, uint8_t* stream, int length);

    AudioSource* m_source = nullptr;
    std::atomic<uint32_t> m_device{0};
    bool m_raised = false;  // SDL's audio thread
};

}  // namespace clavora
