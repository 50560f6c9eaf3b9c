// The way to the synthesizer when the output stands still: once as many messages as the
// synthesizer's queue may hold went in unrendered, messages fold into a backlog of
// state, and the audio thread, running again, applies what the backlog says changed.
// Cases: the messages after the queue filled in, what the synthesizer is handed out.
#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "platform/audio/SynthQueue.h"

namespace clavora::test {
namespace {

SynthEvent On(uint8_t key, uint8_t ch = 0) { return {SynthEvent::kNoteOn, ch, key, 100}; }
SynthEvent Off(uint8_t key, uint8_t ch = 0) { return {SynthEvent::kNoteOff, ch, key, 0}; }
SynthEvent Cc(uint8_t number, uint16_t value, uint8_t ch = 0) {
    return {SynthEvent::kControl, ch, number, value};
}
SynthEvent Program(uint16_t program, uint8_t ch = 0) {
    return {SynthEvent::kProgram, ch, 0, program};
}

std::string Name(const SynthEvent& e) {
    // Formatted rather than added up: GCC 12 at -O3 warns falsely on a string
    // concatenation of this shape (-Wrestrict).
    char name[32];
    const char* kind = e.kind == SynthEvent::kNoteOn    ? "on"
                       : e.kind == SynthEvent::kNoteOff   ? "off"
                       : e.kind == SynthEvent::kProgram   ? "program"
                       : e.kind == SynthEvent::kControl   ? "cc"
                       : e.kind == SynthEvent::kPitchBend ? "bend"
                                                          : nullptr;
    if (!kind) return "other";
    const int number = e.kind == SynthEvent::kNoteOn || e.kind == SynthEvent::kNoteOff ||
                               e.kind == SynthEvent::kControl
                           ? e.key
                           : e.value;
    int n = std::snprintf(name, sizeof name, "%s%d", kind, number);
    if (e.kind == SynthEvent::kControl) n += std::snprintf(name + n, sizeof name - n, "=%d", e.value);
    if (e.channel) std::snprintf(name + n, sizeof name - n, "@%d", e.channel);
    return name;
}

// What the senders hand to the synthesizer (admitted) and what the audio thread catches
// up with, in the order the synthesizer gets them.
struct Synth {
    SynthQueue queue;
    std::vector<std::string> applied;
    bool Send(const SynthEvent& e) {
        std::lock_guard<std::mutex> hold(queue.Senders());
        if (!queue.Admit(e)) return false;
        applied.push_back(Name(e));
        return true;
    }
    void Render() { queue.Rendering([&](const SynthEvent& e) { applied.push_back(Name(e)); }); }
};

TEST(SynthQueue, AFullQueueFoldsIntoStateAndNoReleaseIsLost) {
    const struct {
        const char* name;
        std::vector<SynthEvent> after;  // sent once the queue is full
        std::vector<std::string> caughtUp;
    } cases[] = {
        {"a key held before, released after", {Off(60)}, {"off60"}},
        {"pressed and released while full", {On(61), Off(61)}, {"off61"}},
        {"pressed, released, pressed again", {On(62), Off(62), On(62)}, {"on62"}},
        {"the pedal's last word before the notes",
         {Cc(64, 127), On(63), Off(63), Cc(64, 0)}, {"cc64=0", "off63"}},
        {"a note released under a held pedal", {Cc(64, 127), Off(60)}, {"cc64=127", "off60"}},
        {"the last program and controller win",
         {Program(5), Cc(7, 90), Program(9), Cc(7, 40)}, {"program9", "cc7=40"}},
        {"all notes off forgets the notes before it",
         {On(64), On(65), Cc(123, 0), On(66)}, {"cc123=0", "on66"}},
        {"a reset forgets the controllers before it",
         {Cc(7, 90), Cc(121, 0), Cc(10, 20)}, {"cc121=0", "cc10=20"}},
        {"channels apart", {On(40, 3), Off(40), {SynthEvent::kPitchBend, 3, 0, 9000}},
         {"off40", "bend9000@3", "on40@3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Synth synth;
        // The output stands still: nothing renders while the senders go on.
        ASSERT_TRUE(synth.Send(On(60)));
        for (uint32_t i = 1; i < SynthQueue::kCapacity; ++i)
            ASSERT_TRUE(synth.Send(Cc(1, static_cast<uint16_t>(i % 128))));
        for (const SynthEvent& e : c.after) EXPECT_FALSE(synth.Send(e));
        EXPECT_EQ(synth.queue.Folded(), c.after.size());
        ASSERT_EQ(synth.applied.size(), SynthQueue::kCapacity);
        EXPECT_EQ(synth.applied.front(), "on60");

        // Running again, the audio thread catches the synthesizer up with the backlog.
        synth.applied.clear();
        synth.Render();
        EXPECT_EQ(synth.applied, c.caughtUp);

        // Caught up, messages go straight to the synthesizer again.
        synth.applied.clear();
        EXPECT_TRUE(synth.Send(Off(70)));
        synth.Render();
        EXPECT_EQ(synth.applied, std::vector<std::string>{"off70"});
    }
}

TEST(SynthQueue, OnceFoldingEverythingFoldsUntilCaughtUpAndASenderHoldsItBack) {
    Synth synth;
    for (uint32_t i = 0; i < SynthQueue::kCapacity; ++i) ASSERT_TRUE(synth.Send(On(50)));
    // Rendering once makes room, but once folding, the order of the state must hold:
    // everything after the first fold folds too until caught up.
    EXPECT_FALSE(synth.Send(Off(50)));
    synth.applied.clear();
    {
        // A sender in the synthesizer (another thread holds the lock): the audio thread
        // does not wait, and catches up at its next buffer instead.
        std::promise<void> holding, done;
        std::thread sender([&] {
            std::lock_guard<std::mutex> hold(synth.queue.Senders());
            EXPECT_FALSE(synth.queue.Admit(On(51)));
            holding.set_value();
            done.get_future().wait();
        });
        holding.get_future().wait();
        synth.Render();
        EXPECT_TRUE(synth.applied.empty());
        done.set_value();
        sender.join();
    }
    synth.Render();
    EXPECT_EQ(synth.applied, (std::vector<std::string>{"off50", "on51"}));
    // A synthesizer that took over with the whole state forgets the backlog.
    for (uint32_t i = 0; i < SynthQueue::kCapacity; ++i) ASSERT_TRUE(synth.Send(On(52)));
    EXPECT_FALSE(synth.Send(Off(52)));
    {
        std::lock_guard<std::mutex> hold(synth.queue.Senders());
        synth.queue.Discard();
    }
    synth.applied.clear();
    synth.Render();
    EXPECT_TRUE(synth.applied.empty());
    EXPECT_TRUE(synth.Send(Off(52)));
}

}  // namespace
}  // namespace clavora::test
