#include "platform/audio/Limiter.h"

#include <cmath>

#include "platform/audio/Pcm.h"

namespace clavora {

namespace {

// The envelope falls by e in 100 ms.
const float kRelease = std::exp(-1.0f / (0.1f * kAudioRate));

}  // namespace

void Limiter::Process(float* samples, size_t frames) {
    for (size_t i = 0; i < frames; ++i) {
        float& left = samples[2 * i];
        float& right = samples[2 * i + 1];
        if (!std::isfinite(left) || !std::isfinite(right)) {
            // A broken frame says nothing about the level: it leaves as silence.
            left = right = 0;
            continue;
        }
        const float peak = std::fmax(std::fabs(left), std::fabs(right));
        // A peak is taken in at once: the envelope is never below the frame's level, so
        // the gain it gives holds the frame at or below the ceiling.
        m_envelope = std::fmax(peak, m_envelope * kRelease);
        if (!(m_envelope > kCeiling)) continue;
        const float gain = kCeiling / m_envelope;
        left *= gain;
        right *= gain;
    }
    // Nothing is left of a passage long gone but a denormal tail: let it go.
    if (m_envelope < 1e-6f) m_envelope = 0;
}

}  // namespace clavora
