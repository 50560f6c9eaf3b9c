// A MIDI queue that runs full loses messages, and a lost release would leave its note
// stuck: once the queue has drained, what MIDI input holds is released, and counted.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/window/WindowLock.h"
#include "platform/midi/MidiInput.h"

namespace clavora {
namespace {

std::vector<uint32_t> g_seen;

TEST(MidiOverflow, AReleaseLostToAFullQueueIsMadeUpOnceItHasDrained) {
    MidiInput input;
    input.OpenWithoutPorts(
        [](void*, uint32_t wMsg, uintptr_t, uintptr_t msg, uintptr_t) {
            if (wMsg == MIM_DATA) g_seen.push_back(static_cast<uint32_t>(msg));
        },
        0);
    std::vector<unsigned char> press{0x90, 60, 64}, pedal{0xB0, 64, 127}, program{0xC0, 5}, release{0x90, 60, 0};
    {
        // The window is busy: everything queues, until the queue is full.
        std::lock_guard<std::mutex> hold(WindowLock());
        input.Inject(press);
        input.Inject(pedal);
        for (int i = 0; i < 1100; ++i) input.Inject(program);
        input.Inject(release);  // lost
    }
    // However many the queue took (1024, and one more if delivery had begun), the
    // releases come last.
    auto done = [] { return !g_seen.empty() && g_seen.back() == 0x000040B0u; };
    for (int i = 0; i < 5000; ++i) {
        {
            std::lock_guard<std::mutex> hold(WindowLock());
            if (done()) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::lock_guard<std::mutex> hold(WindowLock());
    ASSERT_GE(g_seen.size(), 1024u + 2u);
    ASSERT_LE(g_seen.size(), 1025u + 2u);
    EXPECT_EQ(g_seen[0], 0x00403C90u);
    EXPECT_EQ(g_seen[g_seen.size() - 2], 0x00003C90u) << "the note comes up";
    EXPECT_EQ(g_seen.back(), 0x000040B0u) << "so does the pedal";
    EXPECT_EQ(input.Overflows(), 1u);
}

}  // namespace
}  // namespace clavora
