// Saving onto a disk that cannot take the files: a full disk, a read-only directory, a
// limit on file size. The program runs as the application runs it, twice in the same
// directory: an earlier run leaves songs and records, a later one changes them and
// cannot write some or all of its files. Each file that could not be written is named
// on one line of standard error of its own and keeps the earlier run's bytes; every
// other file holds what the same later run writes onto a healthy disk; no temporary
// file is left; and the next run loads and saves all of it unchanged.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/PianoApp.h"
#include "app/PianoDlg.h"
#include "support/FakePlatform.h"
#include "input/Commands.h"
#include "piano/Keys.h"
#include "recorder/Songs.h"

namespace clavora::test {
namespace {

using Files = std::map<std::string, std::vector<uint8_t>>;
using Play = std::function<void(CPianoDlg&, FakePlatform&)>;

constexpr const char* kFiller = "filler";

// Every file of the working directory but the filler, with its bytes.
Files ReadFiles() {
    Files files;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        if (name != kFiller) files[name] = ReadFileBytes(name);
    }
    return files;
}

// One run of the program in the working directory: start, play, Escape. Returns what
// it wrote on standard error.
std::string RunProgram(const Play& play) {
    FakePlatform platform;
    platform.script = [&](WindowHandler& w) {
        play(static_cast<CPianoDlg&>(w), platform);
        w.OnCancel();
    };
    testing::internal::CaptureStderr();
    theApp.InitInstance(platform);
    return testing::internal::GetCapturedStderr();
}

// Records a song into a slot, chosen with the slot arrows: presses and releases of a
// MIDI key, a frame after every few, until the slot is full or there are enough.
void RecordSong(CPianoDlg& d, FakePlatform& p, int slot, int events, int note) {
    while (d.m_nSlot != slot) d.OnLButtonDown(783, 378);
    d.OnKeyUp('R');
    for (int i = 0; i < events && d.m_bRecording == 1; ++i) {
        p.SendMidiIn(PackShortMsg(0x90, static_cast<uint32_t>(note), i % 2 ? 0u : 64u));
        if (i % 50 == 0) d.OnTimer();
    }
    if (d.m_bRecording == 1) d.OnKeyUp(VK_SPACE);
}

// A letter game answered right at once: a new best record.
void WinLetterGame(CPianoDlg& d) {
    d.OnKeyUp('N');
    while (IsGameAsking(d)) {
        const int16_t key = d.m_nQuizKeys[d.m_nQuestion];
        d.OnKeyUp(static_cast<uint32_t>(d.m_nLetters[g_nStaffPos[key]]));
    }
}

// The earlier run: short songs in slots 0..7.
void EarlierRun(CPianoDlg& d, FakePlatform& p) {
    for (int slot = 0; slot < 8; ++slot) RecordSong(d, p, slot, 6 + slot, 40 + slot);
}

// The later run: slots 0..7 filled to the last event, new short songs in slots 8..11,
// and a best record.
void LaterRun(CPianoDlg& d, FakePlatform& p) {
    for (int slot = 0; slot < 8; ++slot) RecordSong(d, p, slot, kSongEvents, 60 + slot);
    for (int slot = 8; slot < 12; ++slot) RecordSong(d, p, slot, 10, 70 + slot);
    WinLetterGame(d);
}

// The names on the lines of standard error, one file a line. Fails on any other line.
std::set<std::string> FailedFiles(const std::string& errors) {
    std::set<std::string> names;
    std::istringstream lines(errors);
    std::string line;
    const std::string prefix = "clavora: cannot write ";
    while (std::getline(lines, line)) {
        EXPECT_EQ(line.rfind(prefix, 0), 0u) << "unexpected line: " << line;
        const auto colon = line.find(':', prefix.size());
        const std::string name = line.substr(prefix.size(), colon - prefix.size());
        EXPECT_TRUE(names.insert(name).second) << name << " reported twice";
    }
    return names;
}

class DiskFull : public ::testing::Test {
protected:
    // What the later run writes onto a healthy disk, after the earlier run: computed
    // once, in a directory of its own.
    static const Files& Reference() {
        static const Files files = [] {
            TempDir healthy;
            EXPECT_EQ(RunProgram(EarlierRun), "");
            EXPECT_EQ(RunProgram(LaterRun), "");
            return ReadFiles();
        }();
        return files;
    }

    // Checks the directory after a later run that wrote errors: the files named there
    // hold the earlier bytes (or are absent, if the earlier run had none), all others
    // the reference's, and nothing else is there. Returns the names.
    std::set<std::string> ExpectOldOrNew(const Files& earlier, const std::string& errors) {
        const Files& reference = Reference();
        const Files now = ReadFiles();
        const std::set<std::string> failed = FailedFiles(errors);
        for (const std::string& name : failed)
            EXPECT_TRUE(reference.count(name)) << name << " was reported but is not written";
        std::set<std::string> names;
        for (const auto& [name, bytes] : earlier) names.insert(name);
        for (const auto& [name, bytes] : reference) names.insert(name);
        for (const auto& [name, bytes] : now)
            EXPECT_TRUE(names.count(name)) << name << " is left in the directory";
        for (const std::string& name : names) {
            const Files& want = failed.count(name) || !reference.count(name) ? earlier : reference;
            const auto got = now.find(name);
            if (!want.count(name)) {
                EXPECT_EQ(got, now.end()) << name << " should not exist";
            } else if (got == now.end()) {
                ADD_FAILURE() << name << " is gone";
            } else {
                EXPECT_TRUE(got->second == want.at(name))
                    << name << " holds " << got->second.size() << " bytes, neither old nor new";
            }
        }
        return failed;
    }

    // The next run starts from what is on disk, and saves it back unchanged.
    void ExpectNextRunKeepsAll() {
        const Files before = ReadFiles();
        EXPECT_EQ(RunProgram([](CPianoDlg&, FakePlatform&) {}), "");
        EXPECT_EQ(ReadFiles(), before);
    }

    TempDir dir;
};

TEST_F(DiskFull, AFileSizeLimitFailsTheBigSongsAlone) {
    EXPECT_EQ(RunProgram(EarlierRun), "");
    const Files earlier = ReadFiles();
    ASSERT_EQ(earlier.size(), 9u);

    // A file may not grow beyond 8 KiB: the full slots (32,000 bytes) break off part-way.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 8192;
    const auto oldSignal = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string errors = RunProgram(LaterRun);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldSignal);

    const std::set<std::string> failed = ExpectOldOrNew(earlier, errors);
    EXPECT_EQ(failed, (std::set<std::string>{"song.000", "song.001", "song.002", "song.003", "song.004",
                                             "song.005", "song.006", "song.007"}))
        << errors;
    ExpectNextRunKeepsAll();
}

// A small file system of its own mounted on the working directory; skipped where
// mounting is not allowed.
class SmallDisk : public DiskFull {
protected:
    void SetUp() override {
        Reference();
        ASSERT_EQ(mkdir("disk", 0755), 0);
        if (mount("tmpfs", "disk", "tmpfs", 0, "size=256k") != 0)
            GTEST_SKIP() << "cannot mount a file system here: " << std::strerror(errno);
        mounted = true;
        ASSERT_EQ(chdir("disk"), 0);
    }
    void TearDown() override {
        if (!mounted) return;
        EXPECT_EQ(chdir(".."), 0);
        EXPECT_EQ(umount2("disk", MNT_DETACH), 0) << std::strerror(errno);
    }
    // Fills the disk with a file of its own until only this much is free.
    void LeaveFree(unsigned long bytes) {
        struct statvfs fs {};
        ASSERT_EQ(statvfs(".", &fs), 0);
        const unsigned long avail = fs.f_bavail * fs.f_bsize;
        ASSERT_GT(avail, bytes);
        WriteFileBytes(kFiller, std::vector<uint8_t>(avail - bytes, 0xAA));
        ASSERT_EQ(statvfs(".", &fs), 0);
        ASSERT_EQ(fs.f_bavail * fs.f_bsize, bytes);
    }
    bool mounted = false;
};

TEST_F(SmallDisk, AFullDiskKeepsEveryOldFileWhole) {
    EXPECT_EQ(RunProgram(EarlierRun), "");
    const Files earlier = ReadFiles();
    // Room for one full slot's temporary file and a few pages more.
    LeaveFree(10 * 4096);
    const std::string errors = RunProgram(LaterRun);
    const std::set<std::string> failed = ExpectOldOrNew(earlier, errors);
    // Some files made it, and at least the records and most full slots did not.
    EXPECT_GE(failed.size(), 3u) << errors;
    EXPECT_LE(failed.size(), Reference().size() - 1) << errors;
    EXPECT_TRUE(failed.count("song.007")) << errors;

    std::filesystem::remove(kFiller);
    ExpectNextRunKeepsAll();
}

TEST_F(SmallDisk, AReadOnlyDirectoryReportsEveryFileAndChangesNone) {
    EXPECT_EQ(RunProgram(EarlierRun), "");
    const Files earlier = ReadFiles();
    ASSERT_EQ(mount("tmpfs", ".", "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0) << std::strerror(errno);
    const std::string errors = RunProgram(LaterRun);
    ASSERT_EQ(mount("tmpfs", ".", "tmpfs", MS_REMOUNT, nullptr), 0) << std::strerror(errno);

    // Twelve songs, the records and the finished game's history rows: fourteen lines,
    // and the directory as it was.
    const std::set<std::string> failed = ExpectOldOrNew(earlier, errors);
    EXPECT_EQ(failed.size(), 14u) << errors;
    EXPECT_EQ(ReadFiles(), earlier);
    ExpectNextRunKeepsAll();
}

}  // namespace
}  // namespace clavora::test
