// MIDI input over the table of sources: the first that opens wins, CLAVORA_MIDI tries
// the one it names alone; and what a source hands in reaches the callback as the
// source packed it, under the window lock, the window woken just before.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/midi/MidiInput.h"
#include "platform/window/WindowLock.h"

namespace clavora {
namespace {

// What each fake source does when opened, and which were made.
bool g_opens[2];
std::string g_made;
MidiSink* g_sink = nullptr;

template <int N>
std::unique_ptr<MidiSource> MakeFake() {
    struct Fake final : MidiSource {
        bool Open(MidiSink& sink) override {
            if (g_opens[N]) g_sink = &sink;
            return g_opens[N];
        }
        void Close() override {}
    };
    g_made += static_cast<char>('0' + N);
    return std::make_unique<Fake>();
}

const MidiSourceKind kTable[] = {{"alsa", &MakeFake<0>}, {"jack", &MakeFake<1>}};

void Ignore(void*, uint32_t, uintptr_t, uintptr_t, uintptr_t) {}

TEST(MidiSources, TheFirstThatOpensWinsAndTheVariableNamesOne) {
    struct Case {
        const char* wanted;  // CLAVORA_MIDI, or nullptr
        bool alsa, jack;
        const char* chosen;  // "" when none opens
        const char* made;    // which sources were made, in order
    } cases[] = {
        {nullptr, true, true, "alsa", "0"},
        {nullptr, false, true, "jack", "01"},
        {nullptr, false, false, "", "01"},
        {"jack", true, true, "jack", "1"},
        {"jack", true, false, "", "1"},
        {"alsa", false, true, "", "0"},
        {"oss", false, true, "jack", "01"},  // unknown: each is tried
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.wanted ? c.wanted : "(unset)") + " " + c.made);
        if (c.wanted) setenv("CLAVORA_MIDI", c.wanted, 1);
        else unsetenv("CLAVORA_MIDI");
        g_opens[0] = c.alsa;
        g_opens[1] = c.jack;
        g_made.clear();
        MidiInput input;
        EXPECT_EQ(input.Open(kTable, 2, &Ignore, 0), *c.chosen != 0);
        EXPECT_STREQ(input.SourceName(), c.chosen);
        EXPECT_EQ(g_made, c.made);
    }
    unsetenv("CLAVORA_MIDI");
}

std::vector<std::string> g_calls;  // under the window lock

TEST(MidiSources, AMessageReachesTheCallbackAsTheSourcePackedItAfterTheWake) {
    unsetenv("CLAVORA_MIDI");
    g_opens[0] = true;
    MidiInput input;
    input.SetWake([](void*) { g_calls.push_back("wake"); }, nullptr);
    ASSERT_TRUE(input.Open(
        kTable, 2,
        [](void* h, uint32_t wMsg, uintptr_t instance, uintptr_t msg, uintptr_t stamp) {
            EXPECT_EQ(h, nullptr);
            EXPECT_EQ(wMsg, MIM_DATA);
            EXPECT_EQ(instance, 7u);
            EXPECT_EQ(stamp, 0u);
            char text[16];
            std::snprintf(text, sizeof text, "%06lx", static_cast<unsigned long>(msg));
            g_calls.push_back(text);
        },
        7));
    g_sink->DeviceMessage(0x403C90);  // device 0 presses middle C
    g_sink->OwnMessage(0x7F40B0);     // a source on our own port holds the pedal
    g_sink->DeviceGone(false);        // device 0 goes: its key comes up
    g_sink->SourceLost();             // the MIDI system goes: the pedal comes up
    const std::vector<std::string> expected = {"wake", "403c90", "wake", "7f40b0", "wake",
                                               "003c90", "wake", "0040b0"};
    for (int i = 0; i < 2000; ++i) {
        {
            std::lock_guard<std::mutex> hold(WindowLock());
            if (g_calls.size() >= expected.size()) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    input.Close();
    EXPECT_EQ(g_calls, expected);
}

}  // namespace
}  // namespace clavora
