// MIDI input from another thread while the window's thread composes frames and runs
// commands: every message must be handled whole, in order, between frames and
// commands, so that no recorded event is lost, torn or written over an end marker.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "support/DlgFixture.h"
#include "piano/Keys.h"
#include "platform/window/WindowLock.h"
#include "recorder/Songs.h"

namespace clavora::test {
namespace {

constexpr int kMessages = 12000;
// The sender and the window's thread keep within one step of each other, so that the
// messages fall among the frames and commands all through the run.
constexpr int kMessagesPerStep = 20;
// Key numbers by source: mouse clicks 1..30, MIDI keys 60..88, MIDI notes above the
// keyboard 89..107. The last ones form one sequence of 38 (key, press or release).
constexpr int kClickTop = 30, kMidiKeyLow = 60, kOffKeyboardLow = 89, kOffKeyboardTop = 107;
constexpr int kSequenceLength = 38;

// The j-th note of the sequence sent above the keyboard: note 109..127, pressed in one
// round of 19 and released in the next.
uint32_t SequenceMessage(int j) {
    const bool release = (j / 19) % 2 == 1;
    return PackShortMsg(0x90, static_cast<uint32_t>(109 + j % 19), release ? 0u : 90u);
}
int SequenceIndex(const SongEvent& e) {
    return (e.nKey - kOffKeyboardLow) + (e.nVelocity == 0 ? 19 : 0);
}

// The i-th message sent: three of every four from the sequence, the fourth presses or
// releases a key of the upper keyboard.
uint32_t Message(int i) {
    if (i % 4 != 3) return SequenceMessage(i - i / 4);
    const int m = i / 4;
    return PackShortMsg(0x90, static_cast<uint32_t>(80 + (m / 2) % 29), m % 2 == 0 ? 64u : 0u);
}

bool WellFormed(const SongEvent& e) {
    const bool keyOk = (e.nKey >= 1 && e.nKey <= kClickTop) ||
                       (e.nKey >= kMidiKeyLow && e.nKey <= kOffKeyboardTop);
    return keyOk && (e.nVelocity == 0 || e.nVelocity == 100) && e.nTick >= 0;
}

class MidiStress : public DlgFixture {
protected:
    // Checks events 0..end-1 of a slot whose recording just ended: well formed, in time
    // order, the sequence from above the keyboard unbroken, and every click recorded.
    void CheckRecording(int slot, int end, int clicks) {
        SCOPED_TRACE("slot " + std::to_string(slot) + ", " + std::to_string(end) + " events");
        ASSERT_GE(end, 0);
        ASSERT_LE(end, kSongEvents);
        if (end < kSongEvents) {
            ASSERT_TRUE(IsEndMarker(g_aSongs[end][slot]));
            EXPECT_EQ(g_aSongs[end][slot].nTick, dlg->m_nTick);
        } else {
            ++fullSlots;
        }
        int pressesByClick = 0, previous = -1;
        for (int e = 0; e < end; ++e) {
            const SongEvent& ev = g_aSongs[e][slot];
            ASSERT_TRUE(WellFormed(ev)) << "event " << e << ": " << ev.nKey << "/" << ev.nVelocity;
            if (e > 0) {
                ASSERT_GE(ev.nTick, g_aSongs[e - 1][slot].nTick) << "event " << e;
            }
            if (ev.nKey <= kClickTop && ev.nVelocity == 100) ++pressesByClick;
            if (ev.nKey >= kOffKeyboardLow) {
                const int index = SequenceIndex(ev);
                if (previous >= 0) {
                    ASSERT_EQ(index, (previous + 1) % kSequenceLength) << "event " << e;
                }
                previous = index;
                ++sequenceEvents;
            }
        }
        EXPECT_EQ(pressesByClick, clicks);
        ++recordings;
    }

    // What a slot may hold once everything has stopped: nothing, events up to an end
    // marker, or 4000 events.
    static void CheckSlot(int slot) {
        SCOPED_TRACE("slot " + std::to_string(slot));
        for (int e = 0; e < kSongEvents; ++e) {
            const SongEvent& ev = g_aSongs[e][slot];
            if (IsEndMarker(ev)) return;
            ASSERT_TRUE(WellFormed(ev)) << "event " << e << ": " << ev.nKey << "/" << ev.nVelocity;
            if (e > 0) {
                ASSERT_GE(ev.nTick, g_aSongs[e - 1][slot].nTick) << "event " << e;
            }
        }
    }

    int recordings = 0, fullSlots = 0, sequenceEvents = 0;
};

TEST_F(MidiStress, MessagesFromAnotherThreadNeverTearTheRecorder) {
    CPianoDlg& d = Make();
    std::atomic<int> steps{0};
    std::atomic<int> delivered{0};
    std::thread sender([&] {
        for (int i = 0; i < kMessages; ++i) {
            while (i / kMessagesPerStep > steps.load()) std::this_thread::yield();
            DeliverMidiIn(&MidiInProc, 0, Message(i));
            delivered.store(i + 1);
        }
    });

    // What the window's thread last saw of the recorder.
    bool wasRecording = false;
    int recSlot = 0, clicks = 0;
    uint32_t lcg = 2024;
    auto next = [&lcg](uint32_t n) {
        lcg = lcg * 1664525u + 1013904223u;
        return (lcg >> 8) % n;
    };
    for (int step = 0; delivered.load() < kMessages || step < kMessages / kMessagesPerStep + 20; ++step) {
        while (delivered.load() < std::min(kMessages, (step - 1) * kMessagesPerStep)) std::this_thread::yield();
        {
            std::lock_guard<std::mutex> hold(WindowLock());
            // A recording that ended by itself filled its slot.
            if (wasRecording && d.m_bRecording == 0) CheckRecording(recSlot, d.m_nEvent, clicks);
            const bool recBefore = d.m_bRecording == 1;
            const int slotBefore = d.m_nSlot;
            // One stretch records without a stop, long enough to fill a slot.
            const bool longTake = step >= 150 && step < 420;
            const uint32_t pick = longTake ? next(10) : next(40);
            bool restarted = false;
            if (step == 150) {
                d.OnKeyUp('R');
                restarted = true;
            } else if (pick < 6) {
                d.OnTimer();
            } else if (pick < 10) {
                const int x = 79 + static_cast<int>(next(17 * 12));
                const int y = next(2) == 0 ? 430 : 490;
                if (d.m_bRecording == 1) ++clicks;
                d.OnLButtonDown(x, y);
            } else if (pick < 13) {
                d.OnKeyUp(VK_SPACE);
            } else if (pick < 15) {
                d.OnKeyUp('R');
                restarted = true;
            } else if (pick < 17) {
                d.OnLButtonDown(727, 408);  // record
                restarted = true;
            } else if (pick < 19) {
                d.OnLButtonDown(760, 408);  // play: starts a recording again from event 0
                restarted = recBefore;
            } else if (pick < 21) {
                d.OnLButtonDown(745, 408);  // stop
            } else if (pick < 23) {
                d.OnLButtonDown(780, next(2) == 0 ? 375 : 390);  // slot up or down
            } else if (pick < 24) {
                d.OnKeyUp('K');
            } else if (pick < 25) {
                d.OnKeyUp('J');
            } else {
                d.OnTimer();
            }
            if (recBefore && d.m_bRecording == 0) {
                CheckRecording(slotBefore, d.m_nEvent, clicks);
                wasRecording = false;
            }
            if (restarted) clicks = 0;
            wasRecording = d.m_bRecording == 1;
            recSlot = d.m_nSlot;
        }
        steps.store(step + 1);
        if (HasFatalFailure()) break;
    }
    steps.store(kMessages);  // lets the sender finish after a failure
    sender.join();
    ASSERT_FALSE(HasFatalFailure());

    {
        std::lock_guard<std::mutex> hold(WindowLock());
        if (wasRecording && d.m_bRecording == 0) CheckRecording(recSlot, d.m_nEvent, clicks);
        if (d.m_bRecording == 1) {
            const int slot = d.m_nSlot;
            d.StopTransport();
            CheckRecording(slot, d.m_nEvent, clicks);
        }
    }
    for (int s = 0; s < kSongSlots; ++s) CheckSlot(s);
    // The run really recorded: many takes, one filled to the end, and most of the
    // sequence sent above the keyboard found in them.
    EXPECT_GE(recordings, 10);
    EXPECT_GE(fullSlots, 1);
    EXPECT_GE(sequenceEvents, 2500);
}

}  // namespace
}  // namespace clavora::test
