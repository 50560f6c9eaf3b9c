// The synthesizer's queue when the output stands still: once it is full, messages fold
// into a backlog of state, and the audio thread, running again, applies first what was
// queued and then what the backlog says changed. Cases: the messages after the queue
// filled in, what the synthesizer is handed after the queued ones out.
#include <gtest/gtest.h>

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
    const std::string ch = e.channel ? "@" + std::to_string(e.channel) : "";
    switch (e.kind) {
    case SynthEvent::kNoteOn: return "on" + std::to_string(e.key) + ch;
    case SynthEvent::kNoteOff: return "off" + std::to_string(e.key) + ch;
    case SynthEvent::kProgram: return "program" + std::to_string(e.value) + ch;
    case SynthEvent::kControl:
        return "cc" + std::to_string(e.key) + "=" + std::to_string(e.value) + ch;
    case SynthEvent::kPitchBend: return "bend" + std::to_string(e.value) + ch;
    default: return "other";
    }
}

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
        SynthQueue queue;
        ASSERT_TRUE(queue.Push(On(60)));
        for (uint32_t i = 1; i < SynthQueue::kCapacity; ++i)
            ASSERT_TRUE(queue.Push(Cc(1, static_cast<uint16_t>(i % 128))));
        for (const SynthEvent& e : c.after) EXPECT_FALSE(queue.Push(e));
        EXPECT_EQ(queue.Folded(), c.after.size());

        std::vector<std::string> applied;
        queue.Drain([&](const SynthEvent& e) { applied.push_back(Name(e)); });
        ASSERT_EQ(applied.size(), SynthQueue::kCapacity + c.caughtUp.size());
        EXPECT_EQ(applied.front(), "on60");
        EXPECT_EQ(std::vector<std::string>(applied.begin() + SynthQueue::kCapacity, applied.end()),
                  c.caughtUp);

        // Caught up, the queue takes messages in order again.
        EXPECT_TRUE(queue.Push(Off(70)));
        applied.clear();
        queue.Drain([&](const SynthEvent& e) { applied.push_back(Name(e)); });
        EXPECT_EQ(applied, std::vector<std::string>{"off70"});
    }
}

TEST(SynthQueue, OnceFoldingEverythingFoldsUntilCaughtUp) {
    SynthQueue queue;
    // Before the synthesizer is there, messages fold at once, with the queue empty.
    queue.Fold(On(50));
    EXPECT_FALSE(queue.Push(Off(50)));
    EXPECT_FALSE(queue.Push(On(51)));
    std::vector<std::string> replayed;
    queue.ReplayBacklog([&](const SynthEvent& e) { replayed.push_back(Name(e)); });
    // Onto a synthesizer that has sounded nothing, only what still holds.
    EXPECT_EQ(replayed, std::vector<std::string>{"on51"});
    EXPECT_TRUE(queue.Push(Off(51)));
}

}  // namespace
}  // namespace clavora::test
