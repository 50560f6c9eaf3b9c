// The output limiter: what is below its ceiling passes untouched, what is above leaves
// at or below it on both channels, and the level comes back once the loud part is over.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "platform/audio/Limiter.h"
#include "platform/audio/Pcm.h"

namespace clavora::test {
namespace {

// frames stereo frames of a sine at amplitude amp on the left, -amp on the right.
std::vector<float> Sine(float amp, size_t frames, double hz = 441) {
    std::vector<float> s(2 * frames);
    for (size_t i = 0; i < frames; ++i) {
        const float v = amp * static_cast<float>(std::sin(2 * M_PI * hz * i / kAudioRate));
        s[2 * i] = v;
        s[2 * i + 1] = -v;
    }
    return s;
}

float Peak(const std::vector<float>& s, size_t from = 0) {
    float p = 0;
    for (size_t i = from; i < s.size(); ++i) p = std::fmax(p, std::fabs(s[i]));
    return p;
}

TEST(Limiter, LevelsAtOrBelowTheCeilingPassUntouched) {
    for (const float amp : {0.0f, 0.01f, 0.25f, 0.5f, Limiter::kCeiling}) {
        Limiter limiter;
        std::vector<float> s = Sine(amp, 4096);
        const std::vector<float> before = s;
        limiter.Process(s.data(), 4096);
        EXPECT_EQ(s, before) << "amplitude " << amp;
    }
}

TEST(Limiter, LouderLevelsLeaveBelowFullScaleOnBothChannels) {
    for (const float amp : {0.95f, 1.0f, 2.0f, 8.0f, 100.0f}) {
        Limiter limiter;
        std::vector<float> s = Sine(amp, 8192);
        limiter.Process(s.data(), 8192);
        EXPECT_LE(Peak(s), Limiter::kCeiling * 1.0001f) << "amplitude " << amp;
        // Turned down, not cut off: the loud sine still reaches near the ceiling.
        EXPECT_GT(Peak(s, s.size() / 2), 0.8f * Limiter::kCeiling) << "amplitude " << amp;
        std::vector<int16_t> pcm(s.size());
        FloatToPcm16(s.data(), pcm.data(), s.size());
        for (int16_t v : pcm) ASSERT_TRUE(v != INT16_MAX && v != INT16_MIN) << "amplitude " << amp;
    }
}

TEST(Limiter, TheLevelComesBackAfterALoudPassage) {
    Limiter limiter;
    std::vector<float> loud = Sine(4.0f, 4410);
    limiter.Process(loud.data(), 4410);
    // Right after it a soft sine is still turned down; a second later it is itself again.
    std::vector<float> soft = Sine(0.5f, kAudioRate);
    limiter.Process(soft.data(), kAudioRate);
    EXPECT_LT(Peak(std::vector<float>(soft.begin(), soft.begin() + 400)), 0.45f);
    EXPECT_FLOAT_EQ(Peak(soft, soft.size() - 2000), 0.5f * Peak(Sine(1.0f, 2000)));
}

TEST(Limiter, BrokenSamplesLeaveAsSilenceAndDoNotHoldTheLevelDown) {
    Limiter limiter;
    std::vector<float> s = {std::numeric_limits<float>::infinity(), 0.1f,
                            std::numeric_limits<float>::quiet_NaN(), 0.2f};
    limiter.Process(s.data(), 2);
    EXPECT_EQ(s[0], 0.0f);
    EXPECT_EQ(s[1], 0.0f);
    EXPECT_EQ(s[2], 0.0f);
    EXPECT_EQ(s[3], 0.0f);
    std::vector<float> after = Sine(0.5f, 100);
    const std::vector<float> before = after;
    limiter.Process(after.data(), 100);
    EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace clavora::test
