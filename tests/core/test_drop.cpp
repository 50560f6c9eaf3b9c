// A MIDI file dropped on the window: it lands in the first slot without a song from the
// current one on, wrapping, and plays there; anything that cannot be imported sounds
// the wrong-answer sound and changes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/AllocationCounter.h"
#include "support/DlgFixture.h"
#include "support/SmfBuilder.h"
#include "recorder/Songs.h"
#include "songfile/SongImage.h"

namespace clavora::test {
namespace {

// Two notes, one frame a tick: key 40 from frame 0 to 2, key 44 from 1 to 4.
Bytes TwoNotes() {
    return Smf(0, 1, {TrackBuilder()
                          .Tempo(0, 30000)
                          .Ev(0, {0x90, 60, 90})
                          .Ev(1, {0x90, 64, 90})
                          .Ev(1, {0x80, 60, 0})
                          .Ev(2, {0x80, 64, 0})
                          .End(1)
                          .body});
}
const std::vector<SongEvent> kTwoNotes = {{40, 100, 0}, {44, 100, 1}, {40, 0, 2}, {44, 0, 4}, {SONG_END, SONG_END, 5}};

std::vector<SongEvent> Slot(int slot) {
    std::vector<SongEvent> v;
    for (int e = 0; e < kSongEvents; ++e) {
        v.push_back(g_aSongs[e][slot]);
        if (IsEndMarker(g_aSongs[e][slot])) break;
    }
    return v;
}

void PutRecordedSong(int slot) {
    const Bytes song = {40, 0, 100, 0, 0, 0, 0, 0, 40, 0, 0, 0, 3, 0, 0, 0, 0x9C, 0xFF, 0x9C, 0xFF, 3, 0, 0, 0};
    char name[16];
    std::snprintf(name, sizeof name, "song.%03d", slot);
    WriteFileBytes(name, song);
}

class Drop : public DlgFixture {};

TEST_F(Drop, ADroppedFileLandsInTheFirstEmptySlotOnAndPlaysThere) {
    for (int s : {5, 6, 127}) PutRecordedSong(s);
    WriteFileBytes("piece.mid", TwoNotes());
    CPianoDlg& d = Make();
    d.m_nSlot = 5;
    d.StartPlayback();
    Frames(1);

    const std::string path = dir.path() + "/piece.mid";
    platform.midi.reserve(64);
    ASSERT_TRUE(AllocationsAreCounted());
    g_allocations = 0;
    g_countAllocations = true;
    d.OnDropFile(path.c_str());
    g_countAllocations = false;
    EXPECT_EQ(g_allocations, 0) << "a drop allocates, like nothing else once the window runs";
    EXPECT_EQ(d.m_nSlot, 7);
    EXPECT_EQ(Slot(7), kTwoNotes);
    // The drop's own frame plays tick 0: key 40 goes down and sounds.
    EXPECT_EQ(d.m_bPlaying, 1);
    EXPECT_EQ(d.m_nFlashPlay, 4);
    EXPECT_EQ(d.m_nKeyState[39], KEY_HELD);
    EXPECT_EQ(platform.midi.back(), 0x00703C90u);
    Frames(4);
    EXPECT_EQ(d.m_bPlaying, 1);
    Frames(1);
    EXPECT_EQ(d.m_bPlaying, 0);

    // From the last slot on, the search wraps round to slot 0; a running recording is
    // stopped first and keeps what it recorded.
    d.m_nSlot = 127;
    d.StartRecording();
    d.NoteOn(50);
    Frames(2);
    FakePlatform::DropFile(d, "piece.mid");
    EXPECT_EQ(d.m_nSlot, 0);
    EXPECT_EQ(d.m_bRecording, 0);
    EXPECT_EQ(Slot(127), (std::vector<SongEvent>{{50, 100, 0}, {SONG_END, SONG_END, 2}}));
    EXPECT_EQ(Slot(0), kTwoNotes);

    // Saved at close with the others.
    platform.script = [](WindowHandler& w) { w.OnOK(); };
    d.DoModal();
    for (int s : {0, 7}) {
        char name[16];
        std::snprintf(name, sizeof name, "song.%03d", s);
        const Bytes bytes = ReadFileBytes(name);
        static SongImage song;
        DecodeSongFile(bytes.data(), bytes.size(), song);
        EXPECT_EQ(std::vector<SongEvent>(song.events, song.events + kTwoNotes.size()), kTwoNotes) << name;
    }
}

TEST_F(Drop, WhatCannotBeImportedSoundsWrongAndChangesNothing) {
    PutRecordedSong(0);
    Bytes cut = TwoNotes();
    cut.resize(cut.size() - 3);
    WriteFileBytes("cut.mid", cut);
    WriteFileBytes("drums.mid", Smf(0, 96, {TrackBuilder().Ev(0, {0x99, 36, 90}).Ev(9, {0x89, 36, 0}).body}));
    WriteFileBytes("song.mid", Bytes{40, 0, 100, 0, 0, 0, 0, 0});
    WriteFileBytes("piece.mid", TwoNotes());
    CPianoDlg& d = Make();
    Frames(1);
    ASSERT_EQ(d.m_bPlaying, 1);  // slot 0 plays from the start
    static SongEvent before[kSongEvents][kSongSlots];

    const auto dropRefused = [&](const std::string& path) {
        std::memcpy(before, g_aSongs, sizeof before);
        const size_t sounds = platform.sounds.size();
        const int presented = platform.presented;
        FakePlatform::DropFile(d, path);
        ASSERT_EQ(platform.sounds.size(), sounds + 1) << path;
        EXPECT_EQ(platform.sounds.back(), IDW_WRONG) << path;
        EXPECT_EQ(std::memcmp(before, g_aSongs, sizeof before), 0) << path;
        EXPECT_EQ(d.m_nSlot, 0) << path;
        EXPECT_EQ(d.m_bPlaying, 1) << path;
        EXPECT_EQ(platform.presented, presented) << path;
    };
    for (const char* path : {"cut.mid", "drums.mid", "song.mid", "missing.mid", "."}) dropRefused(path);

    // A store without an empty slot takes nothing, however good the file.
    for (int s = 1; s < kSongSlots; ++s) g_aSongs[0][s] = SongEvent{1, 100, 0};
    dropRefused("piece.mid");
}

}  // namespace
}  // namespace clavora::test
