// The output's limiter: keeps the sum of the synthesizer and the game sound below full
// scale without clipping it. Below the ceiling it changes nothing; a louder passage is
// turned down at once (both channels alike) and let back up over about a tenth of a
// second, so many keys held together sound softer rather than distorted.
#pragma once

#include <cstddef>

namespace clavora {

class Limiter {
public:
    // The highest level that leaves: -1 dBFS.
    static constexpr float kCeiling = 0.891f;

    // Limits frames interleaved stereo frames in place.
    void Process(float* samples, size_t frames);

private:
    float m_envelope = 0;  // the recent peak, falling back slowly
};

}  // namespace clavora
