// MIDI messages on their way in and out of the platform: packing incoming bytes,
// decoding what goes to the synthesizer, choosing device 0, and the backlog kept while
// the synthesizer loads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/midi/MidiMessage.h"
#include "platform/audio/SynthBacklog.h"
#include "platform/midi/MidiQueue.h"

namespace clavora {
namespace {

TEST(PlatformMidi, PacksOneToThreeBytesStatusLowest) {
    const uint8_t noteOn[] = {0x90, 0x3C, 0x40};
    EXPECT_EQ(PackMidiBytes(noteOn, 3), 0x00403C90u);
    const uint8_t program[] = {0xC0, 0x3D};
    EXPECT_EQ(PackMidiBytes(program, 2), 0x00003DC0u);
    const uint8_t clock[] = {0xF8};
    EXPECT_EQ(PackMidiBytes(clock, 1), 0x000000F8u);
    const uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    EXPECT_FALSE(PackMidiBytes(sysex, 6).has_value());
    EXPECT_FALSE(PackMidiBytes(sysex, 4).has_value());
    EXPECT_FALSE(PackMidiBytes(sysex, 0).has_value());
}

TEST(PlatformMidi, DecodesWhatTheProgramSends) {
    SynthEvent e = DecodeShortMessage(0x00703C90);  // key number 40 pressed
    EXPECT_EQ(e.kind, SynthEvent::kNoteOn);
    EXPECT_EQ(e.channel, 0);
    EXPECT_EQ(e.key, 60);
    EXPECT_EQ(e.value, 112);

    e = DecodeShortMessage(0x00003C90);  // its release: velocity 0
    EXPECT_EQ(e.kind, SynthEvent::kNoteOff);
    EXPECT_EQ(e.key, 60);

    e = DecodeShortMessage(0x00003DC0);  // program 61
    EXPECT_EQ(e.kind, SynthEvent::kProgram);
    EXPECT_EQ(e.value, 61);
}

TEST(PlatformMidi, DecodesOtherChannelMessagesAndRejectsTheRest) {
    SynthEvent e = DecodeShortMessage(0x00402195);
    EXPECT_EQ(e.kind, SynthEvent::kNoteOn);
    EXPECT_EQ(e.channel, 5);
    EXPECT_EQ(e.key, 0x21);

    e = DecodeShortMessage(0x00403C8F);
    EXPECT_EQ(e.kind, SynthEvent::kNoteOff);
    EXPECT_EQ(e.channel, 15);

    e = DecodeShortMessage(0x004000E0);  // pitch bend centre: LSB 0, MSB 64
    EXPECT_EQ(e.kind, SynthEvent::kPitchBend);
    EXPECT_EQ(e.value, 8192);
    e = DecodeShortMessage(0x007F7FE3);
    EXPECT_EQ(e.value, 16383);
    EXPECT_EQ(e.channel, 3);

    e = DecodeShortMessage(0x00007BB0);  // all notes off
    EXPECT_EQ(e.kind, SynthEvent::kControl);
    EXPECT_EQ(e.key, 123);

    EXPECT_EQ(DecodeShortMessage(0x000040D2).kind, SynthEvent::kChannelPressure);
    EXPECT_EQ(DecodeShortMessage(0x00403CA0).kind, SynthEvent::kKeyPressure);

    // Data bytes are 7 bits: whatever sits above them is not part of the message.
    e = DecodeShortMessage(0xFFFFFF90);
    EXPECT_EQ(e.kind, SynthEvent::kNoteOn);
    EXPECT_EQ(e.key, 127);
    EXPECT_EQ(e.value, 127);

    // A data byte where the status should be (running status), and system messages.
    EXPECT_EQ(DecodeShortMessage(0x0000403C).kind, SynthEvent::kNone);
    EXPECT_EQ(DecodeShortMessage(0x000000F8).kind, SynthEvent::kNone);
    EXPECT_EQ(DecodeShortMessage(0x000000FF).kind, SynthEvent::kNone);
    EXPECT_EQ(DecodeShortMessage(0).kind, SynthEvent::kNone);
}

TEST(PlatformMidi, DeviceZeroSkipsThroughPortsAndOurOwn) {
    const std::vector<std::string> alsa = {
        "Midi Through:Midi Through Port-0 14:0",
        "Clavora:Clavora 128:0",
        "USB Keyboard:USB Keyboard MIDI 1 20:0",
        "Synth:Out 24:0",
    };
    EXPECT_EQ(ChooseMidiInPort(alsa, "Clavora"), 2);

    const std::vector<std::string> jack = {
        "a2j:Midi Through [14] (capture): Midi Through Port-0",
        "midisend:out",
    };
    EXPECT_EQ(ChooseMidiInPort(jack, "Clavora"), 1);

    // Another client whose name only begins like ours is not ours.
    EXPECT_EQ(ChooseMidiInPort({"Clavora:in", "Clavora device:device 0 129:0",
                                "Clavorama:out 130:0"},
                               "Clavora"),
              2);
    EXPECT_EQ(ChooseMidiInPort({"MIDI THROUGH:port"}, "Clavora"), -1);
    EXPECT_EQ(ChooseMidiInPort({}, "Clavora"), -1);
}

std::vector<SynthEvent> Replayed(const SynthBacklog& backlog) {
    std::vector<SynthEvent> out;
    backlog.Replay([&](const SynthEvent& e) { out.push_back(e); });
    return out;
}

TEST(PlatformMidi, BacklogKeepsLastProgramAndHeldNotes) {
    SynthBacklog b;
    EXPECT_TRUE(b.Empty());
    b.Add(DecodeShortMessage(0x000005C0));
    b.Add(DecodeShortMessage(0x00703C90));  // 60 pressed ...
    b.Add(DecodeShortMessage(0x00704090));  // 64 pressed ...
    b.Add(DecodeShortMessage(0x00003C90));  // ... 60 released again
    b.Add(DecodeShortMessage(0x00003DC0));  // the last program wins
    b.Add(DecodeShortMessage(0x00502A92));  // a note on channel 2
    b.Add(DecodeShortMessage(0x007F40B0));  // the sustain pedal down on channel 0
    b.Add(DecodeShortMessage(0x007F40B2));  // and up again on channel 2
    b.Add(DecodeShortMessage(0x000040B2));
    EXPECT_FALSE(b.Empty());

    const std::vector<SynthEvent> r = Replayed(b);
    ASSERT_EQ(r.size(), 4u);
    // The channel's program and pedal come before its notes, so they sound with them.
    EXPECT_EQ(r[0].kind, SynthEvent::kProgram);
    EXPECT_EQ(r[0].channel, 0);
    EXPECT_EQ(r[0].value, 61);
    EXPECT_EQ(r[1].kind, SynthEvent::kControl);
    EXPECT_EQ(r[1].key, 64);
    EXPECT_EQ(r[1].value, 127);
    EXPECT_EQ(r[2].kind, SynthEvent::kNoteOn);
    EXPECT_EQ(r[2].key, 64);
    EXPECT_EQ(r[2].value, 112);
    EXPECT_EQ(r[3].kind, SynthEvent::kNoteOn);
    EXPECT_EQ(r[3].channel, 2);
    EXPECT_EQ(r[3].key, 42);
    EXPECT_EQ(r[3].value, 0x50);
}

TEST(PlatformMidi, BacklogForgetsNotesEndedAllAtOnceAndClears) {
    SynthBacklog b;
    b.Add(DecodeShortMessage(0x00703C90));
    b.Add(DecodeShortMessage(0x00703E90));
    b.Add(DecodeShortMessage(0x00007BB0));  // all notes off, channel 0
    b.Add(DecodeShortMessage(0x00000BC0));
    const std::vector<SynthEvent> r = Replayed(b);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].kind, SynthEvent::kProgram);
    EXPECT_EQ(r[0].value, 11);

    b.Clear();
    EXPECT_TRUE(b.Empty());
    EXPECT_TRUE(Replayed(b).empty());
}

TEST(PlatformMidi, QueueKeepsOrderAndRefusesWhenFull) {
    MidiQueue q;
    uint32_t msg = 0;
    EXPECT_FALSE(q.Pop(msg));
    // Around the ring more than once, so that every cell is reused.
    for (uint32_t round = 0; round < 3; ++round) {
        for (uint32_t i = 0; i < MidiQueue::kCapacity; ++i) ASSERT_TRUE(q.Push(round * 10000 + i));
        EXPECT_FALSE(q.Push(0xDEAD));  // full: dropped, nothing overwritten
        for (uint32_t i = 0; i < MidiQueue::kCapacity; ++i) {
            ASSERT_TRUE(q.Pop(msg));
            ASSERT_EQ(msg, round * 10000 + i);
        }
        EXPECT_FALSE(q.Pop(msg));
    }
    ASSERT_TRUE(q.Push(7));
    ASSERT_TRUE(q.Push(8));
    ASSERT_TRUE(q.Pop(msg));
    EXPECT_EQ(msg, 7u);
    ASSERT_TRUE(q.Push(9));
    ASSERT_TRUE(q.Pop(msg));
    EXPECT_EQ(msg, 8u);
    ASSERT_TRUE(q.Pop(msg));
    EXPECT_EQ(msg, 9u);
}

TEST(PlatformMidi, QueueLosesNothingBetweenThreads) {
    // Two ports push at once while the delivery thread pops: every message arrives
    // once, and each port's messages in the order it sent them.
    MidiQueue q;
    constexpr uint32_t kEach = 200000;
    auto sender = [&](uint32_t port) {
        for (uint32_t i = 0; i < kEach; ++i) {
            while (!q.Push(port << 24 | i)) std::this_thread::yield();
        }
    };
    std::thread a(sender, 1u);
    std::thread b(sender, 2u);
    uint32_t next[3] = {0, 0, 0};
    uint32_t received = 0;
    bool inOrder = true;
    while (received < 2 * kEach) {
        uint32_t msg = 0;
        if (!q.Pop(msg)) continue;
        const uint32_t port = msg >> 24;
        ASSERT_TRUE(port == 1 || port == 2) << msg;
        inOrder = inOrder && (msg & 0xFFFFFF) == next[port];
        next[port] = (msg & 0xFFFFFF) + 1;
        ++received;
    }
    a.join();
    b.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(next[1], kEach);
    EXPECT_EQ(next[2], kEach);
    uint32_t extra = 0;
    EXPECT_FALSE(q.Pop(extra));
}

}  // namespace
}  // namespace clavora
