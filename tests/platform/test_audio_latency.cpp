// The queue a sound server is asked to keep: underflows reported at given moments in,
// the queue's length after each out. Runs of underflows count once, the ceiling holds,
// and a long calm steps the queue back down to where it started, whatever the start.
#include <gtest/gtest.h>

#include <vector>

#include "platform/audio/AudioLatency.h"

namespace clavora::test {
namespace {

struct Step {
    int64_t ms;     // moment since the stream started
    bool underflow; // an underflow reported, or else sound went out calmly
    int frames;     // the queue afterwards
};

constexpr int64_t kMs = 1'000'000;

TEST(AudioLatency, UnderflowsGrowTheQueueAndCalmShrinksIt) {
    const struct {
        const char* name;
        std::vector<Step> steps;
        int start = AudioLatency::kStartFrames;
    } cases[] = {
        {"calm from the start", {{100, false, 384}, {60'000, false, 384}}},
        {"the stream's first moments", {{100, true, 384}, {499, true, 384}, {500, true, 512}}},
        {"a run counts once", {{1000, true, 512}, {1200, true, 512}, {1499, true, 512},
                               {1500, true, 640}}},
        {"up to the ceiling",
         {{1000, true, 512}, {2000, true, 640}, {3000, true, 768}, {4000, true, 896},
          {5000, true, 1024}, {6000, true, 1152}, {7000, true, 1280}, {8000, true, 1408},
          {9000, true, 1536}, {10'000, true, 1664}, {11'000, true, 1764},
          {12'000, true, 1764}, {13'000, true, 1764}, {32'999, false, 1764},
          {33'000, false, 1636}}},
        {"calm steps down to the start",
         {{1000, true, 512}, {2000, true, 640}, {21'999, false, 640}, {22'000, false, 512},
          {30'000, true, 640}, {49'999, false, 640}, {50'000, false, 512},
          {70'000, false, 384}, {200'000, false, 384}}},
        {"a start of one's own is the floor",
         {{1000, true, 384}, {2000, true, 512}, {22'000, false, 384}, {42'000, false, 256},
          {90'000, false, 256}},
         256},
    };
    for (const auto& c : cases) {
        AudioLatency latency;
        latency.Start(0, c.start);
        int before = latency.Frames();
        for (const Step& s : c.steps) {
            const bool changed =
                s.underflow ? latency.Underflow(s.ms * kMs) : latency.Calm(s.ms * kMs);
            EXPECT_EQ(latency.Frames(), s.frames) << c.name << " at " << s.ms << " ms";
            EXPECT_EQ(changed, s.frames != before) << c.name << " at " << s.ms << " ms";
            before = latency.Frames();
        }
    }
}

}  // namespace
}  // namespace clavora::test
