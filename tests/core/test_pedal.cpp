// The sustain pedal from a MIDI keyboard through a song's whole life: recorded among
// the notes, saved and loaded, exported and imported, played back; and lifted by every
// release of all keys.
#include <gtest/gtest.h>

#include <vector>

#include "support/DlgFixture.h"
#include "piano/Keys.h"
#include "platform/window/WindowLock.h"
#include "recorder/Songs.h"
#include "songfile/MidiExport.h"
#include "songfile/MidiImport.h"

namespace clavora::test {
namespace {

class Pedal : public DlgFixture {
protected:
    void Send(uint32_t msg) { DeliverMidiIn(&MidiInProc, 0, msg); }
    std::vector<SongEvent> Slot0() {
        std::vector<SongEvent> v;
        for (int e = 0; e < kSongEvents && !IsEndMarker(g_aSongs[e][0]); ++e) v.push_back(g_aSongs[e][0]);
        return v;
    }
};

constexpr uint32_t kNone = 0;
constexpr uint32_t kDown = 0x007F40B0, kUp = 0x000040B0;

// Frames before the message, the message played, what it records (an event of key
// number 0 and velocity 0 at tick -1: nothing) and what playback sends for it.
struct Step {
    int frames;
    uint32_t in;
    SongEvent recorded;
    uint32_t played;
};
const Step kPerformance[] = {
    {0, PackShortMsg(0xB0, 64, 100), {PEDAL_KEY, PEDAL_DOWN, 0}, kDown},
    {0, PackShortMsg(0x90, 60, 64), {40, 100, 0}, 0x00703C90},
    {3, PackShortMsg(0x80, 60, 0), {40, 0, 3}, 0x00003C90},    // the key up, the note rings
    {0, PackShortMsg(0xB0, 64, 80), {0, 0, -1}, kNone},        // still down: no event
    {2, PackShortMsg(0xB0, 64, 10), {PEDAL_KEY, PEDAL_UP, 5}, kUp},
    {1, PackShortMsg(0xB1, 64, 127), {0, 0, -1}, kNone},       // another channel's pedal
    {1, PackShortMsg(0x90, 62, 64), {42, 100, 7}, 0x00703E90},
    {1, PackShortMsg(0x90, 62, 0), {42, 0, 8}, 0x00003E90},
    {1, PackShortMsg(0xB0, 64, 127), {PEDAL_KEY, PEDAL_DOWN, 9}, kDown},  // down at the stop
};

TEST_F(Pedal, IsRecordedSavedLoadedExportedImportedAndPlayedAsItWasPlayed) {
    std::vector<SongEvent> song;
    std::vector<uint32_t> live, played;
    for (const Step& s : kPerformance) {
        if (s.recorded.nTick >= 0) song.push_back(s.recorded);
        if (s.played != kNone) live.push_back(s.played), played.push_back(s.played);
    }
    live.push_back(kUp);    // the stop lifts the pedal, unrecorded
    played.push_back(kUp);  // so does the end of playback

    CPianoDlg& d = Make();
    d.OnKeyUp('R');
    platform.midi.clear();
    for (const Step& s : kPerformance) {
        Frames(s.frames);
        Send(s.in);
    }
    Frames(1);
    d.OnKeyUp(VK_SPACE);
    EXPECT_EQ(platform.midi, live) << "live";
    EXPECT_EQ(Slot0(), song) << "recorded";
    EXPECT_EQ(g_aSongs[song.size()][0], (SongEvent{SONG_END, SONG_END, 10}));

    static SongImage image, back;
    static uint8_t bytes[kExportMaxSize];
    TakeSong(0, image);
    const ExportResult out = ExportMidi(image, 0, bytes);
    EXPECT_EQ(out.leftOut, 0);
    const ImportResult in = ImportMidi(bytes, out.size, back);
    EXPECT_EQ(in.pedals, 3);
    for (int e = 0; e < kSongEvents; ++e) ASSERT_EQ(back.events[e], image.events[e]) << "imported " << e;

    d.SaveSongs();
    TearDown();
    ClearSongs();
    platform.midi.clear();
    Make();  // loads slot 0 and plays it
    EXPECT_EQ(Slot0(), song) << "loaded";
    Frames(20);
    EXPECT_EQ(platform.midi, played) << "played";
    EXPECT_EQ(dlg->m_bPlaying, 0);
}

// Every release of all keys lifts a pedal that is down, and only then says so.
TEST_F(Pedal, EveryReleaseOfAllKeysLiftsIt) {
    CPianoDlg& d = Make();
    const struct {
        const char* what;
        void (*release)(CPianoDlg&);
    } commands[] = {
        {"stop", [](CPianoDlg& w) { w.StopTransport(); }},
        {"record", [](CPianoDlg& w) { w.OnKeyUp('R'); }},
        {"play", [](CPianoDlg& w) { w.StartPlayback(); }},
        {"new game", [](CPianoDlg& w) { w.SetGameMode(MODE_LETTER); }},
        {"free play", [](CPianoDlg& w) { w.ResetGame(); }},
        {"close", [](CPianoDlg& w) { w.OnDestroy(); }},
    };
    for (const auto& c : commands) {
        Send(PackShortMsg(0xB0, 64, 127));
        platform.midi.clear();
        c.release(d);
        EXPECT_EQ(d.m_bPedal, 0) << c.what;
        EXPECT_EQ(platform.midi, std::vector<uint32_t>{kUp}) << c.what;
        platform.midi.clear();
        c.release(d);
        EXPECT_TRUE(platform.midi.empty()) << c.what;
    }
}

}  // namespace
}  // namespace clavora::test
