// The practice history written by the window, and the file writer every file of the
// program goes through.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/FileIo.h"
#include "support/AllocationCounter.h"
#include "support/DlgFixture.h"
#include "game/History.h"
#include "core/test_game.h"

namespace clavora::test {
namespace {

std::string ReadText(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class History : public DlgFixture {};

// A letter game in the deal's ascending order, middle C on the treble staff: every
// note answered k frames after it was shown, with k wrong answers to note k mod 3.
// Nothing is allocated from the deal to the frame that writes the rows, and nothing
// reaches the file before that frame.
TEST_F(History, AFinishedGameIsAppendedWholeInTheFrameAfterItsEnd) {
    setenv("TZ", "UTC+2", 1);  // two hours behind UTC, without a zone file
    tzset();
    CPianoDlg& d = Make();
    platform.now = 1'796'000'000;  // 2026-11-30T00:53:20Z
    ScriptDeal(platform, {}, 0);
    for (int i = 0; i < 29; ++i) platform.randoms.push_back(0);
    // The fake's own records of sounds and messages are not the program's.
    platform.sounds.reserve(200);
    platform.midi.reserve(200);
    Frames(1);
    g_allocations = 0;
    g_countAllocations = true;
    d.SetGameMode(MODE_LETTER);
    for (int q = 0; q < QUIZ_NOTES; ++q) {
        Frames(q % 4);
        for (int w = 0; w < q % 3; ++w) AnswerWrong(d);
        AnswerRight(d);
        if (q < QUIZ_NOTES - 1) {
            EXPECT_EQ(access(kHistoryFile, F_OK), -1);
        }
    }
    EXPECT_EQ(access(kHistoryFile, F_OK), -1);
    Frames(1);
    g_countAllocations = false;
    EXPECT_EQ(g_allocations.load(), 0);

    std::string want = kHistoryHeader;
    const char* names = "CDEFGAB";
    for (int q = 0; q < QUIZ_NOTES; ++q) {
        char row[96];
        std::snprintf(row, sizeof row, "2026-11-29T22:53:20-02:00,letter,%c%d,%s,0.%02d,%d\n",
                      names[q % 7], 2 + q / 7, q < 14 ? "bass" : "treble", 3 * (q % 4), q % 3);
        want += row;
    }
    EXPECT_EQ(ReadText(kHistoryFile), want);
    // A second game is appended after the first, under the same header; a dropped one
    // (reset while asking) adds nothing.
    PlayWholeGame(d, platform, MODE_PIANO, 0, 40, platform.now + 100);
    d.ResetGame();
    Frames(1);
    platform.randoms.assign(20001, 0);
    d.SetGameMode(MODE_LETTER);
    AnswerRight(d);
    d.ResetGame();
    Frames(2);
    const std::string text = ReadText(kHistoryFile);
    EXPECT_EQ(text.substr(0, want.size()), want);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 2 * QUIZ_NOTES);
    EXPECT_NE(text.find(",piano,C4,treble,"), std::string::npos);
    unsetenv("TZ");
    tzset();
}

// Writer w's i-th payload: w and i (modulo 250) in its first two bytes, the rest drawn from them, each
// writer's of its own length.
std::vector<uint8_t> Payload(int w, int i) {
    std::vector<uint8_t> p(w == 0 ? 150000 : 230000);
    p[0] = static_cast<uint8_t>(w);
    p[1] = static_cast<uint8_t>(i % 250);
    for (size_t j = 2; j < p.size(); ++j) p[j] = static_cast<uint8_t>((j * (w ? 7 : 3) + p[1]) % 251);
    return p;
}

// Two processes write one file 1000 times each, the program saving and a tool importing,
// say: whatever a reader finds meanwhile is one payload whole, and so is what is left:
// one writer's last.
TEST(FileIo, TwoWritersAtOnceLeaveOnePayloadWhole) {
    TempDir dir;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            // Each write is told as done or failed; none may fail.
            for (int i = 0; i < 1000; ++i) {
                const std::vector<uint8_t> p = Payload(w, i);
                if (!WriteFileAtomic("f", p.data(), p.size())) _exit(1);
            }
            _exit(0);
        }
    }
    int reads = 0, torn = 0, running = 2, failed = 0;
    while (running > 0) {
        for (pid_t& pid : writers) {
            int status = 0;
            if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
                pid = 0;
                --running;
                failed += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
            }
        }
        if (!FileExists("f")) continue;
        const std::vector<uint8_t> now = ReadFileBytes("f");
        ++reads;
        torn += now.size() < 2 || now[0] > 1 || now != Payload(now[0], now[1]);
    }
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    const std::vector<uint8_t> left = ReadFileBytes("f");
    EXPECT_TRUE(left == Payload(0, 999) || left == Payload(1, 999)) << left.size() << " bytes";
    EXPECT_EQ(TemporaryFilesLeft(), 0);
}

struct FileCase {
    const char* what;
    std::function<void()> before;      // files in place before the write
    std::function<void()> write;
    std::function<void()> check;       // what the write left
};

struct stat StatOf(const char* name) {
    struct stat st{};
    EXPECT_EQ(lstat(name, &st), 0) << name;
    return st;
}

TEST(FileIo, WritesKeepModesFollowLinksAndLeaveIdenticalFilesAlone) {
    TempDir dir;
    static struct stat before;
    const FileCase cases[] = {
        {"a private file stays private",
         [] { WriteFileBytes("f", {1, 2}); chmod("f", 0600); },
         [] { EXPECT_TRUE(WriteFileAtomic("f", "abc", 3)); },
         [] { EXPECT_EQ(StatOf("f").st_mode & 07777, 0600u); EXPECT_EQ(ReadText("f"), "abc"); }},
        {"a link is written through to its target",
         [] { mkdir("sub", 0755); WriteFileBytes("sub/t", {1}); symlink("sub/t", "f"); },
         [] { EXPECT_TRUE(WriteFileAtomic("f", "abc", 3)); },
         [] { EXPECT_TRUE(S_ISLNK(StatOf("f").st_mode)); EXPECT_EQ(ReadText("sub/t"), "abc"); }},
        {"a dangling link makes its target",
         [] { symlink("t", "f"); },
         [] { EXPECT_TRUE(WriteFileAtomic("f", "abc", 3)); },
         [] { EXPECT_TRUE(S_ISLNK(StatOf("f").st_mode)); EXPECT_EQ(ReadText("t"), "abc"); }},
        {"identical bytes leave the file untouched",
         [] { WriteFileBytes("f", {'a', 'b', 'c'}); before = StatOf("f"); },
         [] { EXPECT_TRUE(WriteFileAtomic("f", "abc", 3)); },
         [] {
             const struct stat st = StatOf("f");
             EXPECT_EQ(st.st_ino, before.st_ino);
             EXPECT_EQ(st.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
             EXPECT_EQ(st.st_mtim.tv_sec, before.st_mtim.tv_sec);
         }},
        {"other bytes of the same length replace the file",
         [] { WriteFileBytes("f", {'a', 'b', 'd'}); before = StatOf("f"); },
         [] { EXPECT_TRUE(WriteFileAtomic("f", "abc", 3)); },
         [] { EXPECT_NE(StatOf("f").st_ino, before.st_ino); EXPECT_EQ(ReadText("f"), "abc"); }},
        {"a link where the temporary file used to be is left alone",
         [] { WriteFileBytes("victim", {9}); symlink("victim", "f.tmp"); },
         [] { EXPECT_TRUE(WriteFileAtomic("f", "abc", 3)); },
         [] {
             EXPECT_EQ(ReadFileBytes("victim"), std::vector<uint8_t>{9});
             EXPECT_TRUE(S_ISLNK(StatOf("f.tmp").st_mode));
             EXPECT_EQ(ReadText("f"), "abc");
         }},
        {"an append to a new file starts with the header",
         [] {},
         [] { EXPECT_TRUE(AppendFileDurable("f", "h\n", 2, "r1\n", 3)); },
         [] { EXPECT_EQ(ReadText("f"), "h\nr1\n"); }},
        {"an append after a cut-short line starts a line of its own",
         [] { WriteFileBytes("f", {'h', '\n', 'r', '0', ','}); },
         [] { EXPECT_TRUE(AppendFileDurable("f", "h\n", 2, "r1\n", 3)); },
         [] { EXPECT_EQ(ReadText("f"), "h\nr0,\nr1\n"); }},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.what);
        c.before();
        c.write();
        c.check();
        EXPECT_EQ(TemporaryFilesLeft(), 0);
        for (const char* name : {"f", "t", "sub/t", "f.tmp", "victim"}) unlink(name);
        rmdir("sub");
    }
}

}  // namespace
}  // namespace clavora::test
