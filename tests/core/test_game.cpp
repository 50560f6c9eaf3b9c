// The note-reading game: dealing, and judging by letter and by key.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/DlgFixture.h"
#include "recorder/Songs.h"
#include "core/test_game.h"

namespace clavora::test {
namespace {

using Game = DlgFixture;

std::vector<int16_t> QuizOf(const CPianoDlg& d) {
    return {std::begin(d.m_nQuizKeys), std::end(d.m_nQuizKeys)};
}

// ---- The deal ----

TEST_F(Game, DrawsThatMoveNothingDealTheNotesInAscendingOrder) {
    CPianoDlg& d = Make();
    d.m_nScroll = 40;
    d.m_nBlink = 7;
    d.m_nMistakes = 12;
    d.m_nElapsed = 300;
    d.m_nKeyState[50] = KEY_HELD;
    platform.now = 5000;
    ScriptDeal(platform, {}, 16383);  // the highest value that still draws 0 out of 2
    platform.randoms.push_back(777);
    d.NewGame();

    EXPECT_EQ(QuizOf(d), AscendingQuiz());
    const char* letters = "CDEFGABCDEFGABCDEFGABCDEFGABC";
    for (int s = 0; s < 29; ++s) EXPECT_EQ(d.m_nLetters[s], letters[s]) << s;
    EXPECT_EQ(d.m_nMiddleCClef, 0);
    // Exactly 2 x 10,000 exchange draws and one clef draw were taken.
    ASSERT_EQ(platform.randoms.size(), 1u);
    EXPECT_EQ(platform.randoms.front(), 777);
    EXPECT_EQ(d.m_nQuestion, 0);
    EXPECT_EQ(d.m_nScroll, 0);
    EXPECT_EQ(d.m_nBlink, 0);
    EXPECT_EQ(d.m_nMistakes, 0);
    EXPECT_EQ(d.m_nElapsed, 0);
    EXPECT_EQ(d.m_tStart, 5000);
    EXPECT_EQ(platform.sounds, std::vector<int>{IDW_NEW_GAME});
    // Dealing alone neither picks a mode nor touches the keys.
    EXPECT_EQ(d.m_nMode, MODE_FREE);
    EXPECT_EQ(d.m_nKeyState[50], KEY_HELD);
}

TEST_F(Game, HandCheckedExchangesAndClef) {
    CPianoDlg& d = Make();
    // Draw values at the edges of the scale: 1129 x 29 / 32768 is 0, 1130 x 29 / 32768 is 1.
    platform.randoms = {32767, 1129, 1130, 2260, 2260, 3391};
    for (int n = 3; n < 9999; ++n) platform.randoms.insert(platform.randoms.end(), {0, 0});
    platform.randoms.insert(platform.randoms.end(), {DrawOf(5, 29), DrawOf(6, 29), 16384});
    d.NewGame();
    // Exchanged 28 with 0, then 1 with 2, 2 with 3, and as the very last 5 with 6.
    std::vector<int16_t> expected = AscendingQuiz();
    expected[0] = 63;
    expected[28] = 15;
    expected[1] = 19;
    expected[2] = 20;
    expected[3] = 17;
    expected[5] = 26;
    expected[6] = 24;
    EXPECT_EQ(QuizOf(d), expected);
    EXPECT_EQ(d.m_nMiddleCClef, 1);
    EXPECT_TRUE(platform.randoms.empty());
}

// Shuffles the ascending notes the plain way, for comparison.
std::vector<int16_t> Shuffled(const std::vector<int32_t>& draws, int16_t* clef) {
    std::vector<int16_t> keys = AscendingQuiz();
    size_t n = 0;
    for (int x = 0; x < 10000; ++x) {
        const int i = draws[n++] * 29 / 32768;
        const int j = draws[n++] * 29 / 32768;
        std::swap(keys[i], keys[j]);
    }
    *clef = static_cast<int16_t>(draws[n] * 2 / 32768);
    return keys;
}

TEST_F(Game, DealFollowsTheDrawsExactlyAndHoldsEveryNoteOnce) {
    CPianoDlg& d = Make();
    for (uint32_t seed : {1u, 2u, 77u, 4096u, 99999u}) {
        std::mt19937 gen(seed);
        std::vector<int32_t> draws(20001);
        for (int32_t& r : draws) r = static_cast<int32_t>(gen() & 0x7FFF);
        platform.randoms.assign(draws.begin(), draws.end());
        d.NewGame();
        int16_t clef = -1;
        EXPECT_EQ(QuizOf(d), Shuffled(draws, &clef)) << seed;
        EXPECT_EQ(d.m_nMiddleCClef, clef) << seed;
        EXPECT_NE(QuizOf(d), AscendingQuiz()) << seed;
        std::vector<int16_t> sorted = QuizOf(d);
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, AscendingQuiz()) << seed;
    }
    // The highest value in every draw, and deals straight from the generator.
    platform.randoms.assign(20001, 32767);
    d.NewGame();
    EXPECT_EQ(QuizOf(d), AscendingQuiz());
    EXPECT_EQ(d.m_nMiddleCClef, 1);
    for (int game = 0; game < 5; ++game) {
        d.NewGame();
        std::vector<int16_t> sorted = QuizOf(d);
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, AscendingQuiz()) << game;
    }
}

// ---- Letter mode ----

TEST_F(Game, TheLetterDependsOnlyOnTheStepAndRightLettersSoundTheNote) {
    CPianoDlg& d = Make();
    // C2 stays first; C4 and C6 are brought to the second and third places.
    ScriptDeal(platform, {{1, 14}, {2, 28}});
    d.SetGameMode(MODE_LETTER);
    ASSERT_EQ(d.m_nQuizKeys[0], 15);
    ASSERT_EQ(d.m_nQuizKeys[1], 39);
    ASSERT_EQ(d.m_nQuizKeys[2], 63);
    platform.sounds.clear();
    platform.randoms = {3277, 0, 32767};
    for (int n = 0; n < 3; ++n) d.JudgeLetter('C');

    EXPECT_EQ(d.m_nQuestion, 3);
    EXPECT_EQ(d.m_nMistakes, 0);
    for (int16_t key : {15, 39, 63}) EXPECT_EQ(d.m_nKeyState[key], KEY_ANSWER) << key;
    EXPECT_EQ(platform.midi, (std::vector<uint32_t>{NoteOnMsg(15), NoteOnMsg(39), NoteOnMsg(63)}));
    EXPECT_EQ(platform.sounds, (std::vector<int>{IDW_CORRECT, IDW_CORRECT_ALT, IDW_CORRECT}));
    // Three quick answers: each adds a full step to the pending scroll.
    EXPECT_EQ(d.m_nScroll, 225);
}

TEST_F(Game, AWrongLetterKeepsTheNoteAndSoundsNothingButTheBuzzer) {
    CPianoDlg& d = Make();
    ScriptDeal(platform);
    d.SetGameMode(MODE_LETTER);
    platform.sounds.clear();
    // The asked note is C2: the letter of any other note is wrong, so is a non-letter.
    for (int16_t letter : {'D', 'B', 'G', 'c', '\0'}) d.JudgeLetter(letter);
    EXPECT_EQ(d.m_nQuestion, 0);
    EXPECT_EQ(d.m_nMistakes, 5);
    EXPECT_EQ(d.m_nScroll, 0);
    EXPECT_EQ(d.m_nKeyState[15], 0);
    EXPECT_TRUE(platform.midi.empty());
    EXPECT_EQ(platform.sounds, std::vector<int>(5, IDW_WRONG));
    d.JudgeLetter('C');
    EXPECT_EQ(d.m_nQuestion, 1);
}

TEST_F(Game, ARightLetterIsRecordedLikeAPlayedNoteAndSoIsItsRelease) {
    CPianoDlg& d = Make();
    d.m_nSlot = 3;
    d.StartRecording();
    ScriptDeal(platform);
    d.SetGameMode(MODE_LETTER);
    d.JudgeLetter('E');  // wrong: recorded as nothing
    d.JudgeLetter('C');
    Frames(25);
    EXPECT_EQ(d.m_nKeyState[15], 0);
    EXPECT_EQ(g_aSongs[0][3], (SongEvent{16, 100, 0}));
    EXPECT_EQ(g_aSongs[1][3], (SongEvent{16, 0, 25}));
    EXPECT_EQ(d.m_nEvent, 2);
    EXPECT_EQ(platform.midi, (std::vector<uint32_t>{NoteOnMsg(15), 0x00002490u}));
}

TEST_F(Game, PianoKeysOnlySoundInLetterMode) {
    CPianoDlg& d = Make();
    ScriptDeal(platform);
    d.SetGameMode(MODE_LETTER);
    platform.sounds.clear();
    d.SetKey(15, KEY_CLICK);
    d.SetKey(27, KEY_CLICK);
    EXPECT_EQ(d.m_nQuestion, 0);
    EXPECT_EQ(d.m_nMistakes, 0);
    EXPECT_TRUE(platform.sounds.empty());
}

// ---- Piano mode ----

TEST_F(Game, TheAskedNoteInAnotherOctaveIsWrong) {
    CPianoDlg& d = Make();
    ScriptDeal(platform);
    d.SetGameMode(MODE_PIANO);
    platform.sounds.clear();
    // C2 is asked: C3, C4, C#2 and B1 are all wrong.
    for (int16_t key : {27, 39, 16, 14}) d.SetKey(key, KEY_CLICK);
    EXPECT_EQ(d.m_nQuestion, 0);
    EXPECT_EQ(d.m_nMistakes, 4);
    EXPECT_EQ(platform.sounds, std::vector<int>(4, IDW_WRONG));
    // The wrong keys still took their state: they sound like any click.
    EXPECT_EQ(d.m_nKeyState[27], KEY_CLICK);
    d.SetKey(15, KEY_CLICK);
    EXPECT_EQ(d.m_nQuestion, 1);
    EXPECT_EQ(d.m_nMistakes, 4);
}

TEST_F(Game, EveryPressIsJudgedWhateverItsSourceButReleasesAreNot) {
    CPianoDlg& d = Make();
    ScriptDeal(platform);
    d.SetGameMode(MODE_PIANO);
    // C2 from a click, D2 from the MIDI keyboard (note 38).
    d.SetKey(15, KEY_CLICK);
    d.NoteOn(16);
    EXPECT_EQ(d.m_nQuestion, 1);
    MidiInProc(nullptr, MIM_DATA, 0, 0x00402690, 0);
    EXPECT_EQ(d.m_nQuestion, 2);
    EXPECT_EQ(d.m_nKeyState[17], KEY_HELD);
    // Releases, one by one or all at once, are no answers.
    MidiInProc(nullptr, MIM_DATA, 0, 0x00002690, 0);
    d.SetKey(15, 0);
    d.SetKey(-1, 0);
    EXPECT_EQ(d.m_nQuestion, 2);
    EXPECT_EQ(d.m_nMistakes, 0);
    // A MIDI key that is not asked is a mistake like any other.
    MidiInProc(nullptr, MIM_DATA, 0, 0x00403090, 0);
    EXPECT_EQ(d.m_nMistakes, 1);
}

TEST_F(Game, EveryNoteOfASongPlayedBackAnswersToo) {
    CPianoDlg& d = Make();
    // C2 and D2 pressed, D2 released, then F2 pressed while E2 is asked.
    const SongEvent song[] = {{16, 100, 0}, {18, 100, 1}, {18, 0, 2}, {21, 100, 3},
                              {SONG_END, SONG_END, 4}};
    for (int e = 0; e < 5; ++e) g_aSongs[e][0] = song[e];
    ScriptDeal(platform);
    d.SetGameMode(MODE_PIANO);
    d.StartPlayback();
    Frames(6);
    EXPECT_EQ(d.m_bPlaying, 0);
    EXPECT_EQ(d.m_nQuestion, 2);
    EXPECT_EQ(d.m_nMistakes, 1);
}

TEST_F(Game, PianoAnswersSetTheScrollToOneStep) {
    CPianoDlg& d = Make();
    ScriptDeal(platform);
    d.SetGameMode(MODE_PIANO);
    d.SetKey(15, KEY_CLICK);
    EXPECT_EQ(d.m_nScroll, 75);
    d.SetKey(17, KEY_CLICK);
    EXPECT_EQ(d.m_nScroll, 75);
    d.m_nScroll = 20;
    d.SetKey(19, KEY_CLICK);
    EXPECT_EQ(d.m_nScroll, 75);
    // A wrong key leaves the scroll alone.
    d.m_nScroll = 20;
    d.SetKey(19, KEY_CLICK);
    EXPECT_EQ(d.m_nScroll, 20);
    // The right key is not sounded by the judgement: only the caller's NoteOn sounds it.
    EXPECT_TRUE(platform.midi.empty());
}

TEST_F(Game, KeysOffThePianoAreWrongAndChangeNoState) {
    CPianoDlg& d = Make();
    ScriptDeal(platform);
    d.SetGameMode(MODE_PIANO);
    platform.sounds.clear();
    for (int16_t key : {88, 100, -2, -32768, 32767}) d.SetKey(key, KEY_CLICK);
    d.JudgePianoKey(15 + 88);
    EXPECT_EQ(d.m_nMistakes, 6);
    EXPECT_EQ(d.m_nQuestion, 0);
    EXPECT_EQ(platform.sounds, std::vector<int>(6, IDW_WRONG));
    for (int16_t s : d.m_nKeyState) EXPECT_EQ(s, 0);
}

// ---- Modes and reset ----

TEST_F(Game, ModeCommandsAreRefusedWhileAsking) {
    CPianoDlg& d = Make();
    d.SetGameMode(MODE_PIANO);
    d.SetKey(30, KEY_HELD);
    d.SetKey(d.m_nQuizKeys[0], KEY_CLICK);
    d.m_nFlashMode = 0;
    platform.sounds.clear();
    platform.randoms = {1, 2, 3};
    const auto quiz = QuizOf(d);
    for (int16_t mode : {MODE_LETTER, MODE_PIANO}) d.SetGameMode(mode);
    EXPECT_EQ(d.m_nMode, MODE_PIANO);
    EXPECT_EQ(d.m_nQuestion, 1);
    EXPECT_EQ(d.m_nMistakes, 1);
    EXPECT_EQ(QuizOf(d), quiz);
    EXPECT_EQ(d.m_nFlashMode, 0);
    EXPECT_EQ(d.m_nKeyState[30], KEY_HELD);
    EXPECT_TRUE(platform.sounds.empty());
    EXPECT_EQ(platform.randoms.size(), 3u);
}

TEST_F(Game, AModeCommandStartsAGameWithNoGameOrAFinishedOne) {
    CPianoDlg& d = Make();
    d.SetKey(30, KEY_HELD);
    platform.now = 2000;
    d.SetGameMode(MODE_LETTER);
    EXPECT_EQ(d.m_nMode, MODE_LETTER);
    EXPECT_EQ(d.m_nQuestion, 0);
    EXPECT_EQ(d.m_nFlashMode, 5);
    EXPECT_EQ(d.m_tStart, 2000);
    // Held keys, MIDI keys included, fade out.
    EXPECT_EQ(d.m_nKeyState[30], KEY_RELEASE);
    EXPECT_EQ(platform.sounds, std::vector<int>{IDW_NEW_GAME});

    AnswerRightUntil(d, 29);
    d.m_nFlashMode = 0;
    d.SetGameMode(MODE_PIANO);
    EXPECT_EQ(d.m_nMode, MODE_PIANO);
    EXPECT_EQ(d.m_nQuestion, 0);
    EXPECT_EQ(d.m_nFlashMode, 5);
    EXPECT_EQ(platform.sounds.back(), IDW_NEW_GAME);
}

TEST_F(Game, ResetDropsTheGameKeepsTheRecordsAndReleasesAllKeys) {
    CPianoDlg& d = Make();
    g_nBestTimePiano = 120;
    g_nBestMistakesPiano = 4;
    platform.now = 1000;
    d.SetGameMode(MODE_PIANO);
    AnswerRight(d);
    AnswerWrong(d);
    d.SetKey(70, KEY_HELD);
    platform.now = 1300;
    Frames(2);
    const auto quiz = QuizOf(d);
    const size_t soundsBefore = platform.sounds.size();
    d.ResetGame();
    EXPECT_EQ(d.m_nQuestion, -1);
    EXPECT_EQ(d.m_nMode, MODE_FREE);
    EXPECT_EQ(d.m_nMistakes, 0);
    EXPECT_EQ(d.m_nElapsed, 0);
    EXPECT_EQ(d.m_nScroll, 0);
    EXPECT_EQ(d.m_nBlink, 0);
    EXPECT_EQ(d.m_nKeyState[70], KEY_RELEASE);
    EXPECT_EQ(d.m_tStart, 1000);
    EXPECT_EQ(QuizOf(d), quiz);
    EXPECT_EQ(g_nBestTimePiano, 120);
    EXPECT_EQ(g_nBestMistakesPiano, 4);
    EXPECT_EQ(platform.sounds.size(), soundsBefore);
    // Without a game, piano keys only sound.
    d.SetKey(quiz[1], KEY_CLICK);
    EXPECT_EQ(d.m_nQuestion, -1);
    EXPECT_EQ(d.m_nMistakes, 0);
}

}  // namespace
}  // namespace clavora::test
