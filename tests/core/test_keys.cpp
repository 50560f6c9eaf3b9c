// Key tables, key states and the MIDI messages the piano sends.
#include <gtest/gtest.h>

#include "support/DlgFixture.h"
#include "piano/Keys.h"

namespace clavora::test {
namespace {

TEST(KeyTables, ShapesCountAndPlaceTheKeys) {
    int white = 0, black = 0;
    for (int k = 0; k < kKeyCount; ++k) (g_nKeyShape[k] == kBlackKey ? black : white)++;
    EXPECT_EQ(white, 52);
    EXPECT_EQ(black, 36);
    EXPECT_EQ(g_nKeyShape[0], 0);   // A0
    EXPECT_EQ(g_nKeyShape[1], 10);  // A#0
    EXPECT_EQ(g_nKeyShape[2], 1);   // B0
    EXPECT_EQ(g_nKeyShape[87], 9);  // C8
    // C4 (key 39) .. B4 by letter.
    const int16_t octave[12] = {2, 10, 3, 10, 4, 5, 10, 6, 10, 7, 10, 8};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(g_nKeyShape[39 + i], octave[i]) << i;
}

TEST(KeyTables, StaffStepsRunFromC2ToD6OverWhiteKeysOnly) {
    EXPECT_EQ(g_nStaffPos[14], -1);  // B1
    EXPECT_EQ(g_nStaffPos[15], 0);   // C2
    EXPECT_EQ(g_nStaffPos[17], 1);   // D2
    EXPECT_EQ(g_nStaffPos[16], -1);  // C#2
    EXPECT_EQ(g_nStaffPos[39], 14);  // C4
    EXPECT_EQ(g_nStaffPos[63], 28);  // C6
    EXPECT_EQ(g_nStaffPos[65], 29);  // D6
    EXPECT_EQ(g_nStaffPos[66], -1);
    int steps = 0;
    for (int k = 0; k < kKeyCount; ++k)
        if (g_nStaffPos[k] >= 0) {
            EXPECT_NE(g_nKeyShape[k], kBlackKey);
            EXPECT_EQ(g_nStaffPos[k], steps++);
        }
    EXPECT_EQ(steps, 30);
}

using Piano = DlgFixture;

TEST_F(Piano, NoteMessagesArePackedStatusFirst) {
    CPianoDlg& d = Make();
    d.NoteOn(40);
    d.NoteOff(40);
    d.SelectProgram(61);
    ASSERT_EQ(platform.midi.size(), 3u);
    EXPECT_EQ(platform.midi[0], 0x00703C90u);
    EXPECT_EQ(platform.midi[1], 0x00003C90u);
    EXPECT_EQ(platform.midi[2], 0x00003DC0u);
    EXPECT_EQ(d.m_nProgram, 61);
}

TEST_F(Piano, KeysWithoutAMidiNoteSendNothing) {
    CPianoDlg& d = Make();
    for (int16_t k : {89, 107, 200, -21, -100, -32768}) {
        d.NoteOn(k);
        d.NoteOff(k);
    }
    EXPECT_TRUE(platform.midi.empty());
    // The edges that still are MIDI notes: 0 and 127.
    d.NoteOn(-20);
    d.NoteOn(88);
    d.NoteOff(0);
    ASSERT_EQ(platform.midi.size(), 3u);
    EXPECT_EQ(platform.midi[0], 0x00700090u);
    EXPECT_EQ(platform.midi[1], 0x00706C90u);
    EXPECT_EQ(platform.midi[2], 0x00001490u);
}

TEST_F(Piano, SetKeyStoresOnlyInsideTheKeyboard) {
    CPianoDlg& d = Make();
    d.SetKey(0, KEY_CLICK);
    d.SetKey(87, KEY_HELD);
    d.SetKey(88, KEY_HELD);
    d.SetKey(-2, KEY_HELD);
    EXPECT_EQ(d.m_nKeyState[0], KEY_CLICK);
    EXPECT_EQ(d.m_nKeyState[87], KEY_HELD);
    int pressed = 0;
    for (int16_t s : d.m_nKeyState) pressed += s != 0;
    EXPECT_EQ(pressed, 2);
    EXPECT_TRUE(platform.midi.empty());  // setting a state sounds nothing by itself
}

TEST_F(Piano, ReleaseAllFadesEverySoundingKeyHeldOnesIncluded) {
    CPianoDlg& d = Make();
    d.SetKey(3, KEY_HELD);
    d.SetKey(10, KEY_CLICK);
    d.SetKey(20, 1);
    d.SetKey(30, KEY_ANSWER);
    d.SetKey(-1, 0);
    for (int k = 0; k < kKeyCount; ++k) {
        const bool wasSet = k == 3 || k == 10 || k == 20 || k == 30;
        EXPECT_EQ(d.m_nKeyState[k], wasSet ? KEY_RELEASE : 0) << k;
    }
}

}  // namespace
}  // namespace clavora::test
