// The timing log's last notes as a benchmark reads them: arrival, hand-over and first
// sample rendered in order on the steady clock, only the newest once more came.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/common/SteadyNs.h"
#include "platform/common/Timing.h"

namespace clavora::test {
namespace {

TEST(TimingNotes, TheNewestNotesAreWrittenWithTheirPartsInOrder) {
    char path[] = "/tmp/clavora-timing-notes.XXXXXX";
    close(mkstemp(path));
    setenv("CLAVORA_TIMING", path, 1);
    Timing log;
    unsetenv("CLAVORA_TIMING");
    const int16_t sounding[4] = {0, 0, 0, 120};
    for (int i = 0; i < 70; ++i) {
        log.NoteSent(SteadyNs());
        log.Rendered(sounding, 2);
    }
    log.Close();
    std::FILE* in = std::fopen(path, "r");
    ASSERT_NE(in, nullptr);
    long long index, arrived, sent, rendered, first = -1, last = -1, count = 0;
    char line[256];
    while (std::fgets(line, sizeof line, in))
        if (std::sscanf(line, "key-note %lld arrived-ns %lld sent-ns %lld rendered-ns %lld",
                        &index, &arrived, &sent, &rendered) == 4) {
            EXPECT_TRUE(0 < arrived && arrived <= sent && sent <= rendered) << line;
            first = first < 0 ? index : first;
            last = index;
            ++count;
        }
    std::fclose(in);
    std::remove(path);
    EXPECT_EQ(count, 64);
    EXPECT_EQ(first, 6);
    EXPECT_EQ(last, 69);
}

}  // namespace
}  // namespace clavora::test
