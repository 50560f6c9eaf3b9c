// Songs to Standard MIDI Files and back: the round trip, the reader's time line
// (tempo map, divisions, rounding to frames), the shape of an imported song, a piece
// longer than a slot, and the refusal of every kind of broken file.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/SmfBuilder.h"
#include "songfile/MidiExport.h"
#include "songfile/MidiImport.h"

using namespace clavora;
using namespace clavora::test;

namespace {

constexpr SongEvent End(int32_t tick) { return SongEvent{SONG_END, SONG_END, tick}; }
constexpr SongEvent Press(int16_t key, int32_t tick) { return SongEvent{key, 100, tick}; }
constexpr SongEvent Release(int16_t key, int32_t tick) { return SongEvent{key, 0, tick}; }

std::vector<SongEvent> Events(const SongImage& song) {
    const int n = SongLength(song);
    std::vector<SongEvent> v(song.events, song.events + n);
    if (n < kSongEvents) v.push_back(song.events[n]);
    return v;
}

SongImage g_song, g_back;

ImportResult Import(const Bytes& file) { return ImportMidi(file.data(), file.size(), g_song); }

// One tick of 30 ms: a quarter of 30,000 us, one tick a quarter.
constexpr uint16_t kFrameDivision = 1;
TrackBuilder FrameTrack() { return TrackBuilder().Tempo(0, 30000); }

}  // namespace

TEST(MidiFile, ASongGoesOutAndComesBackIdentical) {
    ClearImage(g_song);
    std::vector<SongEvent> song;
    int32_t t = 0;
    for (int16_t key = 1; key <= 88; ++key, t += 2) {
        song.push_back(Press(key, t));
        song.push_back(Release(key, t + 1));
    }
    // A chord, a note struck again in the frame it ends, long gaps, one longer than a
    // single delta time of the file can span.
    for (int16_t key : {40, 44, 47, 52}) song.push_back(Press(key, t));
    for (int16_t key : {40, 44, 47, 52}) song.push_back(Release(key, t + 20));
    song.push_back(Press(40, t + 20));
    // Pressed again while held, as a MIDI keyboard records it (it comes back struck
    // again: released and pressed); notes without a key.
    song.push_back(Press(40, t + 30));
    song.push_back(Press(-20, t + 40));
    song.push_back(Press(107, t + 40));
    song.push_back(Release(-20, t + 50));
    song.push_back(Release(107, t + 50));
    song.push_back(Release(40, t + 100000));
    song.push_back(Press(88, t + 100000000));
    song.push_back(Release(88, t + 100000001));
    song.push_back(End(t + 100000050));
    for (size_t e = 0; e < song.size(); ++e) g_song.events[e] = song[e];

    static uint8_t bytes[kExportMaxSize];
    const ExportResult out = ExportMidi(g_song, 7, bytes);
    EXPECT_EQ(out.events, static_cast<int>(song.size()) - 1);
    EXPECT_EQ(out.leftOut, 0);
    const ImportResult in = ImportMidi(bytes, out.size, g_back);
    ASSERT_FALSE(in.error) << DescribeSmfProblem(in.error.problem) << " at " << in.error.offset;
    std::vector<SongEvent> back = song;
    const auto again = std::find(back.begin(), back.end(), Press(40, t + 30));
    back.insert(again, Release(40, t + 30));
    EXPECT_EQ(Events(g_back), back);
    // Exported once more, it comes back event for event, the rest of the slot too.
    const ExportResult out2 = ExportMidi(g_back, 7, bytes);
    ASSERT_FALSE(ImportMidi(bytes, out2.size, g_song).error);
    for (int e = 0; e < kSongEvents; ++e) ASSERT_EQ(g_song.events[e], g_back.events[e]) << e;
    EXPECT_EQ(in.kept, 88 + 4 + 5);
    EXPECT_EQ(in.keyless, 2);
    EXPECT_FALSE(in.cut);
}

TEST(MidiFile, ExportLeavesOutWhatHasNoNoteAndWhatPlaybackNeverReaches) {
    ClearImage(g_song);
    const SongEvent song[] = {Press(-21, 0), Press(-20, 0), Release(107, 3), Press(108, 3),
                              SongEvent{40, -5, 4}, Press(30, 9), Press(31, 8), Release(30, 12), End(20)};
    for (size_t e = 0; e < std::size(song); ++e) g_song.events[e] = song[e];
    static uint8_t bytes[kExportMaxSize];
    const ExportResult out = ExportMidi(g_song, 0, bytes);
    // Notes 0 and 127 are written; key -21, key 108 and the negative velocity are not;
    // playback waits for ever at the press of key 31, so nothing from it on is written.
    // Note 0 comes back without a key, and up where the piece ends: in its last frame,
    // ahead of that frame's press.
    EXPECT_EQ(out.events, 3);
    EXPECT_EQ(out.leftOut, 5);
    const ImportResult in = ImportMidi(bytes, out.size, g_back);
    ASSERT_FALSE(in.error);
    EXPECT_EQ(in.keyless, 1);  // note 127's release was a stray one
    EXPECT_EQ(Events(g_back),
              (std::vector<SongEvent>{Press(-20, 0), Release(-20, 9), Press(30, 9), Release(30, 9), End(9)}));
}

TEST(MidiFile, TimesFollowTheTempoMapOfEveryTrackAndRoundToTheNearestFrame) {
    // 96 ticks a quarter; the tempo, in the second track, halves after two quarters.
    const Bytes file = Smf(1, 96, {
        TrackBuilder().Ev(0, {0xFF, 0x03, 0x01, 'x'}).Tempo(192, 250000).End(0).body,
        TrackBuilder()
            .Ev(0, {0xF0, 0x02, 0x7E, 0xF7})   // system exclusive, skipped
            .Ev(0, {0x90, 60, 80})              // key 40 at 0 ms
            .Ev(0, {0x99, 36, 90})              // drums: left out
            .Ev(0, {0x90, 20, 90})              // below A0: no key, up at the end
            .Ev(96, {60, 0})                    // running status, velocity 0: release at 500 ms
            .Ev(192, {0x91, 62, 70})            // 1000 + 250 ms: frame 41.67
            .Ev(96, {0x81, 62, 0})              // 1500 ms
            .Ev(0, {0xF7, 0x01, 0x00})          // an escape, skipped
            .End(48)
            .body});
    const ImportResult r = Import(file);
    ASSERT_FALSE(r.error) << DescribeSmfProblem(r.error.problem) << " at " << r.error.offset;
    EXPECT_EQ(Events(g_song), (std::vector<SongEvent>{Press(40, 0), Press(0, 0), Release(40, 17), Press(42, 42),
                                                      Release(42, 50), Release(0, 54), End(54)}));
    EXPECT_EQ(r.drums, 1);
    EXPECT_EQ(r.keyless, 1);
    EXPECT_EQ(r.notes, 3);

    // SMPTE: 25 frames a second of 40 ticks is a millisecond a tick; 45 ms is one frame
    // and a half, and rounds up. 29.97 frames a second of 1 tick: 9 ticks are 300.3 ms.
    const Bytes smpte = Smf(0, 0xE728, {TrackBuilder().Ev(44, {0x90, 21, 1}).Ev(1, {0x80, 21, 0})
                                            .Ev(0, {0x90, 108, 1}).Ev(15, {0x80, 108, 0}).End(0).body});
    ASSERT_FALSE(Import(smpte).error);
    EXPECT_EQ(Events(g_song), (std::vector<SongEvent>{Press(1, 1), Release(1, 2), Press(88, 2),
                                                      Release(88, 2), End(2)}));
    const Bytes ntsc = Smf(0, 0xE301, {TrackBuilder().Ev(0, {0x90, 64, 1}).Ev(9, {0x80, 64, 0}).End(0).body});
    ASSERT_FALSE(Import(ntsc).error);
    EXPECT_EQ(Events(g_song), (std::vector<SongEvent>{Press(44, 0), Release(44, 10), End(10)}));
}

TEST(MidiFile, AnImportedSongHasAReleaseForEveryPressAndKeepsTheOrderOfOneFrame) {
    const Bytes file = Smf(1, kFrameDivision, {
        FrameTrack().End(0).body,
        TrackBuilder()
            .Ev(0, {0x90, 60, 64})
            .Ev(10, {0x90, 60, 64})  // struck again on its channel: released and pressed
            .Ev(10, {0x80, 60, 0})   // its channel's Note Off lifts it
            .Ev(10, {0x80, 60, 0})   // a stray one: nothing
            .Ev(0, {0x90, 60, 64})   // released and struck in one frame, in that order
            .Ev(5, {0x80, 61, 0})    // a release of a key never pressed: nothing
            .Ev(0, {0x90, 70, 64})   // held to the end of the piece
            .End(7)
            .body,
        // A note of no length, on another channel: the key, down, is struck again.
        TrackBuilder().Ev(3, {0x92, 60, 64}).Ev(0, {0x82, 60, 64}).End(0).body});
    const ImportResult r = Import(file);
    ASSERT_FALSE(r.error);
    EXPECT_EQ(Events(g_song),
              (std::vector<SongEvent>{Press(40, 0), Release(40, 3), Press(40, 3), Release(40, 10), Press(40, 10),
                                      Release(40, 20), Press(40, 30), Press(50, 35), Release(40, 42),
                                      Release(50, 42), End(42)}));
    EXPECT_EQ(r.notes, 5);
    EXPECT_EQ(r.kept, 5);

    // Where one track releases a key at the instant another strikes it, the earlier
    // track's press read first: the new note lasts to its own release, on one channel
    // as on two.
    for (uint8_t channel : {0, 1}) {
        const Bytes shared = Smf(1, kFrameDivision, {
            FrameTrack().Ev(4, {0x90, 60, 64}).Ev(4, {0x80, 60, 0}).End(0).body,
            TrackBuilder().Ev(0, {static_cast<uint8_t>(0x90 | channel), 60, 64})
                .Ev(4, {static_cast<uint8_t>(0x80 | channel), 60, 0}).End(0).body});
        ASSERT_FALSE(Import(shared).error);
        EXPECT_EQ(Events(g_song), (std::vector<SongEvent>{Press(40, 0), Release(40, 4), Press(40, 4),
                                                          Release(40, 8), End(8)}))
            << int(channel);
    }
}

TEST(MidiFile, APieceLongerThanASlotKeepsItsFirstWholeNotes) {
    // A note held through the whole piece, and 3000 short notes under it.
    TrackBuilder t = FrameTrack();
    t.Ev(0, {0x90, 30, 64});
    for (int i = 0; i < 3000; ++i) t.Ev(1, {0x90, 60, 64}).Ev(1, {0x80, 60, 0});
    t.Ev(1, {0x80, 30, 0}).End(0);
    const ImportResult r = Import(Smf(0, kFrameDivision, {t.body}));
    ASSERT_FALSE(r.error);
    EXPECT_TRUE(r.cut);
    EXPECT_EQ(r.notes, 3001);
    // 3999 events hold the long note's press and 1999 short notes; the long note has
    // no release in the slot and goes.
    EXPECT_EQ(r.kept, 1999);
    ASSERT_EQ(SongLength(g_song), 2 * 1999);
    EXPECT_EQ(g_song.events[0], Press(40, 1));
    EXPECT_EQ(g_song.events[2 * 1999 - 1], Release(40, 2 * 1999));
    EXPECT_EQ(g_song.events[2 * 1999], End(2 * 1999));
    for (int e = 2 * 1999 + 1; e < kSongEvents; ++e) ASSERT_EQ(g_song.events[e], (SongEvent{0, 0, 0})) << e;

    // The slot fills with two keys down, and the one struck again has no room for its
    // release: none of the three unfinished notes stays.
    TrackBuilder u = FrameTrack();
    u.Ev(0, {0x90, 30, 64});
    for (int i = 0; i < 1998; ++i) u.Ev(1, {0x90, 60, 64}).Ev(1, {0x80, 60, 0});
    u.Ev(1, {0x90, 70, 64}).Ev(0, {0x90, 72, 64}).Ev(1, {0x90, 70, 64}).End(5);
    const ImportResult full = Import(Smf(0, kFrameDivision, {u.body}));
    ASSERT_FALSE(full.error);
    EXPECT_EQ(full.notes, 2002);
    EXPECT_EQ(full.kept, 1998);
    EXPECT_EQ(SongLength(g_song), 2 * 1998);
    EXPECT_EQ(g_song.events[2 * 1998], End(2 * 1998));
}

TEST(MidiFile, BrokenFilesAreRefusedWithTheirProblemAndWhere) {
    const Bytes note = TrackBuilder().Ev(0, {0x90, 60, 64}).Ev(1, {0x80, 60, 0}).End(0).body;
    Bytes cutChunk = Smf(0, 96, {note});
    cutChunk.resize(cutChunk.size() - 2);
    Bytes manyTracks = Smf(1, 96, {note});
    manyTracks[10] = 0xEA;
    manyTracks[11] = 0x60;
    Bytes missingTrack = Smf(1, 96, {note});
    missingTrack[11] = 2;
    Bytes shortHeader = Smf(0, 96, {note});
    shortHeader[7] = 4;
    const struct {
        const char* what;
        Bytes file;
        SmfProblem problem;
        size_t offset;
    } cases[] = {
        {"RIFF", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 4, 'M', 'I', 'D', 'I'}, SmfProblem::NotMidi, 0},
        {"empty", Bytes{}, SmfProblem::NotMidi, 0},
        {"short header", shortHeader, SmfProblem::ShortHeader, 4},
        {"header past end", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}, SmfProblem::ShortHeader, 4},
        {"format 2", Smf(2, 96, {note}), SmfProblem::Format2, 8},
        {"format 7", Smf(7, 96, {note}), SmfProblem::UnknownFormat, 8},
        {"no tracks", Smf(1, 96, {}), SmfProblem::TrackCount, 10},
        {"60000 tracks", manyTracks, SmfProblem::TrackCount, 10},
        {"division 0", Smf(0, 0, {note}), SmfProblem::BadDivision, 12},
        {"23 fps", Smf(0, 0xE928, {note}), SmfProblem::BadDivision, 12},
        {"chunk cut short", cutChunk, SmfProblem::ChunkPastEnd, 18},
        {"missing track", missingTrack, SmfProblem::MissingTrack, 14 + 8 + note.size()},
        {"delta past end", Smf(0, 96, {Bytes{0x81}}), SmfProblem::ValuePastEnd, 22},
        {"five-byte value", Smf(0, 96, {Bytes{0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 60, 64}}), SmfProblem::LongValue, 22},
        {"no running status", Smf(0, 96, {Bytes{0x00, 60, 64}}), SmfProblem::NoStatus, 23},
        {"system common", Smf(0, 96, {Bytes{0x00, 0xF4, 0x00}}), SmfProblem::BadStatus, 23},
        {"status as data", Smf(0, 96, {Bytes{0x00, 0x90, 0x90, 64}}), SmfProblem::BadData, 24},
        {"note cut short", Smf(0, 96, {Bytes{0x00, 0x90, 60}}), SmfProblem::ValuePastEnd, 23},
        {"meta past end", Smf(0, 96, {Bytes{0x00, 0xFF, 0x01, 0x10, 'a'}}), SmfProblem::ValuePastEnd, 23},
        {"sysex past end", Smf(0, 96, {Bytes{0x00, 0xF0, 0x7F, 0x7E}}), SmfProblem::ValuePastEnd, 23},
        {"745 days in", Smf(0, 1, {TrackBuilder().Tempo(0, 0xFFFFFF).Ev(0x0FFFFFFF, {0x90, 60, 64}).body}),
         SmfProblem::TooLate, 33},
    };
    for (const auto& c : cases) {
        const ImportResult r = Import(c.file);
        EXPECT_EQ(r.error.problem, c.problem) << c.what << ": " << DescribeSmfProblem(r.error.problem);
        EXPECT_EQ(r.error.offset, c.offset) << c.what;
        EXPECT_TRUE(SongLength(g_song) == 0 && !ImageHoldsSong(g_song)) << c.what;
        EXPECT_EQ(r.kept, 0) << c.what;
    }
    // A well-formed file of drums only is read, but gives no song.
    const ImportResult drums = Import(Smf(0, 96, {TrackBuilder().Ev(0, {0x99, 36, 64}).Ev(1, {0x89, 36, 0}).body}));
    EXPECT_FALSE(drums.error);
    EXPECT_EQ(drums.notes, 0);
    EXPECT_EQ(drums.drums, 1);
    EXPECT_EQ(SongLength(g_song), 0);
}
