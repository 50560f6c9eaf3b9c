// The note-reading game: sounds of the answers, mistakes, the end of a game and its
// records, and whole games played through the application.
#include <gtest/gtest.h>

#include "app/PianoApp.h"
#include "support/DlgFixture.h"
#include "core/test_game.h"

namespace clavora::test {
namespace {

using GameEnd = DlgFixture;

TEST_F(GameEnd, OneRightAnswerInTenSoundsDifferent) {
    CPianoDlg& d = Make();
    for (int16_t mode : {MODE_LETTER, MODE_PIANO}) {
        d.ResetGame();
        d.SetGameMode(mode);
        platform.sounds.clear();
        // 3276 x 10 / 32768 is 0, 3277 x 10 / 32768 is 1.
        platform.randoms = {0, 3276, 3277, 32767, 16000, 777};
        for (int n = 0; n < 5; ++n) AnswerRight(d);
        EXPECT_EQ(platform.sounds, (std::vector<int>{IDW_CORRECT_ALT, IDW_CORRECT_ALT, IDW_CORRECT,
                                                     IDW_CORRECT, IDW_CORRECT}))
            << mode;
        // One draw per answer, and none for a wrong one.
        AnswerWrong(d);
        ASSERT_EQ(platform.randoms.size(), 1u);
        EXPECT_EQ(platform.randoms.front(), 777);
    }
}

TEST_F(GameEnd, TheLastAnswerPlaysOnlyTheEndSoundAndDrawsNothing) {
    CPianoDlg& d = Make();
    for (int16_t mode : {MODE_LETTER, MODE_PIANO}) {
        for (int game = 0; game < 2; ++game) {
            platform.now = 1000;
            d.SetGameMode(mode);
            // The second game takes longer than the first: no record.
            AnswerRightUntil(d, 28);
            platform.now = 1100 + game;
            platform.sounds.clear();
            platform.randoms = {0};
            AnswerRight(d);
            EXPECT_EQ(d.m_nQuestion, 29);
            EXPECT_EQ(d.m_nElapsed, 100 + game);
            EXPECT_EQ(platform.sounds, std::vector<int>{game == 0 ? IDW_NEW_RECORD : IDW_FINISHED})
                << mode;
            EXPECT_EQ(platform.randoms.size(), 1u);
        }
    }
}

TEST_F(GameEnd, MistakesStopAt99AndSuchAGameIsNeverARecord) {
    CPianoDlg& d = Make();
    d.SetGameMode(MODE_LETTER);
    for (int n = 0; n < 120; ++n) AnswerWrong(d);
    EXPECT_EQ(d.m_nMistakes, 99);
    // The game can still be finished, and even against "no record" it is none.
    AnswerRightUntil(d, 29);
    EXPECT_EQ(d.m_nMistakes, 99);
    EXPECT_EQ(platform.sounds.back(), IDW_FINISHED);
    EXPECT_EQ(g_nBestTimeLetter, 659);
    EXPECT_EQ(g_nBestMistakesLetter, 99);
}

struct RecordCase {
    const char* name;
    int32_t bestTime;
    int16_t bestMistakes;
    int32_t seconds;
    int mistakes;
    bool record;
};

// Time first, then mistakes; records hold both, and 98 mistakes is the most a record has.
const RecordCase kRecordCases[] = {
    {"equal in both", 100, 3, 100, 3, true},
    {"better in both", 100, 3, 90, 1, true},
    {"faster, more mistakes", 100, 3, 50, 4, false},
    {"slower, fewer mistakes", 100, 3, 101, 0, false},
    {"first game at the limits", 659, 99, 659, 98, true},
    {"first game too slow", 659, 99, 660, 0, false},
    {"98 against a record of 98", 600, 98, 600, 98, true},
    {"a negative best time read from a file", -1, 99, 0, 0, false},
    {"a negative best mistake count", 659, -1, 10, 0, false},
    {"a clock set back during the game", 10, 5, -5, 0, true},
};

TEST_F(GameEnd, ANewRecordMustBeNoWorseInTimeAndMistakes) {
    CPianoDlg& d = Make();
    for (const RecordCase& c : kRecordCases) {
        for (int16_t mode : {MODE_LETTER, MODE_PIANO}) {
            const bool letter = mode == MODE_LETTER;
            g_nBestTimeLetter = letter ? c.bestTime : 500;
            g_nBestMistakesLetter = letter ? c.bestMistakes : 7;
            g_nBestTimePiano = letter ? 500 : c.bestTime;
            g_nBestMistakesPiano = letter ? 7 : c.bestMistakes;
            PlayWholeGame(d, platform, mode, c.mistakes, c.seconds);
            SCOPED_TRACE(std::string(c.name) + (letter ? " (letters)" : " (piano)"));
            EXPECT_EQ(d.m_nElapsed, c.seconds);
            EXPECT_EQ(d.m_nMistakes, c.mistakes);
            EXPECT_EQ(platform.sounds.back(), c.record ? IDW_NEW_RECORD : IDW_FINISHED);
            const int32_t time = letter ? g_nBestTimeLetter : g_nBestTimePiano;
            const int16_t mistakes = letter ? g_nBestMistakesLetter : g_nBestMistakesPiano;
            EXPECT_EQ(time, c.record ? c.seconds : c.bestTime);
            EXPECT_EQ(mistakes, c.record ? c.mistakes : c.bestMistakes);
            // The other mode's record is never touched.
            EXPECT_EQ(letter ? g_nBestTimePiano : g_nBestTimeLetter, 500);
            EXPECT_EQ(letter ? g_nBestMistakesPiano : g_nBestMistakesLetter, 7);
        }
    }
}

TEST_F(GameEnd, AFinishedGameStaysUntilTheNextCommand) {
    CPianoDlg& d = Make();
    PlayWholeGame(d, platform, MODE_PIANO, 2, 80);
    platform.sounds.clear();
    platform.now += 500;
    Frames(10);
    // Neither keys nor letters answer anything any more.
    d.SetKey(d.m_nQuizKeys[28], KEY_CLICK);
    d.SetKey(20, KEY_CLICK);
    d.JudgeLetter('C');
    Frames(10);
    EXPECT_EQ(d.m_nQuestion, 29);
    EXPECT_EQ(d.m_nMode, MODE_PIANO);
    EXPECT_EQ(d.m_nElapsed, 80);
    EXPECT_EQ(d.m_nMistakes, 2);
    EXPECT_TRUE(platform.sounds.empty());
    EXPECT_EQ(g_nBestTimePiano, 80);
    EXPECT_EQ(g_nBestMistakesPiano, 2);
}

// The point of a white key's lower half on the window's keyboard: white keys are 12
// pixels wide from x 79, counted from A0.
void ClickKey(WindowHandler& w, int16_t key) {
    int whiteBelow = 0;
    for (int k = 0; k < key; ++k)
        if (LetterOf(static_cast<int16_t>(k)) != 0) ++whiteBelow;
    w.OnLButtonDown(79 + 12 * whiteBelow + 6, 490);
}

// Plays one whole game in the running application with the user's commands, letter
// mode from the keyboard and piano mode with the mouse, with frames between the
// answers, and closes the window.
void PlayInTheApplication(FakePlatform& platform, int16_t mode, int mistakes, int32_t seconds) {
    platform.now = 7000000;
    platform.script = [&platform, mode, mistakes, seconds](WindowHandler& w) {
        const CPianoDlg& d = *g_pMainDlg;
        w.OnTimer();
        if (mode == MODE_LETTER)
            w.OnKeyUp('N');
        else
            w.OnLButtonDown(200, 388);
        ASSERT_EQ(d.m_nMode, mode);
        for (int q = 0; q < 29; ++q) {
            ASSERT_EQ(d.m_nQuestion, q);
            const int16_t key = d.m_nQuizKeys[q];
            if (q < mistakes) {
                if (mode == MODE_LETTER)
                    w.OnKeyUp(static_cast<uint32_t>(WrongLetterFor(key)));
                else
                    ClickKey(w, OctaveOf(key));
            }
            platform.now = 7000000 + seconds * (q + 1) / 29;
            if (mode == MODE_LETTER)
                w.OnKeyUp(static_cast<uint32_t>(LetterOf(key)));
            else
                ClickKey(w, key);
            w.OnTimer();
            w.OnTimer();
        }
        EXPECT_EQ(d.m_nQuestion, 29);
        EXPECT_EQ(d.m_nMistakes, mistakes);
        EXPECT_EQ(d.m_nElapsed, seconds);
        ASSERT_EQ(platform.sounds.back(), IDW_NEW_RECORD);
        w.OnCancel();
    };
    EXPECT_EQ(theApp.InitInstance(platform), 0);
}

TEST(GameInTheApplication, EachModesRecordReachesTheFileAtClose) {
    TempDir dir;
    {
        FakePlatform platform;
        PlayInTheApplication(platform, MODE_LETTER, 3, 75);
    }
    const std::vector<uint8_t> letter = {0x4B, 0, 0, 0, 3, 0, 0x93, 0x02, 0, 0, 0x63, 0};
    EXPECT_EQ(ReadFileBytes("Clavora.hsc"), letter);
    // The next run starts from that record and adds the piano game's.
    {
        FakePlatform platform;
        PlayInTheApplication(platform, MODE_PIANO, 1, 300);
    }
    const std::vector<uint8_t> both = {0x4B, 0, 0, 0, 3, 0, 0x2C, 0x01, 0, 0, 1, 0};
    EXPECT_EQ(ReadFileBytes("Clavora.hsc"), both);
}

}  // namespace
}  // namespace clavora::test
