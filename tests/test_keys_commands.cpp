// Keyboard commands: letter answers and the one-key commands, acting on key release.
#include <gtest/gtest.h>

#include "fake/DlgFixture.h"

namespace clavora::test {
namespace {

class KeyCommands : public DlgFixture {
protected:
    // Releases a key and says whether that drew a frame.
    bool KeyUp(uint32_t vk) {
        const int before = platform.presented;
        dlg->OnKeyUp(vk);
        return platform.presented == before + 1;
    }
};

TEST_F(KeyCommands, LettersOutsideALetterGameOnlyRedraw) {
    CPianoDlg& d = Make();
    struct Situation {
        int16_t mode, question;
    };
    // No game, a finished letter game, a piano game asking.
    for (Situation s : {Situation{MODE_FREE, -1}, {MODE_LETTER, QUIZ_NOTES}, {MODE_PIANO, 4}}) {
        d.m_nMode = s.mode;
        d.m_nQuestion = s.question;
        for (uint32_t vk = 'A'; vk <= 'G'; ++vk) EXPECT_TRUE(KeyUp(vk)) << vk;
        EXPECT_EQ(d.m_nMode, s.mode);
        EXPECT_EQ(d.m_nQuestion, s.question);
        EXPECT_EQ(d.m_nMistakes, 0);
    }
    EXPECT_TRUE(platform.midi.empty());
    EXPECT_TRUE(platform.sounds.empty());
    EXPECT_EQ(d.m_nFlashMode, 0);
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
    EXPECT_EQ(d.m_nFlashMode, 5);
    EXPECT_EQ(d.m_nKeyState[20], KEY_RELEASE);
}

TEST_F(KeyCommands, RReleasesTheKeysAndLightsRecord) {
    CPianoDlg& d = Make();
    d.SetKey(44, KEY_HELD);
    d.m_nRecBlink = 9;
    EXPECT_TRUE(KeyUp('R'));
    EXPECT_EQ(d.m_nKeyState[44], KEY_RELEASE);
    EXPECT_EQ(d.m_nFlashRecord, 5);
    EXPECT_EQ(d.m_nRecBlink, 0);
}

}  // namespace
}  // namespace clavora::test
