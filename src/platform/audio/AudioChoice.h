// Which of the program's sound outputs to try, and in what order, as the environment
// asks: CLAVORA_AUDIO names one and only that one is tried; otherwise every output in
// the table's order, except that a user who chose another of SDL's drivers
// (SDL_AUDIODRIVER=alsa, disk, dummy) gets SDL alone, and one who names a PulseAudio
// server or its buffer (PULSE_SERVER, PULSE_LATENCY_MSEC) gets the PulseAudio protocol
// even where PipeWire runs.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace clavora {

using EnvLookup = std::function<const char*(const char*)>;

struct AudioChoice {
    std::vector<int> order;  // indices into the table's names, first choice first
    std::string complaint;   // a word for the user when CLAVORA_AUDIO named no output
};

AudioChoice ChooseAudioOutputs(const std::vector<std::string>& names, const EnvLookup& env);

}  // namespace clavora
