// Game sounds: WAVE resources parsed into 16-bit samples, and their mixing into the
// stereo output the synthesizer renders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace clavora {

constexpr int kAudioRate = 44100;

// 16-bit samples at 44100 Hz, interleaved when stereo.
struct PcmSound {
    std::vector<int16_t> samples;
    int channels = 0;
    size_t frames = 0;
};

// Parses a RIFF WAVE file of 16-bit PCM at 44100 Hz, mono or stereo. A data chunk that
// runs past the end of the bytes is cut to the whole frames present. False for anything
// else (another format, rate or depth, a missing chunk, a malformed file).
bool ParseWav(const uint8_t* data, size_t size, PcmSound& sound);

// a + b, held at the ends of the 16-bit range instead of wrapping around.
inline int16_t SaturatingAdd(int16_t a, int16_t b) {
    const int sum = static_cast<int>(a) + static_cast<int>(b);
    if (sum > INT16_MAX) return INT16_MAX;
    if (sum < INT16_MIN) return INT16_MIN;
    return static_cast<int16_t>(sum);
}

// Converts samples of -1.0..1.0 to 16 bits, rounding to the nearest step; anything
// beyond full scale is held at the ends of the range.
void FloatToPcm16(const float* in, int16_t* out, size_t count);

// Adds the sound from frame pos on into frames stereo frames of out (a mono sound goes
// to both sides). Returns the frame the sound continues with next time; sound.frames
// once it has ended.
size_t MixSound(int16_t* out, size_t frames, const PcmSound& sound, size_t pos);

// The same into samples of -1.0..1.0, the sound's own samples scaled by gain.
size_t MixSoundFloat(float* out, size_t frames, const PcmSound& sound, size_t pos, float gain);

}  // namespace clavora
