// Game sounds: reading WAVE resources and mixing them over the synthesizer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/LittleEndianWriter.h"
#include "platform/audio/Pcm.h"

namespace clavora {
namespace {

using test::Put16;
using test::Put32;
void PutTag(std::vector<uint8_t>& v, const char* tag) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(tag[i]));
}

struct WavSpec {
    uint16_t format = 1;
    uint16_t channels = 1;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    std::vector<int16_t> samples;
    bool dataFirst = false;
    std::string extraChunk;  // a chunk of this many bytes before the data ("" for none)
    int32_t dataSizeAdjust = 0;
};

// The file is written front to back into one vector and the RIFF size is filled in at
// the end, so no chunk is built apart and copied in.
std::vector<uint8_t> MakeWav(const WavSpec& s) {
    std::vector<uint8_t> wav;
    PutTag(wav, "RIFF");
    Put32(wav, 0);  // the size of what follows, filled in below
    PutTag(wav, "WAVE");
    const auto putFmt = [&] {
        PutTag(wav, "fmt ");
        Put32(wav, 16);
        Put16(wav, s.format);
        Put16(wav, s.channels);
        Put32(wav, s.rate);
        Put32(wav, s.rate * s.channels * s.bits / 8);
        Put16(wav, static_cast<uint16_t>(s.channels * s.bits / 8));
        Put16(wav, s.bits);
    };
    const auto putData = [&] {
        PutTag(wav, "data");
        Put32(wav, static_cast<uint32_t>(s.samples.size() * 2 + s.dataSizeAdjust));
        for (int16_t x : s.samples) Put16(wav, static_cast<uint16_t>(x));
    };
    if (s.dataFirst) putData();
    putFmt();
    if (!s.extraChunk.empty()) {
        PutTag(wav, "LIST");
        Put32(wav, static_cast<uint32_t>(s.extraChunk.size()));
        for (char c : s.extraChunk) wav.push_back(static_cast<uint8_t>(c));
        if (s.extraChunk.size() % 2) wav.push_back(0);  // pad byte
    }
    if (!s.dataFirst) putData();

    const uint32_t riffSize = static_cast<uint32_t>(wav.size() - 8);
    for (int i = 0; i < 4; ++i) wav[4 + i] = static_cast<uint8_t>(riffSize >> (8 * i));
    return wav;
}

TEST(PlatformPcm, ReadsMonoAndStereoPastOtherChunks) {
    WavSpec mono;
    mono.samples = {0, 1000, -1000, 32767, -32768};
    mono.extraChunk = "odd";  // three bytes and a pad byte to skip
    PcmSound s;
    std::vector<uint8_t> w = MakeWav(mono);
    ASSERT_TRUE(ParseWav(w.data(), w.size(), s));
    EXPECT_EQ(s.channels, 1);
    EXPECT_EQ(s.frames, 5u);
    EXPECT_EQ(s.samples, mono.samples);

    WavSpec stereo;
    stereo.channels = 2;
    stereo.samples = {1, -1, 2, -2, 3, -3};
    w = MakeWav(stereo);
    ASSERT_TRUE(ParseWav(w.data(), w.size(), s));
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.frames, 3u);
    EXPECT_EQ(s.samples, stereo.samples);
}

TEST(PlatformPcm, RejectsFormatsItCannotPlay) {
    PcmSound s;
    auto rejects = [&](WavSpec spec) {
        spec.samples = {1, 2, 3, 4};
        const std::vector<uint8_t> w = MakeWav(spec);
        return !ParseWav(w.data(), w.size(), s);
    };
    WavSpec rate;
    rate.rate = 22050;
    EXPECT_TRUE(rejects(rate));
    WavSpec eight;
    eight.bits = 8;
    EXPECT_TRUE(rejects(eight));
    WavSpec floats;
    floats.format = 3;
    EXPECT_TRUE(rejects(floats));
    WavSpec three;
    three.channels = 3;
    EXPECT_TRUE(rejects(three));
    WavSpec noFormatYet;
    noFormatYet.dataFirst = true;
    EXPECT_TRUE(rejects(noFormatYet));

    const uint8_t notRiff[] = "RIFX\x10\0\0\0WAVEfmt ";
    EXPECT_FALSE(ParseWav(notRiff, sizeof notRiff, s));
    EXPECT_FALSE(ParseWav(nullptr, 0, s));
    // Cut off inside the format chunk.
    WavSpec ok;
    ok.samples = {1, 2};
    const std::vector<uint8_t> w = MakeWav(ok);
    EXPECT_FALSE(ParseWav(w.data(), 30, s));
}

TEST(PlatformPcm, ShortDataChunkKeepsTheWholeFramesThatArePresent) {
    WavSpec spec;
    spec.channels = 2;
    spec.samples = {10, 11, 20, 21, 30, 31};
    spec.dataSizeAdjust = 1000;  // claims more than the file holds
    std::vector<uint8_t> w = MakeWav(spec);
    w.resize(w.size() - 2);  // the last frame loses its right sample
    PcmSound s;
    ASSERT_TRUE(ParseWav(w.data(), w.size(), s));
    EXPECT_EQ(s.frames, 2u);
    EXPECT_EQ(s.samples, (std::vector<int16_t>{10, 11, 20, 21}));
}

TEST(PlatformPcm, SaturatesInsteadOfWrapping) {
    EXPECT_EQ(SaturatingAdd(30000, 10000), 32767);
    EXPECT_EQ(SaturatingAdd(-30000, -10000), -32768);
    EXPECT_EQ(SaturatingAdd(32767, -1), 32766);
    EXPECT_EQ(SaturatingAdd(-1234, 234), -1000);
}

TEST(PlatformPcm, MixesMonoIntoBothSidesAndStopsAtTheEnd) {
    PcmSound s;
    s.channels = 1;
    s.samples = {100, 20000, -20000, 5};
    s.frames = 4;
    std::vector<int16_t> out = {1, 2, 20000, -1, -20000, 30000};  // three stereo frames
    size_t pos = MixSound(out.data(), 3, s, 0);
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(out, (std::vector<int16_t>{101, 102, 32767, 19999, -32768, 10000}));

    std::vector<int16_t> next = {7, 7, 7, 7, 7, 7};
    pos = MixSound(next.data(), 3, s, pos);
    EXPECT_EQ(pos, 4u);
    // One frame left of the sound; the rest of the buffer is not touched.
    EXPECT_EQ(next, (std::vector<int16_t>{12, 12, 7, 7, 7, 7}));
    EXPECT_EQ(MixSound(next.data(), 3, s, pos), 4u);
    EXPECT_EQ(next, (std::vector<int16_t>{12, 12, 7, 7, 7, 7}));
}

TEST(PlatformPcm, MixesStereoSideBySide) {
    PcmSound s;
    s.channels = 2;
    s.samples = {1000, -1000, 2000, -2000};
    s.frames = 2;
    std::vector<int16_t> out = {0, 0, 32000, -32000};
    EXPECT_EQ(MixSound(out.data(), 2, s, 0), 2u);
    EXPECT_EQ(out, (std::vector<int16_t>{1000, -1000, 32767, -32768}));
    std::vector<int16_t> tail = {0, 0, 0, 0};
    EXPECT_EQ(MixSound(tail.data(), 2, s, 1), 2u);
    EXPECT_EQ(tail, (std::vector<int16_t>{2000, -2000, 0, 0}));
}

TEST(PlatformPcm, ConvertsSynthesizerOutputWithSaturation) {
    const float in[] = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 1.5f, -3.0f,
                        std::numeric_limits<float>::quiet_NaN(), 1e-7f};
    int16_t out[9];
    FloatToPcm16(in, out, 9);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 16384);
    EXPECT_EQ(out[2], -16384);
    EXPECT_EQ(out[3], 32767);
    EXPECT_EQ(out[4], -32767);
    EXPECT_EQ(out[5], 32767);
    EXPECT_EQ(out[6], -32768);
    EXPECT_EQ(out[7], 0);
    EXPECT_EQ(out[8], 0);  // a reverb tail far below one step is silence
}

}  // namespace
}  // namespace clavora
