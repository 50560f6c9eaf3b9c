#include "platform/audio/Pcm.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "raster/LittleEndian.h"

namespace clavora {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

}  // namespace

bool ParseWav(const uint8_t* data, size_t size, PcmSound& sound) {
    if (!data || size < 12 || std::memcmp(data, "RIFF", 4) != 0 ||
        std::memcmp(data + 8, "WAVE", 4) != 0)
        return false;
    // The RIFF size may claim more than there is; the bytes we have are the limit.
    const size_t end = std::min(size, static_cast<size_t>(Le32(data + 4)) + 8);
    bool haveFormat = false;
    int channels = 0;
    size_t pos = 12;
    while (pos + 8 <= end) {
        const uint8_t* chunk = data + pos;
        const size_t length = Le32(chunk + 4);
        const size_t body = pos + 8;
        const size_t avail = end - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (length < 16 || avail < 16) return false;
            const uint8_t* f = data + body;
            uint16_t format = Le16(f);
            if (format == kFormatExtensible && length >= 40 && avail >= 40)
                format = Le16(f + 24);  // the sub-format GUID starts with the format tag
            channels = Le16(f + 2);
            const uint32_t rate = Le32(f + 4);
            const uint16_t blockAlign = Le16(f + 12);
            const uint16_t bits = Le16(f + 14);
            if (format != kFormatPcm || (channels != 1 && channels != 2) || rate != kAudioRate ||
                bits != 16 || blockAlign != channels * 2)
                return false;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return false;
            const size_t bytes = std::min(length, avail);
            const size_t frames = bytes / (2 * static_cast<size_t>(channels));
            sound.channels = channels;
            sound.frames = frames;
            sound.samples.resize(frames * channels);
            const uint8_t* s = data + body;
            for (size_t i = 0; i < sound.samples.size(); ++i)
                sound.samples[i] = static_cast<int16_t>(Le16(s + 2 * i));
            return true;
        }
        // Chunks are padded to an even length.
        if (length > end - body) break;
        pos = body + length + (length & 1);
    }
    return false;
}

void FloatToPcm16(const float* in, int16_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const float v = in[i] * 32767.0f;
        if (std::isnan(v)) {
            out[i] = 0;
        } else if (v >= 32767.0f) {
            out[i] = INT16_MAX;
        } else if (v <= -32768.0f) {
            out[i] = INT16_MIN;
        } else {
            out[i] = static_cast<int16_t>(std::lrintf(v));
        }
    }
}

size_t MixSound(int16_t* out, size_t frames, const PcmSound& sound, size_t pos) {
    if (pos >= sound.frames || sound.channels < 1) return sound.frames;
    const size_t n = std::min(frames, sound.frames - pos);
    if (sound.channels == 1) {
        const int16_t* src = sound.samples.data() + pos;
        for (size_t i = 0; i < n; ++i) {
            out[2 * i] = SaturatingAdd(out[2 * i], src[i]);
            out[2 * i + 1] = SaturatingAdd(out[2 * i + 1], src[i]);
        }
    } else {
        const int16_t* src = sound.samples.data() + 2 * pos;
        for (size_t i = 0; i < 2 * n; ++i) out[i] = SaturatingAdd(out[i], src[i]);
    }
    return pos + n;
}

size_t MixSoundFloat(float* out, size_t frames, const PcmSound& sound, size_t pos, float gain) {
    if (pos >= sound.frames || sound.channels < 1) return sound.frames;
    const size_t n = std::min(frames, sound.frames - pos);
    const float scale = gain / 32768.0f;
    if (sound.channels == 1) {
        const int16_t* src = sound.samples.data() + pos;
        for (size_t i = 0; i < n; ++i) {
            const float v = src[i] * scale;
            out[2 * i] += v;
            out[2 * i + 1] += v;
        }
    } else {
        const int16_t* src = sound.samples.data() + 2 * pos;
        for (size_t i = 0; i < 2 * n; ++i) out[i] += src[i] * scale;
    }
    return pos + n;
}

}  // namespace clavora
