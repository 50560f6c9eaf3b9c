// The sound path as the benchmarks drive it, without a sound card: the synthesizer
// loaded in place and rendered buffer by buffer exactly as the audio callback renders
// it, and MIDI input handed in as a port's thread would hand it.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "support/SoundRig.h"
#include "piano/Keys.h"
#include "platform/window/WindowLock.h"

namespace clavora::bench {
namespace {

constexpr int kFrames = AudioOut::kBufferFrames;

TEST(SoundPathFigures, FirstSoundingFrameLooksAtBothChannels) {
    std::vector<int16_t> buf(2 * kFrames, 0);
    EXPECT_EQ(FirstSoundingFrame(buf.data(), kFrames), -1);
    buf[2 * 200 + 1] = -1;  // right channel only
    EXPECT_EQ(FirstSoundingFrame(buf.data(), kFrames), 200);
    buf[2 * 7] = 3;
    EXPECT_EQ(FirstSoundingFrame(buf.data(), kFrames), 7);
}

TEST(SoundPathFigures, KeyToSoundCountsTheWaitForTheNextCallback) {
    // Played as a callback starts: a whole period before the next one renders it.
    EXPECT_EQ(KeyToSoundFrames(0, 0, 0), kFrames);
    EXPECT_EQ(KeyToSoundFrames(kFrames - 16, 0, 12), 28);
    // Each buffer that still came out silent adds a period.
    EXPECT_EQ(KeyToSoundFrames(64, 2, 5), (kFrames - 64) + 2 * kFrames + 5);
}

TEST(SoundPathFigures, SpreadIsMedianAndWorst) {
    std::vector<double> odd{5, 1, 9};
    const Spread a = SpreadOf(odd);
    EXPECT_EQ(a.median, 5);
    EXPECT_EQ(a.worst, 9);
    std::vector<double> even{4, 8, 2, 6};
    EXPECT_EQ(SpreadOf(even).median, 5);
    std::vector<double> none;
    EXPECT_EQ(SpreadOf(none).worst, 0);
}

class SoundPath : public ::testing::Test {
protected:
    void SetUp() override {
        if (!rig.Ready()) GTEST_SKIP() << "no General MIDI SoundFont installed";
    }
    // Buffers rendered until the first one with sound; -1 after `limit`.
    int BuffersUntilSound(int limit) {
        int16_t buf[2 * kFrames];
        for (int n = 0; n < limit; ++n) {
            rig.RenderBuffer(buf);
            if (FirstSoundingFrame(buf, kFrames) >= 0) return n;
        }
        return -1;
    }
    void SendIn(uint32_t msg) { DeliverMidiIn(&MidiInProc, 0, msg); }

    SoundRig rig;
};

TEST_F(SoundPath, AKeySoundsInTheFirstBufferAfterItAndStopsWhenReleased) {
    EXPECT_EQ(BuffersUntilSound(4), -1) << "silent before any key";
    SendIn(PackShortMsg(0x90, 60, 100));
    EXPECT_EQ(rig.Dlg().m_nKeyState[39], KEY_HELD);
    EXPECT_EQ(BuffersUntilSound(1), 0);
    SendIn(PackShortMsg(0x90, 60, 0));
    EXPECT_TRUE(rig.RenderUntilSilent(8));
    EXPECT_EQ(BuffersUntilSound(8), -1);
}

TEST_F(SoundPath, ASynthesizerSkippedAfterLongSilenceWakesForTheNextKey) {
    int16_t buf[2 * kFrames];
    for (int i = 0; i < 3 * kAudioRate / kFrames; ++i) rig.RenderBuffer(buf);
    // A click on the lowest white key (A0).
    {
        std::lock_guard<std::mutex> hold(WindowLock());
        rig.Dlg().OnLButtonDown(85, 490);
    }
    EXPECT_GT(rig.Dlg().m_nKeyState[0], 0) << "the click pressed A0";
    EXPECT_EQ(BuffersUntilSound(1), 0);
}

TEST_F(SoundPath, MessagesWithoutPortsArriveInOrderOnlyWhileTheWindowLetsThem) {
    static std::vector<uint32_t> seen;
    seen.clear();
    MidiInput input;
    input.OpenWithoutPorts(
        [](void*, uint32_t wMsg, uintptr_t, uintptr_t msg, uintptr_t) {
            if (wMsg == MIM_DATA) seen.push_back(static_cast<uint32_t>(msg));
        },
        0);
    std::vector<unsigned char> on{0x90, 0x3C, 0x40}, program{0xC0, 0x05}, off{0x90, 0x3C, 0x00};
    {
        // While the window holds its lock (a frame, a handler) nothing is delivered.
        std::lock_guard<std::mutex> hold(WindowLock());
        input.Inject(on);
        input.Inject(program);
        input.Inject(off);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(seen.empty());
    }
    for (int i = 0; i < 2000; ++i) {
        {
            std::lock_guard<std::mutex> hold(WindowLock());
            if (seen.size() >= 3) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::lock_guard<std::mutex> hold(WindowLock());
    EXPECT_EQ(seen, (std::vector<uint32_t>{0x00403C90u, 0x05C0u, 0x00003C90u}));
}

TEST_F(SoundPath, MessagesReachTheSynthesizerThroughTheDeliveryThread) {
    MidiInput input;
    input.OpenWithoutPorts(&MidiInProc, 0);
    const uint32_t before = rig.Platform().reached.load();
    std::vector<unsigned char> on{0x90, 72, 90};
    input.Inject(on);
    for (int i = 0; i < 2000 && rig.Platform().reached.load() == before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(rig.Platform().reached.load(), before + 1);
    EXPECT_EQ(rig.Dlg().m_nKeyState[51], KEY_HELD);
    EXPECT_EQ(BuffersUntilSound(1), 0);
}

}  // namespace
}  // namespace clavora::bench
