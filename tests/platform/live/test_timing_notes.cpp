// The timing log's last notes, as a benchmark reads them at the end: each note's
// arrival, its hand-over to the synthesizer and its first sample rendered, in order on
// the steady clock, and only the newest ones once more notes came than are kept.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/common/SteadyNs.h"
#include "platform/common/Timing.h"

namespace clavora::test {
namespace {

TEST(TimingNotes, TheNewestNotesAreWrittenWithTheirPartsInOrder) {
    char path[] = "/tmp/clavora-timing-notes.XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    setenv("CLAVORA_TIMING", path, 1);
    Timing log;
    unsetenv("CLAVORA_TIMING");
    ASSERT_TRUE(log.Enabled());
    const int16_t silent[8] = {};
    const int16_t sounding[8] = {0, 0, 0, 0, 0, 120, 0, 0};
    const int notes = 70;  // more than are kept
    for (int i = 0; i < notes; ++i) {
        const int64_t arrived = SteadyNs();
        log.NoteSent(arrived);
        log.Rendered(silent, 4);    // not yet sounding: nothing is counted
        log.Rendered(sounding, 4);  // its first sample
    }
    log.Close();

    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path);
    const std::string all = text.str();
    const std::regex line(R"(key-note (\d+) arrived-ns (\d+) sent-ns (\d+) rendered-ns (\d+))");
    std::vector<long long> indexes;
    for (std::sregex_iterator it(all.begin(), all.end(), line), end; it != end; ++it) {
        const long long arrived = std::stoll((*it)[2]), sent = std::stoll((*it)[3]),
                        rendered = std::stoll((*it)[4]);
        EXPECT_GT(arrived, 0);
        EXPECT_LE(arrived, sent);
        EXPECT_LE(sent, rendered);
        indexes.push_back(std::stoll((*it)[1]));
    }
    ASSERT_EQ(indexes.size(), 64u);
    EXPECT_EQ(indexes.front(), notes - 64);
    EXPECT_EQ(indexes.back(), notes - 1);
    EXPECT_NE(all.find("key-to-sound notes 70 "), std::string::npos) << all.substr(0, 300);
}

}  // namespace
}  // namespace clavora::test
