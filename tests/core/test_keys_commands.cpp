// Keyboard commands: letter answers and the one-key commands, acting on key release.
#include <gtest/gtest.h>

#include "support/DlgFixture.h"
#include "platform/window/KeyCode.h"
#include "recorder/Songs.h"
#include "core/test_game.h"

namespace clavora::test {
namespace {

// Every key ends with a frame, and that frame counts each flash and each sounding key
// down once: a button lit by the key reads 4 after it.
constexpr int16_t kLit = 4;

class KeyCommands : public DlgFixture {
protected:
    // Releases a key and says whether that drew a frame.
    bool KeyUp(uint32_t vk) {
        const int before = platform.presented;
        dlg->OnKeyUp(vk);
        return platform.presented == before + 1;
    }
};

TEST_F(KeyCommands, LettersAnswerALetterGame) {
    CPianoDlg& d = Make();
    d.SetGameMode(MODE_LETTER);
    const int16_t first = d.m_nQuizKeys[0];
    platform.sounds.clear();
    EXPECT_TRUE(KeyUp(static_cast<uint32_t>(WrongLetterFor(first))));
    EXPECT_EQ(d.m_nMistakes, 1);
    EXPECT_EQ(d.m_nQuestion, 0);
    EXPECT_EQ(platform.sounds, std::vector<int>{IDW_WRONG});
    EXPECT_TRUE(KeyUp(static_cast<uint32_t>(LetterOf(first))));
    EXPECT_EQ(d.m_nQuestion, 1);
    EXPECT_EQ(d.m_nKeyState[first], KEY_ANSWER - 1);
    EXPECT_EQ(platform.midi, std::vector<uint32_t>{NoteOnMsg(first)});
    // Every letter A..G is an answer, right or wrong.
    for (uint32_t vk = 'A'; vk <= 'G'; ++vk) {
        const int16_t asked = d.m_nQuizKeys[d.m_nQuestion];
        const int before = d.m_nQuestion, mistakes = d.m_nMistakes;
        KeyUp(vk);
        if (static_cast<int16_t>(vk) == LetterOf(asked))
            EXPECT_EQ(d.m_nQuestion, before + 1) << vk;
        else
            EXPECT_EQ(d.m_nMistakes, mistakes + 1) << vk;
    }
}

// The toolkit reports a letter typed without Shift by its lower-case character; the
// window's key mapping makes it the letter's code, which answers like the capital.
TEST_F(KeyCommands, LowerCaseLettersAnswerLikeCapitals) {
    CPianoDlg& d = Make();
    d.SetGameMode(MODE_LETTER);
    for (int n = 0; n < 3; ++n) {
        const int16_t letter = LetterOf(d.m_nQuizKeys[d.m_nQuestion]);
        KeyUp(VirtualKey(letter - 'A' + 'a', letter - 'A' + 4));
        EXPECT_EQ(d.m_nQuestion, n + 1);
    }
    KeyUp(VirtualKey('r', 21));
    EXPECT_EQ(d.m_nFlashRecord, kLit);
    EXPECT_EQ(d.m_nMistakes, 0);
}

TEST_F(KeyCommands, LettersOutsideALetterGameOnlyRedraw) {
    CPianoDlg& d = Make();
    auto letters = [&](const char* when) {
        const int16_t mode = d.m_nMode, question = d.m_nQuestion, mistakes = d.m_nMistakes;
        platform.midi.clear();
        platform.sounds.clear();
        d.m_nFlashMode = 0;
        for (uint32_t vk = 'A'; vk <= 'G'; ++vk) EXPECT_TRUE(KeyUp(vk)) << when << " " << vk;
        EXPECT_EQ(d.m_nMode, mode) << when;
        EXPECT_EQ(d.m_nQuestion, question) << when;
        EXPECT_EQ(d.m_nMistakes, mistakes) << when;
        EXPECT_TRUE(platform.midi.empty()) << when;
        EXPECT_TRUE(platform.sounds.empty()) << when;
        EXPECT_EQ(d.m_nFlashMode, 0) << when;
    };
    letters("no game");
    d.SetGameMode(MODE_PIANO);
    letters("piano game");
    d.ResetGame();
    PlayWholeGame(d, platform, MODE_LETTER, 1, 30);
    ASSERT_EQ(d.m_nQuestion, QUIZ_NOTES);
    letters("finished letter game");
}

TEST_F(KeyCommands, GameKeysDuringALetterGame) {
    CPianoDlg& d = Make();
    d.SetGameMode(MODE_LETTER);
    AnswerRight(d);
    d.m_nFlashMode = 0;
    platform.sounds.clear();
    // N and K are refused while the game asks.
    KeyUp('K');
    KeyUp('N');
    EXPECT_EQ(d.m_nMode, MODE_LETTER);
    EXPECT_EQ(d.m_nQuestion, 1);
    EXPECT_EQ(d.m_nFlashMode, 0);
    EXPECT_TRUE(platform.sounds.empty());
    // J drops it; then K starts a piano game.
    KeyUp('J');
    EXPECT_EQ(d.m_nMode, MODE_FREE);
    EXPECT_EQ(d.m_nQuestion, -1);
    d.m_nFlashMode = 0;
    KeyUp('K');
    EXPECT_EQ(d.m_nMode, MODE_PIANO);
    EXPECT_EQ(d.m_nQuestion, 0);
    EXPECT_EQ(d.m_nFlashMode, kLit);
    EXPECT_EQ(platform.sounds, std::vector<int>{IDW_NEW_GAME});
    // Letters now only redraw; N is refused too.
    KeyUp('N');
    KeyUp(static_cast<uint32_t>(LetterOf(d.m_nQuizKeys[0])));
    EXPECT_EQ(d.m_nMode, MODE_PIANO);
    EXPECT_EQ(d.m_nQuestion, 0);
}

TEST_F(KeyCommands, NStartsALetterGameAfterAFinishedOne) {
    CPianoDlg& d = Make();
    PlayWholeGame(d, platform, MODE_PIANO, 0, 40);
    ASSERT_EQ(d.m_nQuestion, QUIZ_NOTES);
    KeyUp('N');
    EXPECT_EQ(d.m_nMode, MODE_LETTER);
    EXPECT_EQ(d.m_nQuestion, 0);
}

TEST_F(KeyCommands, KeysWithoutACommandOnlyRedraw) {
    CPianoDlg& d = Make();
    d.SetKey(30, KEY_HELD);
    for (uint32_t vk : {uint32_t{'H'}, uint32_t{'Z'}, uint32_t{'0'}, VK_ESCAPE, VK_RETURN, uint32_t{0x70}})
        EXPECT_TRUE(KeyUp(vk)) << vk;
    EXPECT_EQ(d.m_nKeyState[30], KEY_HELD);
    EXPECT_FALSE(platform.modalEnded);
    for (int16_t f : {d.m_nFlashMode, d.m_nFlashRecord, d.m_nFlashStop, d.m_nFlashPlay}) EXPECT_EQ(f, 0);
}

TEST_F(KeyCommands, JDropsAGameAndFlashesTheMarker) {
    CPianoDlg& d = Make();
    d.m_nMode = MODE_LETTER;
    d.m_nQuestion = 7;
    d.m_nMistakes = 2;
    d.SetKey(20, KEY_ANSWER);
    EXPECT_TRUE(KeyUp('J'));
    EXPECT_EQ(d.m_nMode, MODE_FREE);
    EXPECT_EQ(d.m_nQuestion, -1);
    EXPECT_EQ(d.m_nMistakes, 0);
    EXPECT_EQ(d.m_nFlashMode, kLit);
    EXPECT_EQ(d.m_nKeyState[20], KEY_RELEASE - 1);
}

TEST_F(KeyCommands, RReleasesTheKeysAndLightsRecord) {
    CPianoDlg& d = Make();
    d.SetKey(44, KEY_HELD);
    d.m_nRecBlink = 9;
    EXPECT_TRUE(KeyUp('R'));
    EXPECT_EQ(d.m_nKeyState[44], KEY_RELEASE - 1);
    EXPECT_EQ(d.m_nFlashRecord, kLit);
    EXPECT_EQ(d.m_nRecBlink, 0);
}

TEST_F(KeyCommands, RDuringPlaybackRecordsIntoTheSlotBeingPlayed) {
    CPianoDlg& d = Make();
    g_aSongs[0][3] = {50, 100, 0};
    g_aSongs[1][3] = {SONG_END, SONG_END, 9};
    d.m_nSlot = 3;
    KeyUp(VK_SPACE);
    ASSERT_EQ(d.m_bPlaying, 1);
    ASSERT_EQ(d.m_nKeyState[49], KEY_HELD);
    KeyUp('R');
    EXPECT_EQ(d.m_bRecording, 1);
    EXPECT_EQ(d.m_bPlaying, 1);
    EXPECT_TRUE(SlotIsEmpty(3));
    EXPECT_EQ(d.m_nKeyState[49], KEY_RELEASE - 1);
    EXPECT_EQ(d.m_nFlashRecord, kLit);
    // Space now stops both.
    KeyUp(VK_SPACE);
    EXPECT_EQ(d.m_bRecording, 0);
    EXPECT_EQ(d.m_bPlaying, 0);
}

TEST_F(KeyCommands, SpaceAlternatesBetweenStopAndPlay) {
    CPianoDlg& d = Make();
    KeyUp('R');
    d.OnLButtonDown(400, 480);  // one clicked key: a press, then its release 30 frames later
    Frames(40);
    KeyUp(VK_SPACE);  // stops the recording
    ASSERT_EQ(d.m_bRecording, 0);
    EXPECT_EQ(d.m_nFlashStop, kLit);
    ASSERT_EQ(g_aSongs[1][0].nVelocity, 0);
    ASSERT_TRUE(IsEndMarker(g_aSongs[2][0]));
    const int16_t key = static_cast<int16_t>(g_aSongs[0][0].nKey - 1);
    for (int round = 0; round < 3; ++round) {
        d.m_nFlashPlay = d.m_nFlashStop = 0;
        KeyUp(VK_SPACE);  // plays from the beginning
        EXPECT_EQ(d.m_bPlaying, 1) << round;
        EXPECT_EQ(d.m_nEvent, 1) << round;
        EXPECT_EQ(d.m_nKeyState[key], KEY_HELD) << round;
        EXPECT_EQ(d.m_nFlashPlay, kLit) << round;
        Frames(3);
        KeyUp(VK_SPACE);  // stops
        EXPECT_EQ(d.m_bPlaying, 0) << round;
        EXPECT_EQ(d.m_nFlashStop, kLit) << round;
        EXPECT_EQ(d.m_nKeyState[key], KEY_RELEASE - 1) << round;
    }
    // The song survived the stops of playback.
    EXPECT_TRUE(IsEndMarker(g_aSongs[2][0]));
}

TEST_F(KeyCommands, SpaceOnAnEmptySlotPlaysNothing) {
    CPianoDlg& d = Make();
    d.m_nSlot = 7;
    KeyUp(VK_SPACE);
    EXPECT_EQ(d.m_bPlaying, 0);  // ended in its own frame
    EXPECT_EQ(d.m_nFlashPlay, kLit);
    EXPECT_EQ(d.m_nFlashStop, 0);
    EXPECT_TRUE(platform.midi.empty());
}

}  // namespace
}  // namespace clavora::test
