// Mouse commands: the regions of the window and the piano key under a click.
#include <gtest/gtest.h>

#include <vector>

#include "support/DlgFixture.h"
#include "input/Commands.h"
#include "piano/Keys.h"
#include "recorder/Songs.h"
#include "core/test_game.h"

namespace clavora::test {
namespace {

// Every click ends with a frame, and that frame counts each flash and each sounding
// key down once: a button lit by the click reads 4 after it, a clicked key 29.
constexpr int16_t kLit = 4;
constexpr int16_t kClicked = KEY_CLICK - 1;
constexpr int16_t kReleased = KEY_RELEASE - 1;

class Mouse : public DlgFixture {
protected:
    // Clicks at (x, y) and says whether the click drew a frame.
    bool Click(int x, int y) {
        const int before = platform.presented;
        dlg->OnLButtonDown(x, y);
        return platform.presented == before + 1;
    }
    // The Note On messages sent so far, as MIDI notes.
    std::vector<int> NotesOn() const {
        std::vector<int> notes;
        for (uint32_t m : platform.midi)
            if ((m & 0xFF) == 0x90 && (m >> 16) != 0) notes.push_back(static_cast<int>((m >> 8) & 0xFF));
        return notes;
    }
    // Starts a game in the given mode, and forgets the flash and sound of its start.
    void Asking(int16_t mode) {
        dlg->SetGameMode(mode);
        ASSERT_EQ(dlg->m_nQuestion, 0);
        dlg->m_nFlashMode = 0;
        platform.sounds.clear();
    }
    // A point on the lower part of the keyboard, or on a black key, that presses key.
    static int XOfKey(int16_t key, int y) {
        for (int x = 79; x <= 702; ++x)
            if (KeyAtPoint(x, y) == key) return x;
        ADD_FAILURE() << "no point presses key " << key;
        return 0;
    }
};

TEST_F(Mouse, CloseRegionClosesOnlyBetweenGames) {
    CPianoDlg& d = Make();
    Asking(MODE_PIANO);
    EXPECT_TRUE(Click(335, 35));
    EXPECT_FALSE(platform.modalEnded);
    EXPECT_FALSE(d.IsClosing());
    // Just outside the region, with no game.
    d.ResetGame();
    for (auto [x, y] : {std::pair{334, 35}, {335, 69}, {369, 50}, {350, 34}}) {
        EXPECT_TRUE(Click(x, y)) << x << "," << y;
        EXPECT_FALSE(platform.modalEnded) << x << "," << y;
    }
    // Its far corner closes, and the frame after it draws nothing.
    EXPECT_FALSE(Click(368, 68));
    EXPECT_TRUE(platform.modalEnded);
    EXPECT_TRUE(d.IsClosing());
    EXPECT_EQ(d.m_hbmBackground, nullptr);
}

TEST_F(Mouse, CloseRegionClosesAfterAFinishedGame) {
    CPianoDlg& d = Make();
    PlayWholeGame(d, platform, MODE_PIANO, 2, 100);
    ASSERT_EQ(d.m_nQuestion, QUIZ_NOTES);
    Click(335, 35);
    EXPECT_TRUE(platform.modalEnded);
    EXPECT_TRUE(d.IsClosing());
}

TEST_F(Mouse, ModeButtonsAreRefusedWhileAGameAsks) {
    CPianoDlg& d = Make();
    Asking(MODE_LETTER);
    AnswerRight(d);
    platform.sounds.clear();
    const std::vector<int16_t> quiz(std::begin(d.m_nQuizKeys), std::end(d.m_nQuizKeys));
    EXPECT_TRUE(Click(200, 383));  // piano mode
    EXPECT_TRUE(Click(193, 370));  // letter mode
    EXPECT_EQ(d.m_nMode, MODE_LETTER);
    EXPECT_EQ(d.m_nQuestion, 1);
    EXPECT_EQ(d.m_nFlashMode, 0);
    EXPECT_TRUE(platform.sounds.empty());
    EXPECT_EQ(std::vector<int16_t>(std::begin(d.m_nQuizKeys), std::end(d.m_nQuizKeys)), quiz);
}

TEST_F(Mouse, ModeButtonsStartANewGameAfterAFinishedOne) {
    CPianoDlg& d = Make();
    PlayWholeGame(d, platform, MODE_LETTER, 0, 60);
    ASSERT_EQ(d.m_nQuestion, QUIZ_NOTES);
    d.m_nFlashMode = 0;
    platform.sounds.clear();
    Click(208, 394);  // piano mode, far corner
    EXPECT_EQ(d.m_nMode, MODE_PIANO);
    EXPECT_EQ(d.m_nQuestion, 0);
    EXPECT_EQ(d.m_nFlashMode, kLit);
    EXPECT_EQ(platform.sounds, std::vector<int>{IDW_NEW_GAME});
}

TEST_F(Mouse, KeyClicksAnswerAPianoGame) {
    CPianoDlg& d = Make();
    Asking(MODE_PIANO);
    const int16_t asked = d.m_nQuizKeys[0];
    Click(XOfKey(OctaveOf(asked), 490), 490);
    EXPECT_EQ(d.m_nMistakes, 1);
    EXPECT_EQ(platform.sounds, std::vector<int>{IDW_WRONG});
    Click(XOfKey(asked, 490), 490);
    EXPECT_EQ(d.m_nQuestion, 1);
    EXPECT_EQ(d.m_nKeyState[asked], kClicked);
    EXPECT_EQ(NotesOn(), (std::vector<int>{OctaveOf(asked) + 21, asked + 21}));
    // A black key is never asked: clicking one is a mistake.
    Click(XOfKey(40, 430), 430);
    EXPECT_EQ(d.m_nMistakes, 2);
}

TEST_F(Mouse, FreePlayButtonDropsAGameAndAlwaysFlashes) {
    CPianoDlg& d = Make();
    Asking(MODE_LETTER);
    d.SetKey(40, KEY_HELD);
    EXPECT_TRUE(Click(200, 400));
    EXPECT_EQ(d.m_nMode, MODE_FREE);
    EXPECT_EQ(d.m_nQuestion, -1);
    EXPECT_EQ(d.m_nFlashMode, kLit);
    EXPECT_EQ(d.m_nKeyState[40], kReleased);
    // With no game at all it still flashes.
    d.m_nFlashMode = 0;
    Click(193, 396);
    EXPECT_EQ(d.m_nFlashMode, kLit);
}

TEST_F(Mouse, RecordButtonReleasesTheKeysAndLightsBeforeRecording) {
    CPianoDlg& d = Make();
    d.SetKey(12, KEY_HELD);
    d.SetKey(50, KEY_CLICK);
    d.m_nRecBlink = 7;
    EXPECT_TRUE(Click(720, 403));
    EXPECT_EQ(d.m_nKeyState[12], kReleased);
    EXPECT_EQ(d.m_nKeyState[50], kReleased);
    EXPECT_EQ(d.m_nFlashRecord, kLit);
    EXPECT_EQ(d.m_nRecBlink, 0);
    EXPECT_EQ(d.m_nFlashStop, 0);
    EXPECT_EQ(d.m_nFlashPlay, 0);
}

TEST_F(Mouse, PlayButtonLightsAndResetsItsBlink) {
    CPianoDlg& d = Make();
    d.m_nPlayBlink = 3;
    EXPECT_TRUE(Click(769, 414));
    EXPECT_EQ(d.m_nFlashPlay, kLit);
    EXPECT_EQ(d.m_nPlayBlink, 0);
    EXPECT_EQ(d.m_nFlashRecord, 0);
}

// Slot 0 holds a short song: middle C at tick 0, released at tick 5, D at tick 10.
void PutSongInSlotZero() {
    g_aSongs[0][0] = {40, 100, 0};
    g_aSongs[1][0] = {40, 0, 5};
    g_aSongs[2][0] = {42, 100, 10};
    g_aSongs[3][0] = {SONG_END, SONG_END, 20};
}

TEST_F(Mouse, PlayButtonStartsAPlayingSongAgain) {
    CPianoDlg& d = Make();
    PutSongInSlotZero();
    Click(760, 408);
    EXPECT_EQ(d.m_bPlaying, 1);
    EXPECT_EQ(d.m_nKeyState[39], KEY_HELD);
    Frames(12);
    EXPECT_EQ(d.m_nEvent, 3);
    EXPECT_EQ(d.m_nKeyState[41], KEY_HELD);
    platform.midi.clear();
    Click(754, 403);
    // The click's own frame plays tick 0 again; the held D is released.
    EXPECT_EQ(d.m_bPlaying, 1);
    EXPECT_EQ(d.m_nEvent, 1);
    EXPECT_EQ(d.m_nTick, 1);
    EXPECT_EQ(d.m_nKeyState[39], KEY_HELD);
    EXPECT_EQ(d.m_nKeyState[41], kReleased);
    EXPECT_EQ(NotesOn(), std::vector<int>{60});
    EXPECT_EQ(d.m_nFlashPlay, kLit);
}

TEST_F(Mouse, RecordButtonRecordsOverTheSongBeingPlayed) {
    CPianoDlg& d = Make();
    PutSongInSlotZero();
    Click(760, 408);
    ASSERT_EQ(d.m_nKeyState[39], KEY_HELD);
    Click(735, 414);
    EXPECT_EQ(d.m_bRecording, 1);
    EXPECT_EQ(d.m_bPlaying, 1);
    EXPECT_EQ(d.m_nKeyState[39], kReleased);
    EXPECT_TRUE(SlotIsEmpty(0));
    EXPECT_EQ(g_aSongs[1][0].nKey, 0);
    // The released key's end is the first event of the new song.
    Frames(4);
    EXPECT_EQ(d.m_nEvent, 1);
    EXPECT_EQ(g_aSongs[0][0].nKey, 40);
    EXPECT_EQ(g_aSongs[0][0].nVelocity, 0);
    EXPECT_EQ(g_aSongs[0][0].nTick, 0);
}

TEST_F(Mouse, StopButtonFlashesAlsoWhenIdle) {
    CPianoDlg& d = Make();
    d.SetKey(33, KEY_HELD);
    EXPECT_TRUE(Click(752, 414));
    EXPECT_EQ(d.m_nFlashStop, kLit);
    EXPECT_EQ(d.m_nKeyState[33], kReleased);
    EXPECT_EQ(d.m_bRecording, 0);
    EXPECT_EQ(d.m_bPlaying, 0);
    EXPECT_TRUE(SlotIsEmpty(0));
}

TEST_F(Mouse, SlotArrowsCloseARecordingInItsOwnSlot) {
    CPianoDlg& d = Make();
    Click(727, 408);                   // record into slot 0
    Click(XOfKey(39, 490), 490);       // C4 at tick 0
    Frames(3);
    Click(785, 374);                   // slot up: stops first
    EXPECT_EQ(d.m_nSlot, 1);
    EXPECT_EQ(d.m_bRecording, 0);
    EXPECT_EQ(d.m_nFlashStop, kLit);
    EXPECT_EQ(d.m_nFlashSlotUp, kLit);
    EXPECT_EQ(g_aSongs[0][0].nKey, 40);
    EXPECT_EQ(g_aSongs[0][0].nVelocity, 100);
    EXPECT_TRUE(IsEndMarker(g_aSongs[1][0]));
    EXPECT_EQ(g_aSongs[1][0].nTick, 4);
    // The clicked key ends later, recorded nowhere.
    Frames(40);
    EXPECT_TRUE(SlotIsEmpty(1));
    EXPECT_TRUE(IsEndMarker(g_aSongs[1][0]));
    // Playback is stopped the same way.
    Click(785, 390);  // slot down, back to the song
    ASSERT_EQ(d.m_nSlot, 0);
    Click(760, 408);
    ASSERT_EQ(d.m_bPlaying, 1);
    ASSERT_EQ(d.m_nKeyState[39], KEY_HELD);
    Click(785, 374);
    EXPECT_EQ(d.m_nSlot, 1);
    EXPECT_EQ(d.m_bPlaying, 0);
    EXPECT_EQ(d.m_nKeyState[39], kReleased);
}

// Each preset from a point in its cell: two rows of five, split at y 385.
TEST_F(Mouse, PresetsSelectTheirProgram) {
    CPianoDlg& d = Make();
    struct Case {
        int x, y;
        int16_t preset;
    };
    const Case cases[] = {{14, 372, 0}, {30, 384, 0}, {31, 372, 1}, {47, 380, 1}, {48, 372, 2},
                          {64, 372, 2}, {65, 384, 3}, {81, 372, 3}, {82, 372, 4}, {97, 384, 4},
                          {14, 385, 5}, {31, 396, 6}, {64, 390, 7}, {65, 385, 8}, {97, 396, 9}};
    for (const Case& c : cases) {
        platform.midi.clear();
        d.m_nFlashMarker = 0;
        d.m_nPreset = -1;
        EXPECT_TRUE(Click(c.x, c.y));
        EXPECT_EQ(d.m_nPreset, c.preset) << c.x << "," << c.y;
        EXPECT_EQ(d.m_nProgram, d.m_nPresets[c.preset]);
        EXPECT_EQ(d.m_nFlashMarker, kLit);
        ASSERT_EQ(platform.midi.size(), 1u);
        EXPECT_EQ(platform.midi[0], PackShortMsg(0xC0, static_cast<uint32_t>(d.m_nPresets[c.preset]), 0));
    }
}

TEST_F(Mouse, ProgramArrowsWrapAndMarkThePresetTheyLandOn) {
    CPianoDlg& d = Make();
    d.SelectProgram(127);
    platform.midi.clear();
    Click(160, 372);  // up from 127
    EXPECT_EQ(d.m_nProgram, 0);
    EXPECT_EQ(d.m_nPreset, 0);  // program 0 is preset 0
    EXPECT_EQ(d.m_nFlashProgUp, kLit);
    EXPECT_EQ(d.m_nFlashProgDown, 0);
    Click(175, 396);  // down from 0
    EXPECT_EQ(d.m_nProgram, 127);
    EXPECT_EQ(d.m_nPreset, -1);
    EXPECT_EQ(d.m_nFlashProgDown, kLit);
    const std::vector<uint32_t> sent = {0x00C0u, 0x7FC0u};
    EXPECT_EQ(platform.midi, sent);
    // Stepping through every program marks exactly the programs of the presets.
    d.SelectProgram(127);
    for (int p = 0; p < 128; ++p) {
        Click(170, 384);
        ASSERT_EQ(d.m_nProgram, p);
        int16_t expected = -1;
        for (int16_t i = 0; i < 10; ++i)
            if (d.m_nPresets[i] == p) expected = i;
        EXPECT_EQ(d.m_nPreset, expected) << "program " << p;
    }
}

TEST_F(Mouse, SlotArrowsWrapBothWays) {
    CPianoDlg& d = Make();
    Click(776, 385);  // lower half: down from 0
    EXPECT_EQ(d.m_nSlot, 127);
    EXPECT_EQ(d.m_nFlashSlotDown, kLit);
    EXPECT_EQ(d.m_nFlashSlotUp, 0);
    Click(791, 384);  // upper half: up from 127
    EXPECT_EQ(d.m_nSlot, 0);
    EXPECT_EQ(d.m_nFlashSlotUp, kLit);
    Click(780, 372);
    EXPECT_EQ(d.m_nSlot, 1);
    // Nothing was running, so nothing was stopped.
    EXPECT_EQ(d.m_nFlashStop, 0);
}

// A click on the keyboard, and the key it must press.
struct KeyClick {
    int x, y;
    int16_t key;
};

TEST_F(Mouse, KeyboardClicksPressTheKeyUnderThePoint) {
    CPianoDlg& d = Make();
    std::vector<KeyClick> cases = {
        {79, 421, 0},   {86, 421, 0},   {87, 466, 1},   {91, 430, 1},   {95, 421, 1},
        {96, 421, 2},   {110, 421, 4},  {117, 466, 4},  {118, 421, 5},  {123, 440, 5},
        {124, 421, 6},  {131, 421, 6},  {145, 421, 9},  {159, 421, 11}, {173, 421, 13},
        {180, 421, 13}, {181, 421, 14}, {194, 430, 16}, {684, 466, 85}, {702, 498, 87},
        {87, 467, 0},   {91, 498, 2},   {110, 467, 3},  {99, 480, 2},   {691, 421, 87}};
    for (int x = 685; x <= 690; ++x) cases.push_back({x, 421, 86});   // B7
    for (int x = 691; x <= 702; ++x) cases.push_back({x, 430, 87});   // C8
    for (int x = 87; x <= 95; ++x) cases.push_back({x, 450, 1});      // A#0
    for (const KeyClick& c : cases) {
        platform.midi.clear();
        d.m_nKeyState[c.key] = 0;
        EXPECT_TRUE(Click(c.x, c.y));
        EXPECT_EQ(d.m_nKeyState[c.key], kClicked) << c.x << "," << c.y;
        EXPECT_EQ(NotesOn(), std::vector<int>{c.key + 21}) << c.x << "," << c.y;
    }
}

TEST_F(Mouse, ClicksBesideTheKeyboardSoundNothingButDrawAFrame) {
    CPianoDlg& d = Make();
    for (auto [x, y] : {std::pair{78, 450}, {100, 420}, {100, 499}, {703, 450}, {400, 200}, {0, 0}}) {
        EXPECT_TRUE(Click(x, y)) << x << "," << y;
    }
    EXPECT_TRUE(platform.midi.empty());
    for (int16_t s : d.m_nKeyState) EXPECT_EQ(s, 0);
    EXPECT_EQ(KeyAtPoint(78, 450), -1);
    EXPECT_EQ(KeyAtPoint(100, 420), -1);
    EXPECT_EQ(KeyAtPoint(100, 499), -1);
}

TEST_F(Mouse, TheSameKeyClickedTwiceSoundsTwice) {
    CPianoDlg& d = Make();
    Click(400, 480);
    d.m_nKeyState[KeyAtPoint(400, 480)] = 12;  // part of its count already gone
    dlg->OnLButtonDblClk(400, 480);
    const int16_t key = KeyAtPoint(400, 480);
    EXPECT_EQ(d.m_nKeyState[key], kClicked);
    EXPECT_EQ(NotesOn(), (std::vector<int>{key + 21, key + 21}));
}

// Across the whole keyboard: every black key is 8 pixels wide in the upper part
// (A#0 9), the white keys fill the rest, and the lower part has white keys only.
TEST(KeyHitTest, EveryKeyOwnsItsColumns) {
    int widthUpper[kKeyCount] = {};
    int widthLower[kKeyCount] = {};
    int16_t last = -1;
    for (int x = 79; x <= 702; ++x) {
        const int16_t upper = KeyAtPoint(x, 421);
        const int16_t lower = KeyAtPoint(x, 498);
        ASSERT_GE(upper, 0);
        ASSERT_GE(lower, 0);
        EXPECT_EQ(KeyAtPoint(x, 466), upper) << x;
        EXPECT_EQ(KeyAtPoint(x, 467), lower) << x;
        EXPECT_NE(g_nKeyShape[lower], kBlackKey) << x;
        EXPECT_GE(lower, last) << x;  // white keys come in order
        last = lower;
        ++widthUpper[upper];
        ++widthLower[lower];
    }
    for (int k = 0; k < kKeyCount; ++k) {
        if (g_nKeyShape[k] == kBlackKey) {
            EXPECT_EQ(widthUpper[k], k == 1 ? 9 : 8) << k;
            EXPECT_EQ(widthLower[k], 0) << k;
        } else {
            EXPECT_EQ(widthLower[k], 12) << k;
            EXPECT_GT(widthUpper[k], 0) << k;
        }
    }
}

}  // namespace
}  // namespace clavora::test
