// The queue a sound server is asked to keep: underflows (with how much sound they lacked)
// reported at given moments in, the queue's length after each out. The queue grows by
// what was missing and a margin (a piece more where the server refills it piecemeal), a
// run of underflows counts as its largest, the guard holds, and a long calm steps the
// queue back down to where it started.
#include <gtest/gtest.h>

#include <vector>

#include "platform/audio/AudioLatency.h"

namespace clavora::test {
namespace {

struct Step {
    int64_t ms;   // moment since the stream started
    int missing;  // frames an underflow lacked, or -1: sound went out calmly
    int frames;   // the queue afterwards
};

constexpr int64_t kMs = 1'000'000;

TEST(AudioLatency, QueueGrowsByWhatWasMissingAndCalmShrinksIt) {
    const struct {
        const char* name;
        std::vector<Step> steps;
        int start = AudioLatency::kStartFrames;
        AudioRefill refill = {};
    } cases[] = {
        {"calm from the start", {{100, -1, 384}, {60'000, -1, 384}}},
        {"from the stream's first moments", {{100, 300, 748}, {599, 300, 748}, {600, 300, 1112}}},
        {"a stall of 9 ms past the queue", {{1000, 397, 845}, {5000, -1, 845}}},
        {"a run takes its largest",
         {{1000, 100, 548}, {1200, 400, 848}, {1300, 50, 848}, {1499, 200, 848},
          {1500, 10, 922}}},
        {"one stall after another adds up", {{1000, 100, 548}, {3000, 100, 712}}},
        {"the guard holds", {{1000, 22'050, 2205}, {2000, 500, 2205}}},
        {"calm steps down to the start",
         {{1000, 192, 640}, {20'999, -1, 640}, {21'000, -1, 512}, {30'000, 0, 576},
          {49'999, -1, 576}, {50'000, -1, 448}, {70'000, -1, 384}, {200'000, -1, 384}}},
        {"a start of one's own is the floor",
         {{1000, 256, 576}, {21'000, -1, 448}, {41'000, -1, 320}, {61'000, -1, 256},
          {90'000, -1, 256}},
         256},
        // Refilled a quarter at a time (64 to 192 frames): a piece over what the stall
        // needed, 384 + 52 + 64 = 500 and 166, then 666 + 285 + 64 = 1015 and 192.
        {"refilled in quarters, a piece over",
         {{1000, 52, 666}, {3000, 285, 1207}, {5000, 22'050, 2205}},
         AudioLatency::kStartFrames,
         {4, 64, 192}},
    };
    for (const auto& c : cases) {
        AudioLatency latency;
        latency.Start(0, c.start, c.refill);
        int before = latency.Frames();
        for (const Step& s : c.steps) {
            const bool changed = s.missing >= 0 ? latency.Underflow(s.ms * kMs, s.missing)
                                                : latency.Calm(s.ms * kMs);
            EXPECT_EQ(latency.Frames(), s.frames) << c.name << " at " << s.ms << " ms";
            EXPECT_EQ(changed, s.frames != before) << c.name << " at " << s.ms << " ms";
            before = latency.Frames();
        }
    }
}

}  // namespace
}  // namespace clavora::test
