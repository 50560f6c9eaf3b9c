// The song store and its files: loading at start, saving at close, and what happens
// to odd, cut-off and unwritable files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "app/FileIo.h"
#include "support/DlgFixture.h"
#include "recorder/Songs.h"

namespace clavora {
static void PrintTo(const SongEvent& e, std::ostream* os) {
    *os << "{" << e.nKey << ", " << e.nVelocity << ", " << e.nTick << "}";
}
}  // namespace clavora

namespace clavora::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr SongEvent End(int32_t tick) { return SongEvent{SONG_END, SONG_END, tick}; }

// One 8-byte record as the file holds it.
Bytes Rec(int16_t key, int16_t velocity, int32_t tick) {
    const auto k = static_cast<uint16_t>(key);
    const auto v = static_cast<uint16_t>(velocity);
    const auto t = static_cast<uint32_t>(tick);
    return {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8), static_cast<uint8_t>(v),
            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(t), static_cast<uint8_t>(t >> 8),
            static_cast<uint8_t>(t >> 16), static_cast<uint8_t>(t >> 24)};
}
Bytes EndRec(int32_t tick) { return Rec(SONG_END, SONG_END, tick); }

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Records of a long song: every key pressed and released in turn, two events a tick.
Bytes ManyRecords(int count) {
    Bytes all;
    for (int i = 0; i < count; ++i) {
        const Bytes r = Rec(static_cast<int16_t>(1 + (i / 2) % 88), i % 2 ? 0 : 100, i / 2);
        all.insert(all.end(), r.begin(), r.end());
    }
    return all;
}

std::set<std::string> DirectoryEntries() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        names.insert(entry.path().filename().string());
    return names;
}

// Writes of the file this names fail part-way, as on a full disk.
const char* g_failingFile = "";
bool FailNamedFile(const char* name) { return std::strcmp(name, g_failingFile) == 0; }

class Songs : public DlgFixture {
protected:
    void TearDown() override {
        SetWriteFaultHook(nullptr);
        DlgFixture::TearDown();
    }
    // Closes the window as Escape does: the songs are saved on the way out.
    void Close() {
        platform.script = [](WindowHandler& w) { w.OnCancel(); };
        dlg->DoModal();
    }
    // Closes the window and starts the program again in the same directory.
    CPianoDlg& Restart() {
        Close();
        g_pMainDlg = nullptr;
        dlg.reset();
        return Make();
    }
    static std::vector<SongEvent> Song(int slot) {
        std::vector<SongEvent> song;
        for (int e = 0; e < kSongEvents; ++e) {
            song.push_back(g_aSongs[e][slot]);
            if (IsEndMarker(song.back())) break;
        }
        return song;
    }
    // Records a short song into a slot by hand: a press, two frames, a release, a
    // frame, stop.
    void RecordInto(int16_t slot, int16_t key) {
        dlg->m_nSlot = slot;
        dlg->StartRecording();
        dlg->NoteOn(key);
        Frames(2);
        dlg->NoteOff(key);
        Frames(1);
        dlg->StopTransport();
    }
};

TEST_F(Songs, RecordsAreLittleEndianAndASavedSongComesBackByteForByte) {
    Make();
    g_aSongs[0][5] = SongEvent{-20, 100, 0x01020304};
    g_aSongs[1][5] = SongEvent{107, 0, 0x01020304};
    g_aSongs[2][5] = End(-2);
    RecordInto(3, 40);
    Close();
    const Bytes song5 = {0xEC, 0xFF, 0x64, 0x00, 0x04, 0x03, 0x02, 0x01,  //
                         0x6B, 0x00, 0x00, 0x00, 0x04, 0x03, 0x02, 0x01,  //
                         0x9C, 0xFF, 0x9C, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(ReadFileBytes("song.005"), song5);
    const Bytes song3 = Cat({Rec(40, 100, 0), Rec(40, 0, 2), EndRec(3)});
    EXPECT_EQ(ReadFileBytes("song.003"), song3);
    EXPECT_EQ(DirectoryEntries(), (std::set<std::string>{"song.003", "song.005"}));

    dlg.reset();
    Make();
    EXPECT_EQ(Song(5), (std::vector<SongEvent>{{-20, 100, 0x01020304}, {107, 0, 0x01020304}, End(-2)}));
    EXPECT_EQ(Song(3), (std::vector<SongEvent>{{40, 100, 0}, {40, 0, 2}, End(3)}));
    Restart();
    EXPECT_EQ(ReadFileBytes("song.005"), song5);
    EXPECT_EQ(ReadFileBytes("song.003"), song3);
}

TEST_F(Songs, WithoutFilesEverySlotIsEmptyAndNothingIsWritten) {
    CPianoDlg& d = Make();
    for (int s = 0; s < kSongSlots; ++s) ASSERT_TRUE(SlotIsEmpty(s)) << s;
    EXPECT_EQ(d.m_bPlaying, 0);
    Close();
    EXPECT_TRUE(DirectoryEntries().empty());
}

TEST_F(Songs, SlotZeroPlaysAtStartAndNoOtherSlotDoes) {
    WriteFileBytes("song.001", Cat({Rec(40, 100, 0), EndRec(1)}));
    CPianoDlg& first = Make();
    EXPECT_EQ(first.m_bPlaying, 0);

    WriteFileBytes("song.000", Cat({Rec(44, 100, 0), Rec(44, 0, 1), EndRec(2)}));
    dlg.reset();
    CPianoDlg& d = Make();
    EXPECT_EQ(d.m_bPlaying, 1);
    EXPECT_EQ(d.m_nSlot, 0);
    EXPECT_TRUE(platform.midi.empty());  // it begins to sound in the first frame
    Frames(1);
    EXPECT_EQ(d.m_nKeyState[43], KEY_HELD);
}

TEST_F(Songs, AFullSlotLoadsWithoutEndMarkerAndIsWrittenBackWhole) {
    const Bytes full = ManyRecords(kSongEvents);
    WriteFileBytes("song.010", full);
    Make();
    EXPECT_TRUE(SlotHoldsSong(10));
    for (int e = 0; e < kSongEvents; ++e) ASSERT_FALSE(IsEndMarker(g_aSongs[e][10])) << e;
    EXPECT_EQ(g_aSongs[3999][10], (SongEvent{1 + 1999 % 88, 0, 1999}));
    Close();
    const Bytes saved = ReadFileBytes("song.010");
    EXPECT_EQ(saved.size(), 32000u);
    EXPECT_EQ(saved, full);
}

TEST_F(Songs, RecordsBeyondTheFourThousandthAreCutOff) {
    const Bytes longer = ManyRecords(kSongEvents + 100);
    WriteFileBytes("song.011", longer);
    Make();
    Close();
    EXPECT_EQ(ReadFileBytes("song.011"), Bytes(longer.begin(), longer.begin() + 32000));
}

TEST_F(Songs, BytesAfterTheEndMarkerAreDroppedAtTheNextClose) {
    const Bytes song = Cat({Rec(40, 100, 0), Rec(40, 0, 5), EndRec(9)});
    WriteFileBytes("song.012", Cat({song, Rec(50, 100, 10), {1, 2, 3}}));
    Make();
    EXPECT_EQ(Song(12), (std::vector<SongEvent>{{40, 100, 0}, {40, 0, 5}, End(9)}));
    EXPECT_EQ(g_aSongs[3][12], (SongEvent{0, 0, 0}));  // never read
    Close();
    EXPECT_EQ(ReadFileBytes("song.012"), song);
}

TEST_F(Songs, FilesWithoutASongLeaveTheSlotEmptyAndStayOnDisk) {
    const Bytes markerFirst = Cat({EndRec(4), Rec(40, 100, 0), EndRec(5)});
    const Bytes partRecord = {0x28, 0x00, 0x64, 0x00, 0x00};
    WriteFileBytes("song.000", {});
    WriteFileBytes("song.001", markerFirst);
    WriteFileBytes("song.002", partRecord);
    CPianoDlg& d = Make();
    for (int s : {0, 1, 2}) EXPECT_TRUE(SlotIsEmpty(s)) << s;
    EXPECT_EQ(d.m_bPlaying, 0);
    Close();
    EXPECT_TRUE(ReadFileBytes("song.000").empty());
    EXPECT_EQ(ReadFileBytes("song.001"), markerFirst);
    EXPECT_EQ(ReadFileBytes("song.002"), partRecord);
    EXPECT_EQ(DirectoryEntries().size(), 3u);
}

TEST_F(Songs, AHalfMarkedFirstEventIsNeitherEmptyNorASong) {
    // Only a file made elsewhere can hold these; trailing bytes show any rewrite.
    const Bytes keyMarked = Cat({Rec(SONG_END, 100, 0), Rec(40, 0, 1), EndRec(2), {7}});
    const Bytes velocityMarked = Cat({Rec(40, SONG_END, 0), EndRec(1), {7}});
    WriteFileBytes("song.000", keyMarked);
    WriteFileBytes("song.001", velocityMarked);
    CPianoDlg& d = Make();
    for (int s : {0, 1}) {
        EXPECT_FALSE(SlotIsEmpty(s)) << s;  // the slot light shows a song
        EXPECT_FALSE(SlotHoldsSong(s)) << s;
    }
    EXPECT_EQ(d.m_bPlaying, 0);  // not played at start
    Close();
    EXPECT_EQ(ReadFileBytes("song.000"), keyMarked);  // and not saved
    EXPECT_EQ(ReadFileBytes("song.001"), velocityMarked);
}

TEST_F(Songs, FileNamesCarryThreeDigits) {
    WriteFileBytes("song.7", Cat({Rec(40, 100, 0), EndRec(1)}));
    WriteFileBytes("song.0127", Cat({Rec(40, 100, 0), EndRec(1)}));
    WriteFileBytes("song.127", Cat({Rec(88, 100, 0), EndRec(6)}));
    Make();
    EXPECT_TRUE(SlotIsEmpty(7));
    EXPECT_EQ(Song(127), (std::vector<SongEvent>{{88, 100, 0}, End(6)}));
    RecordInto(7, 1);
    Close();
    EXPECT_EQ(ReadFileBytes("song.007"), Cat({Rec(1, 100, 0), Rec(1, 0, 2), EndRec(3)}));
    EXPECT_EQ(ReadFileBytes("song.127"), Cat({Rec(88, 100, 0), EndRec(6)}));
    EXPECT_EQ(DirectoryEntries(), (std::set<std::string>{"song.007", "song.0127", "song.127", "song.7"}));
}

TEST_F(Songs, ClosingWhileRecordingEndsTheSongAtTheRecorderClock) {
    CPianoDlg& d = Make();
    d.m_nSlot = 4;
    d.StartRecording();
    d.NoteOn(40);
    Frames(3);
    d.NoteOff(40);
    Frames(2);
    Close();
    EXPECT_EQ(ReadFileBytes("song.004"), Cat({Rec(40, 100, 0), Rec(40, 0, 3), EndRec(5)}));

    // Recording over playback, restarted by play: the file ends at the new end marker.
    CPianoDlg& again = Restart();
    again.m_nSlot = 4;
    again.StartPlayback();
    again.StartRecording();
    again.NoteOn(50);
    again.NoteOn(51);
    Frames(2);
    again.StartPlayback();
    again.NoteOn(52);
    Frames(1);
    Close();
    EXPECT_EQ(ReadFileBytes("song.004"), Cat({Rec(52, 100, 0), EndRec(1)}));
}

TEST_F(Songs, ClosingARecordingWithoutEventsKeepsTheOlderFile) {
    const Bytes old = Cat({Rec(30, 100, 0), Rec(30, 0, 8), EndRec(9)});
    WriteFileBytes("song.006", old);
    CPianoDlg& d = Make();
    d.m_nSlot = 6;
    d.StartRecording();
    Frames(4);
    Close();
    EXPECT_EQ(ReadFileBytes("song.006"), old);
    EXPECT_EQ(DirectoryEntries().size(), 1u);
    Restart();
    EXPECT_EQ(Song(6), (std::vector<SongEvent>{{30, 100, 0}, {30, 0, 8}, End(9)}));
}

TEST_F(Songs, AFileThatCannotBeWrittenKeepsItsOldBytesAndTheOthersAreSaved) {
    // Bytes after the end marker show which files were rewritten.
    const Bytes old1 = Cat({Rec(41, 100, 0), EndRec(1), {9}});
    const Bytes old2 = Cat({Rec(42, 100, 0), EndRec(1), {9}});
    const Bytes old3 = Cat({Rec(43, 100, 0), EndRec(1), {9}});
    const Bytes old4 = Cat({Rec(44, 100, 0), EndRec(1), {9}});
    WriteFileBytes("song.001", old1);
    WriteFileBytes("song.002", old2);
    WriteFileBytes("song.003", old3);
    WriteFileBytes("song.004", old4);
    Make();
    RecordInto(2, 60);  // a new song that cannot reach its file: the disk is full
    RecordInto(3, 61);  // a new song whose temporary file cannot be made
    // Its file, reached through a link, has a name that leaves no room for a temporary
    // file's beside it: none can be made, even by root.
    const std::string longest(245, 's');
    ASSERT_EQ(rename("song.003", longest.c_str()), 0);
    ASSERT_EQ(symlink(longest.c_str(), "song.003"), 0);
    g_failingFile = "song.002";
    SetWriteFaultHook(&FailNamedFile);
    testing::internal::CaptureStderr();
    Close();
    const std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_EQ(ReadFileBytes("song.002"), old2);
    EXPECT_EQ(ReadFileBytes("song.003"), old3);
    EXPECT_EQ(ReadFileBytes("song.001"), Cat({Rec(41, 100, 0), EndRec(1)}));
    EXPECT_EQ(ReadFileBytes("song.004"), Cat({Rec(44, 100, 0), EndRec(1)}));
    // One line for each file that could not be written, naming it.
    const auto line2 = errors.find("song.002");
    const auto line3 = errors.find("song.003");
    EXPECT_NE(line2, std::string::npos) << errors;
    EXPECT_NE(line3, std::string::npos) << errors;
    EXPECT_LT(line2, errors.find('\n'));
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2) << errors;
    // No half-written temporary file is left behind.
    EXPECT_EQ(DirectoryEntries(),
              (std::set<std::string>{"song.001", "song.002", "song.003", longest, "song.004"}));
}

TEST_F(Songs, ASongFileThatIsADirectoryIsSkipped) {
    ASSERT_EQ(mkdir("song.005", 0755), 0);
    WriteFileBytes("song.006", Cat({Rec(45, 100, 0), EndRec(1), {9}}));
    testing::internal::CaptureStderr();
    Make();
    EXPECT_TRUE(SlotIsEmpty(5));
    EXPECT_TRUE(SlotHoldsSong(6));
    RecordInto(5, 70);
    Close();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(std::filesystem::is_directory("song.005"));
    EXPECT_EQ(ReadFileBytes("song.006"), Cat({Rec(45, 100, 0), EndRec(1)}));
}

TEST_F(Songs, ACutOffFileEndsAfterItsLastWholeRecord) {
    // Cut in the middle of its third record.
    WriteFileBytes("song.001", Cat({Rec(40, 100, 0), Rec(40, 0, 6), {0x29, 0x00, 0x64}}));
    // Two whole records and nothing after them.
    WriteFileBytes("song.002", Cat({Rec(41, 100, 2), Rec(41, 0, 9)}));
    CPianoDlg& d = Make();
    EXPECT_EQ(Song(1), (std::vector<SongEvent>{{40, 100, 0}, {40, 0, 6}, End(6)}));
    EXPECT_EQ(Song(2), (std::vector<SongEvent>{{41, 100, 2}, {41, 0, 9}, End(9)}));

    // Its playback ends after the last note instead of waiting for ever.
    d.m_nSlot = 1;
    d.StartPlayback();
    Frames(8);
    EXPECT_EQ(d.m_bPlaying, 0);

    Close();
    EXPECT_EQ(ReadFileBytes("song.001"), Cat({Rec(40, 100, 0), Rec(40, 0, 6), EndRec(6)}));
    EXPECT_EQ(ReadFileBytes("song.002"), Cat({Rec(41, 100, 2), Rec(41, 0, 9), EndRec(9)}));
}

}  // namespace
}  // namespace clavora::test
