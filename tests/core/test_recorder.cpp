// Recording and playback, stepped frame by frame through the fake platform.
#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "support/AllocationCounter.h"
#include "support/DlgFixture.h"
#include "piano/Keys.h"
#include "recorder/Songs.h"

namespace clavora {
static void PrintTo(const SongEvent& e, std::ostream* os) {
    *os << "{" << e.nKey << ", " << e.nVelocity << ", " << e.nTick << "}";
}
}  // namespace clavora

namespace clavora::test {

namespace {

constexpr SongEvent End(int32_t tick) { return SongEvent{SONG_END, SONG_END, tick}; }
constexpr uint32_t On(int note) { return PackShortMsg(0x90, note, 0x70); }
constexpr uint32_t Off(int note) { return PackShortMsg(0x90, note, 0); }

class Recorder : public DlgFixture {
protected:
    // The song of a slot: its events up to and including the end marker.
    static std::vector<SongEvent> Song(int slot) {
        std::vector<SongEvent> song;
        for (int e = 0; e < kSongEvents; ++e) {
            song.push_back(g_aSongs[e][slot]);
            if (IsEndMarker(song.back())) break;
        }
        return song;
    }
    // Puts a song into a cleared slot.
    static void Put(int slot, std::initializer_list<SongEvent> events) {
        ClearSlot(slot);
        int e = 0;
        for (const SongEvent& ev : events) g_aSongs[e++][slot] = ev;
    }
    // The record button: release all keys, then record, whatever the recorder does.
    void Record() {
        dlg->SetKey(-1, 0);
        dlg->StartRecording();
    }
    int PressedKeys() const {
        int n = 0;
        for (int16_t s : dlg->m_nKeyState) n += s != 0;
        return n;
    }
};

TEST_F(Recorder, WorkedExampleRecordsAndPlaysBackFrameForFrame) {
    CPianoDlg& d = Make();
    d.OnInitDialog();  // opens the MIDI input
    Record();
    Frames(4);  // waiting before the first note does not move the clock
    EXPECT_EQ(d.m_nTick, 0);
    platform.SendMidiIn(0x00403C90);  // key number 40 goes down
    Frames(10);
    EXPECT_EQ(d.m_nTick, 10);
    platform.SendMidiIn(0x00003C90);  // and comes up
    Frames(3);
    d.StopTransport();
    const std::vector<SongEvent> recorded = {{40, 100, 0}, {40, 0, 10}, End(13)};
    EXPECT_EQ(Song(0), recorded);
    EXPECT_EQ(d.m_bRecording, 0);
    EXPECT_EQ(d.m_nFlashStop, 5);

    platform.midi.clear();
    d.StartPlayback();
    Frames(1);
    EXPECT_EQ(d.m_nKeyState[39], KEY_HELD);
    EXPECT_EQ(platform.midi, std::vector<uint32_t>{On(60)});
    Frames(9);  // frames 2 to 10 play nothing
    EXPECT_EQ(d.m_nKeyState[39], KEY_HELD);
    EXPECT_EQ(platform.midi.size(), 1u);
    EXPECT_EQ(d.m_bPlaying, 1);
    Frames(1);  // frame 11 releases it
    EXPECT_EQ(d.m_nKeyState[39], 0);
    EXPECT_EQ(platform.midi, (std::vector<uint32_t>{On(60), Off(60)}));
    EXPECT_EQ(d.m_bPlaying, 1);
    Frames(1);  // frame 12 finds the end marker
    EXPECT_EQ(d.m_bPlaying, 0);
    EXPECT_EQ(d.m_nEvent, 2);
    EXPECT_EQ(d.m_nTick, 11);  // the ending frame does not advance the clock
    EXPECT_EQ(platform.midi.size(), 2u);
    // Playback's own notes were not recorded anywhere.
    EXPECT_EQ(Song(0), recorded);
}

TEST_F(Recorder, EventsOfOneFrameShareATickAndPlayTogetherInOrder) {
    CPianoDlg& d = Make();
    Record();
    d.NoteOn(12);
    Frames(1);
    d.NoteOn(30);
    d.NoteOff(30);  // pressed and released within one frame
    Frames(2);
    d.NoteOff(12);
    d.StopTransport();
    const std::vector<SongEvent> recorded = {{12, 100, 0}, {30, 100, 1}, {30, 0, 1}, {12, 0, 3}, End(3)};
    ASSERT_EQ(Song(0), recorded);

    platform.midi.clear();
    d.StartPlayback();
    Frames(2);
    EXPECT_EQ(platform.midi, (std::vector<uint32_t>{On(32), On(50), Off(50)}));
    EXPECT_EQ(d.m_nKeyState[29], 0);
    EXPECT_EQ(d.m_nKeyState[11], KEY_HELD);
    Frames(2);
    EXPECT_EQ(d.m_nKeyState[11], 0);
    EXPECT_EQ(d.m_bPlaying, 1);
    Frames(1);
    EXPECT_EQ(d.m_bPlaying, 0);
}

TEST_F(Recorder, PlaybackSkipsNegativeVelocitiesAndWaitsAtAPassedTick) {
    CPianoDlg& d = Make();
    Put(0, {{40, 100, 0}, {41, -5, 0}, {40, 0, 0}, {42, 100, 1}, {42, 0, 0}, End(9)});
    d.StartPlayback();
    Frames(1);
    EXPECT_EQ(platform.midi, (std::vector<uint32_t>{On(60), Off(60)}));
    EXPECT_EQ(d.m_nKeyState[40], 0);  // the negative velocity did nothing
    Frames(1);
    EXPECT_EQ(d.m_nKeyState[41], KEY_HELD);
    // Event 4's tick has passed: playback waits there, playing nothing, until stopped.
    Frames(40);
    EXPECT_EQ(d.m_bPlaying, 1);
    EXPECT_EQ(d.m_nEvent, 4);
    EXPECT_EQ(platform.midi.size(), 3u);
    d.StopTransport();
    EXPECT_EQ(d.m_bPlaying, 0);
    EXPECT_EQ(d.m_nKeyState[41], KEY_RELEASE);
}

TEST_F(Recorder, FullSlotEndsRecordingAndPlaysBackAllItsEvents) {
    CPianoDlg& d = Make();
    d.m_nSlot = 9;
    d.StartPlayback();  // an empty slot: recording below goes over playback
    Record();
    ASSERT_EQ(d.m_bPlaying, 1);
    // Ten events a frame: a press and a release of five keys.
    auto recordFrame = [&](int first, int count) {
        for (int i = first; i < first + count; ++i) {
            const auto key = static_cast<int16_t>(1 + (i / 2) % 88);
            (i % 2 == 0) ? d.NoteOn(key) : d.NoteOff(key);
        }
    };
    for (int f = 0; f < 399; ++f) {
        recordFrame(f * 10, 10);
        Frames(1);
    }
    recordFrame(3990, 9);
    EXPECT_EQ(d.m_bRecording, 1);
    d.SetKey(5, KEY_HELD);
    d.m_nRecBlink = 7;
    recordFrame(3999, 1);  // the 4000th event
    EXPECT_EQ(d.m_bRecording, 0);
    EXPECT_EQ(d.m_bPlaying, 0);
    EXPECT_EQ(d.m_nEvent, kSongEvents);
    // Nothing else changes: no key released, no blink reset, no end marker.
    EXPECT_EQ(d.m_nKeyState[5], KEY_HELD);
    EXPECT_EQ(d.m_nRecBlink, 7);
    for (int e = 0; e < kSongEvents; ++e) ASSERT_FALSE(IsEndMarker(g_aSongs[e][9])) << e;
    EXPECT_EQ(g_aSongs[3999][9], (SongEvent{static_cast<int16_t>(1 + 1999 % 88), 0, 399}));
    d.NoteOn(3);  // no longer recorded
    EXPECT_EQ(d.m_nEvent, kSongEvents);

    d.SetKey(5, 0);
    platform.midi.clear();
    d.StartPlayback();
    int frames = 0;
    while (d.m_bPlaying == 1 && frames < 1000) {
        Frames(1);
        ++frames;
    }
    EXPECT_EQ(frames, 401);  // 400 ticks of events, then the end of the slot
    ASSERT_EQ(platform.midi.size(), static_cast<size_t>(kSongEvents));
    EXPECT_EQ(platform.midi.back(), Off(20 + 1 + 1999 % 88));
    EXPECT_EQ(PressedKeys(), 0);
}

TEST_F(Recorder, RecordingOverPlaybackClearsThePlayedSlotAndHoldsPlaybackStill) {
    CPianoDlg& d = Make();
    Put(0, {{40, 100, 2}, {40, 0, 4}, End(5)});
    d.StartPlayback();
    Frames(1);
    Record();
    EXPECT_EQ(d.m_bRecording, 1);
    EXPECT_EQ(d.m_bPlaying, 1);
    EXPECT_TRUE(SlotIsEmpty(0));
    EXPECT_EQ(g_aSongs[1][0], (SongEvent{0, 0, 0}));
    Frames(6);  // playback does not advance, the clock waits for the first event
    EXPECT_TRUE(platform.midi.empty());
    EXPECT_EQ(d.m_nTick, 0);
    d.NoteOn(50);
    Frames(2);
    d.StopTransport();
    EXPECT_EQ(Song(0), (std::vector<SongEvent>{{50, 100, 0}, End(2)}));
    EXPECT_EQ(d.m_bRecording, 0);
    EXPECT_EQ(d.m_bPlaying, 0);
    EXPECT_EQ(d.m_nRecBlink, 0);
    EXPECT_EQ(d.m_nPlayBlink, 0);
}

TEST_F(Recorder, PlayWhileRecordingRestartsAtEventZeroWithoutClearing) {
    CPianoDlg& d = Make();
    Record();
    d.NoteOn(10);
    Frames(1);
    d.NoteOn(11);
    Frames(1);
    d.NoteOn(12);
    Frames(4);
    d.StartPlayback();
    EXPECT_EQ(d.m_bRecording, 1);
    EXPECT_EQ(d.m_bPlaying, 1);
    EXPECT_EQ(d.m_nEvent, 0);
    EXPECT_EQ(d.m_nTick, 0);
    EXPECT_EQ(g_aSongs[2][0], (SongEvent{12, 100, 2}));  // not cleared
    Frames(3);
    EXPECT_EQ(d.m_nTick, 0);
    d.NoteOn(20);
    Frames(2);
    d.StopTransport();
    // The new end marker hides what was recorded before beyond it.
    EXPECT_EQ(Song(0), (std::vector<SongEvent>{{20, 100, 0}, End(2)}));
    EXPECT_EQ(g_aSongs[2][0], (SongEvent{12, 100, 2}));

    platform.midi.clear();
    d.StartPlayback();
    Frames(3);
    EXPECT_EQ(platform.midi, std::vector<uint32_t>{On(40)});
    EXPECT_EQ(d.m_bPlaying, 0);
}

TEST_F(Recorder, RecordingAgainStartsOverInACleanSlot) {
    CPianoDlg& d = Make();
    Record();
    d.NoteOn(10);
    d.NoteOn(11);
    Frames(3);
    Record();
    EXPECT_TRUE(SlotIsEmpty(0));
    EXPECT_EQ(g_aSongs[1][0], (SongEvent{0, 0, 0}));
    EXPECT_EQ(d.m_nTick, 0);
    EXPECT_EQ(d.m_nEvent, 0);
    // Stopped before its first event: the slot stays empty.
    Frames(2);
    d.StopTransport();
    EXPECT_TRUE(SlotIsEmpty(0));
    EXPECT_FALSE(SlotHoldsSong(0));
}

TEST_F(Recorder, StopLeavesTheSongAloneUnlessRecording) {
    CPianoDlg& d = Make();
    // While idle: only the flash and the release of all keys.
    d.SetKey(3, KEY_HELD);
    d.m_nRecBlink = 4;
    d.StopTransport();
    EXPECT_EQ(d.m_nFlashStop, 5);
    EXPECT_EQ(d.m_nKeyState[3], KEY_RELEASE);
    EXPECT_EQ(d.m_nRecBlink, 0);
    EXPECT_TRUE(SlotIsEmpty(0));
    EXPECT_EQ(g_aSongs[0][0].nTick, 0);

    // While playing: no end marker is written where playback stood.
    const std::vector<SongEvent> song = {{40, 100, 0}, {41, 100, 1}, {40, 0, 2}, End(3)};
    Put(0, {song[0], song[1], song[2], song[3]});
    d.StartPlayback();
    Frames(2);
    d.StopTransport();
    EXPECT_EQ(Song(0), song);
    EXPECT_EQ(d.m_bPlaying, 0);
    EXPECT_EQ(d.m_nKeyState[39], KEY_RELEASE);
    EXPECT_EQ(d.m_nKeyState[40], KEY_RELEASE);
}

TEST_F(Recorder, StartingPlaybackAgainRestartsTheSongAndReleasesItsKeys) {
    CPianoDlg& d = Make();
    Put(0, {{40, 100, 0}, {40, 0, 1}, {41, 100, 2}, End(4)});
    d.StartPlayback();
    Frames(3);
    EXPECT_EQ(d.m_nKeyState[40], KEY_HELD);
    d.StartPlayback();
    EXPECT_EQ(d.m_nKeyState[40], KEY_RELEASE);
    EXPECT_EQ(d.m_nEvent, 0);
    EXPECT_EQ(d.m_nTick, 0);
    platform.midi.clear();
    Frames(1);
    EXPECT_EQ(platform.midi, std::vector<uint32_t>{On(60)});
}

TEST_F(Recorder, ARecordingStaysInItsSlotAcrossAStopAndASlotChange) {
    CPianoDlg& d = Make();
    d.m_nSlot = 2;
    Record();
    d.NoteOn(30);
    Frames(2);
    d.StopTransport();
    d.m_nSlot = 3;
    EXPECT_EQ(Song(2), (std::vector<SongEvent>{{30, 100, 0}, End(2)}));
    EXPECT_TRUE(SlotIsEmpty(3));

    // The empty slot ends its playback in the first frame, sounding nothing.
    platform.midi.clear();
    d.StartPlayback();
    Frames(1);
    EXPECT_EQ(d.m_bPlaying, 0);
    EXPECT_TRUE(platform.midi.empty());

    d.StopTransport();
    d.m_nSlot = 2;
    d.StartPlayback();
    Frames(1);
    EXPECT_EQ(platform.midi, std::vector<uint32_t>{On(50)});
}

TEST_F(Recorder, NotesWithoutAKeyChangeNoKeyAndReleaseNothing) {
    CPianoDlg& d = Make();
    Put(0, {{10, 100, 0}, {0, 100, 0}, {89, 100, 0}, {-20, 100, 0}, {0, 0, 1}, {-20, 0, 1}, {89, 0, 1},
            End(2)});
    d.StartPlayback();
    Frames(1);
    EXPECT_EQ(d.m_nKeyState[9], KEY_HELD);
    EXPECT_EQ(PressedKeys(), 1);
    // Key number 0 is MIDI note 20 and -20 is note 0; 89 has no note to send.
    EXPECT_EQ(platform.midi, (std::vector<uint32_t>{On(30), On(20), On(0)}));
    Frames(1);
    EXPECT_EQ(d.m_nKeyState[9], KEY_HELD);  // key number 0's release released nothing
    EXPECT_EQ(PressedKeys(), 1);
    EXPECT_EQ(platform.midi, (std::vector<uint32_t>{On(30), On(20), On(0), Off(20), Off(0)}));
    Frames(1);
    EXPECT_EQ(d.m_bPlaying, 0);
    EXPECT_EQ(d.m_nKeyState[9], KEY_HELD);  // the song left it held
}

TEST_F(Recorder, NotesWithoutAKeyAreWrongAnswersInAPianoGame) {
    CPianoDlg& d = Make();
    d.SetGameMode(MODE_PIANO);
    ASSERT_EQ(d.m_nQuestion, 0);
    d.m_nQuizKeys[0] = 39;
    Put(0, {{0, 100, 0}, {40, 100, 1}, {0, 0, 2}, {89, 100, 2}, End(3)});
    d.StartPlayback();
    platform.sounds.clear();
    Frames(1);
    EXPECT_EQ(d.m_nMistakes, 1);
    EXPECT_EQ(d.m_nQuestion, 0);
    EXPECT_EQ(platform.sounds, std::vector<int>{IDW_WRONG});
    EXPECT_EQ(PressedKeys(), 0);
    Frames(1);  // the asked key, played, is a right answer
    EXPECT_EQ(d.m_nQuestion, 1);
    EXPECT_EQ(d.m_nKeyState[39], KEY_HELD);
    Frames(1);  // a release is no answer; key number 89 is a wrong one
    EXPECT_EQ(d.m_nMistakes, 2);
    EXPECT_EQ(d.m_nKeyState[39], KEY_HELD);
    EXPECT_EQ(PressedKeys(), 1);
}

TEST_F(Recorder, RecordingAndPlaybackAllocateNothing) {
    CPianoDlg& d = Make();
    platform.midi.reserve(20000);
    g_allocations = 0;
    g_countAllocations = true;
    d.m_nSlot = 5;
    d.StartRecording();
    for (int i = 0; i < 3000; ++i) {
        d.NoteOn(static_cast<int16_t>(1 + i % 88));
        if (i % 3 == 0) d.StepRecorder();
    }
    d.StopTransport();
    d.StartPlayback();
    for (int i = 0; i < 1200 && d.m_bPlaying == 1; ++i) d.StepRecorder();
    const bool playedToTheEnd = d.m_bPlaying == 0;
    g_countAllocations = false;
    EXPECT_TRUE(playedToTheEnd);
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_EQ(platform.midi.size(), 6000u);
}

}  // namespace
}  // namespace clavora::test
