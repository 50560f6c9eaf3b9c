// The timing log's last notes as a benchmark reads them: arrival, hand-over and first
// sample rendered in order on the steady clock, only the newest once more came.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/common/SteadyNs.h"
#include "platform/common/Timing.h"
#include "support/FakePlatform.h"

namespace clavora::test {
namespace {

TEST(TimingNotes, TheNewestNotesAreWrittenWithTheirPartsInOrder) {
    TempDir dir;
    setenv("CLAVORA_TIMING", "timing", 1);
    Timing log;
    unsetenv("CLAVORA_TIMING");
    const int16_t sounding[4] = {0, 0, 0, 120};
    for (int i = 0; i < 70; ++i) {
        log.NoteSent(SteadyNs());
        log.Rendered(sounding, 2);
    }
    log.Close();
    const std::vector<uint8_t> bytes = ReadFileBytes("timing");
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    long long index, arrived, sent, rendered, first = -1, last = -1, count = 0;
    for (std::string line; std::getline(in, line);)
        if (std::sscanf(line.c_str(), "key-note %lld arrived-ns %lld sent-ns %lld rendered-ns %lld",
                        &index, &arrived, &sent, &rendered) == 4) {
            EXPECT_TRUE(0 < arrived && arrived <= sent && sent <= rendered) << line;
            first = first < 0 ? index : first;
            last = index;
            ++count;
        }
    EXPECT_EQ(count, 64);
    EXPECT_EQ(first, 6);
    EXPECT_EQ(last, 69);
}

}  // namespace
}  // namespace clavora::test
