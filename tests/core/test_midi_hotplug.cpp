// Keyboards that come and go while the program runs: which port becomes device 0 among
// real-looking port lists, and the release of the keys a departed device 0 left held.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/DlgFixture.h"
#include "piano/Keys.h"
#include "platform/midi/HeldNotes.h"
#include "platform/midi/MidiMessage.h"
#include "recorder/Songs.h"

namespace clavora::test {
namespace {

struct PortCase {
    const char* what;
    std::vector<std::string> names;
    std::vector<std::string> byHand;
    int chosen;
};

TEST(MidiHotPlug, DeviceZeroAmongTheSequencersAndJacksPorts) {
    const PortCase cases[] = {
        {"ALSA: a USB keyboard behind the through port and the sequencer's own client",
         {"System:Timer 0:0", "System:Announce 0:1", "Midi Through:Midi Through Port-0 14:0",
          "USB Keyboard:USB Keyboard MIDI 1 24:0"},
         {},
         3},
        {"ALSA: PipeWire's own clients and our ports are passed over",
         {"Midi Through:Midi Through Port-0 14:0", "PipeWire-System:input 128:0",
          "PipeWire-RT-Event:input 129:0", "Clavora:Clavora 130:0",
          "Clavora device:device 0 131:0", "Digital Piano:Digital Piano MIDI 1 28:0"},
         {},
         5},
        {"ALSA: of two keyboards the first in the sequencer's order",
         {"Midi Through:Midi Through Port-0 14:0", "USB Keyboard:USB Keyboard MIDI 1 24:0",
          "Digital Piano:Digital Piano MIDI 1 28:0"},
         {},
         1},
        {"ALSA: nothing but the through port and PipeWire",
         {"Midi Through:Midi Through Port-0 14:0", "PipeWire-System:input 128:0"},
         {},
         -1},
        {"JACK: a hardware port of the system client is a keyboard",
         {"system:midi_capture_1", "midisend:out"},
         {},
         0},
        {"JACK: a2j's bridge of the sequencer's ports",
         {"a2j:Midi Through [14] (capture): Midi Through Port-0",
          "a2j:USB Keyboard [24] (capture): USB Keyboard MIDI 1"},
         {},
         1},
        {"JACK: a source the user connected to our port by hand is not taken over",
         {"system:midi_capture_1", "midisend:out"},
         {"system:midi_capture_1"},
         1},
        {"JACK: the only source is connected by hand already",
         {"midisend:out"},
         {"midisend:out"},
         -1},
        {"no ports at all", {}, {}, -1},
    };
    for (const PortCase& c : cases)
        EXPECT_EQ(ChooseMidiInPort(c.names, "Clavora", c.byHand), c.chosen) << c.what;
}

std::vector<uint32_t> Released(HeldNotes& held) {
    std::vector<uint32_t> out;
    held.ReleaseAll([&](uint32_t msg) { out.push_back(msg); });
    return out;
}

TEST(MidiHotPlug, HeldNotesFollowWhatPressesAndLiftsKeys) {
    HeldNotes held;
    held.Track(PackShortMsg(0x90, 64, 90));
    held.Track(PackShortMsg(0x90, 60, 30));
    held.Track(PackShortMsg(0x90, 62, 30));
    held.Track(PackShortMsg(0x90, 62, 0));   // lifted again
    held.Track(PackShortMsg(0x80, 64, 64));  // a Note Off lifts its key too
    held.Track(PackShortMsg(0x91, 70, 64));  // nor does another channel press one
    held.Track(PackShortMsg(0xB0, 123, 0));  // nor do controllers
    held.Track(PackShortMsg(0x90, 20, 64));  // a note without a key still sounds
    held.Track(PackShortMsg(0x90, 60, 100));  // pressed twice, released once
    held.Track(PackShortMsg(0x81, 60, 64));  // but not one of another channel
    const std::vector<uint32_t> expected = {PackShortMsg(0x90, 20, 0), PackShortMsg(0x90, 60, 0)};
    EXPECT_EQ(Released(held), expected);
    EXPECT_TRUE(Released(held).empty());  // forgotten once released
}

class MidiUnplug : public DlgFixture {};

// Device 0 goes while recording: its held keys come up as their own releases would,
// recorded and silenced; keys of playback and of our own port stay down.
TEST_F(MidiUnplug, ReleasesOnlyTheKeysDeviceZeroLeftHeld) {
    CPianoDlg& d = Make();
    d.OnInitDialog();  // opens the MIDI input
    d.OnKeyUp('R');
    platform.SendDeviceMidiIn(PackShortMsg(0x90, 60, 64));
    platform.SendDeviceMidiIn(PackShortMsg(0x90, 62, 64));
    Frames(2);
    platform.SendDeviceMidiIn(PackShortMsg(0x90, 62, 0));
    platform.SendMidiIn(PackShortMsg(0x90, 72, 64));  // our own port
    d.SetKey(45, KEY_HELD);                            // as playback holds a key
    Frames(3);
    platform.midi.clear();
    platform.UnplugDevice();
    EXPECT_EQ(d.m_nKeyState[39], 0);
    EXPECT_EQ(d.m_nKeyState[51], KEY_HELD);
    EXPECT_EQ(d.m_nKeyState[45], KEY_HELD);
    EXPECT_EQ(platform.midi, std::vector<uint32_t>{PackShortMsg(0x90, 60, 0)});
    Frames(1);
    platform.UnplugDevice();  // nothing is released twice
    d.OnKeyUp(VK_SPACE);
    const std::vector<SongEvent> recorded = {{40, 100, 0}, {42, 100, 0}, {42, 0, 2},
                                             {52, 100, 2}, {40, 0, 5}};
    for (size_t e = 0; e < recorded.size(); ++e) {
        EXPECT_EQ(g_aSongs[e][0].nKey, recorded[e].nKey) << e;
        EXPECT_EQ(g_aSongs[e][0].nVelocity, recorded[e].nVelocity) << e;
        EXPECT_EQ(g_aSongs[e][0].nTick, recorded[e].nTick) << e;
    }
    EXPECT_TRUE(IsEndMarker(g_aSongs[recorded.size()][0]));
}

}  // namespace
}  // namespace clavora::test
