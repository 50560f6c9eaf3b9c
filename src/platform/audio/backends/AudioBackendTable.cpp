// The sound outputs built into this program, in order of preference. Each is compiled
// in only where its library was found (CLAVORA_PULSE, CLAVORA_PIPEWIRE); SDL's output is
// always there.
#include <memory>

#include "platform/audio/AudioBackend.h"
#include "platform/audio/sdl/SdlOut.h"
#if CLAVORA_HAVE_PIPEWIRE
#include "platform/audio/pipewire/PipeWireOut.h"
#endif
#if CLAVORA_HAVE_PULSE
#include "platform/audio/pulse/PulseOut.h"
#endif

namespace clavora {

namespace {

template <class Output>
std::unique_ptr<AudioBackend> Make() {
    return std::make_unique<Output>();
}

// PipeWire's native stream first: the server's data thread fills each quantum in
// place, where its server for PulseAudio clients would keep three requests queued at
// the least. Then a stream of our own on a PulseAudio server (or PipeWire's server for
// PulseAudio clients): SDL's would fill a queue of one buffer from an ordinary thread.
// Last SDL's drivers, straight to the sound card.
constexpr AudioBackendEntry kTable[] = {
#if CLAVORA_HAVE_PIPEWIRE
    {"pipewire", &Make<PipeWireOut>},
#endif
#if CLAVORA_HAVE_PULSE
    {"pulse", &Make<PulseOut>},
#endif
    {"sdl", &Make<SdlOut>},
};

}  // namespace

std::span<const AudioBackendEntry> AudioBackendTable() { return kTable; }

}  // namespace clavora
