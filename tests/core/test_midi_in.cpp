// MIDI input: packed messages from an external keyboard, delivered as the platform
// delivers them, under the window lock.
#include <gtest/gtest.h>

#include <vector>

#include "support/DlgFixture.h"
#include "piano/Keys.h"
#include "platform/window/WindowLock.h"
#include "recorder/Songs.h"
#include "core/test_game.h"

namespace clavora::test {
namespace {

class MidiIn : public DlgFixture {
protected:
    void Send(uint32_t status, uint32_t note, uint32_t velocity) {
        DeliverMidiIn(&MidiInProc, 0, PackShortMsg(status, note, velocity));
    }
};

// One message, the key it must leave in which state, and what goes out.
struct MidiCase {
    const char* what;
    uint32_t status, note, velocity;
    int key;  // key index to look at, -1 for none
    int16_t state;
    std::vector<uint32_t> sent;
};

TEST_F(MidiIn, NoteOnOfTheFirstChannelPlaysTheKeyboard) {
    const MidiCase cases[] = {
        {"middle C pressed", 0x90, 60, 64, 39, KEY_HELD, {0x00703C90}},
        {"soft press sounds as loud", 0x90, 60, 1, 39, KEY_HELD, {0x00703C90}},
        {"A0", 0x90, 21, 100, 0, KEY_HELD, {0x00701590}},
        {"C8", 0x90, 108, 127, 87, KEY_HELD, {0x00706C90}},
        {"second channel", 0x91, 60, 64, 39, 0, {}},
        {"last channel", 0x9F, 60, 64, 39, 0, {}},
        {"controller", 0xB0, 60, 64, 39, 0, {}},
        {"program change", 0xC0, 60, 0, 39, 0, {}},
        {"pitch bend", 0xE0, 60, 64, 39, 0, {}},
        {"above C8: no key, nothing sent", 0x90, 109, 64, -1, 0, {}},
        {"top note", 0x90, 127, 64, -1, 0, {}},
        {"below A0: no key, still sent", 0x90, 19, 64, -1, 0, {0x00701390}},
        {"note 0", 0x90, 0, 64, -1, 0, {0x00700090}},
    };
    for (const MidiCase& c : cases) {
        Make();
        platform.midi.clear();
        Send(c.status, c.note, c.velocity);
        if (c.key >= 0) {
            EXPECT_EQ(dlg->m_nKeyState[c.key], c.state) << c.what;
        }
        int lit = 0;
        for (int16_t s : dlg->m_nKeyState) lit += s != 0;
        EXPECT_EQ(lit, c.state != 0 ? 1 : 0) << c.what;
        EXPECT_EQ(platform.midi, c.sent) << c.what;
        TearDown();
    }
}

// Note Off of the first channel, whatever its velocity, releases as velocity 0 does;
// on another channel it does nothing.
TEST_F(MidiIn, NoteOffAndVelocityZeroBothReleaseAtOnce) {
    CPianoDlg& d = Make();
    Send(0x90, 60, 64);
    Frames(40);
    EXPECT_EQ(d.m_nKeyState[39], KEY_HELD);  // held keys never count down
    Send(0x81, 60, 64);
    EXPECT_EQ(d.m_nKeyState[39], KEY_HELD);
    Send(0x80, 60, 64);
    EXPECT_EQ(d.m_nKeyState[39], 0);
    Send(0x90, 62, 64);
    Send(0x80, 62, 0);
    EXPECT_EQ(d.m_nKeyState[41], 0);
    Send(0x90, 64, 64);
    Send(0x90, 64, 0);
    EXPECT_EQ(d.m_nKeyState[43], 0);
    const std::vector<uint32_t> sent = {0x00703C90, 0x00003C90, 0x00703E90,
                                        0x00003E90, 0x00704090, 0x00004090};
    EXPECT_EQ(platform.midi, sent);
}

TEST_F(MidiIn, OtherCallbackNoticesAreIgnored) {
    CPianoDlg& d = Make();
    for (uint32_t notice : {0x3C1u, 0x3C2u, 0x3C4u, 0x3C5u, 0x3C6u})
        MidiInProc(nullptr, notice, 0, PackShortMsg(0x90, 60, 64), 0);
    EXPECT_EQ(d.m_nKeyState[39], 0);
    EXPECT_TRUE(platform.midi.empty());
}

// Note 20 lies just below the keyboard: a note without a key like the others. It
// must not be taken for "release all keys".
TEST_F(MidiIn, NoteTwentyLeavesTheOtherKeysAlone) {
    CPianoDlg& d = Make();
    Send(0x90, 40, 90);   // key 19 held
    d.SetKey(50, KEY_CLICK);
    Send(0x90, 20, 64);
    Send(0x90, 20, 0);
    EXPECT_EQ(d.m_nKeyState[19], KEY_HELD);
    EXPECT_EQ(d.m_nKeyState[50], KEY_CLICK);
    const std::vector<uint32_t> sent = {0x00702890, 0x00701490, 0x00001490};
    EXPECT_EQ(platform.midi, sent);
}

TEST_F(MidiIn, PressesAnswerAPianoGameAndNotesWithoutAKeyAreWrong) {
    CPianoDlg& d = Make();
    d.SetGameMode(MODE_PIANO);
    d.m_nKeyState[30] = KEY_HELD;
    platform.sounds.clear();
    const int16_t asked = d.m_nQuizKeys[0];
    Send(0x90, 20, 64);   // note 20: no key, a wrong answer
    Send(0x90, 109, 64);  // above the keyboard: likewise
    EXPECT_EQ(d.m_nMistakes, 2);
    EXPECT_EQ((std::vector<int>{IDW_WRONG, IDW_WRONG}), platform.sounds);
    EXPECT_EQ(d.m_nKeyState[30], KEY_HELD);  // nothing was released
    Send(0x90, 20, 0);  // releases are never judged
    Send(0x90, static_cast<uint32_t>(asked + 21), 0);
    EXPECT_EQ(d.m_nMistakes, 2);
    EXPECT_EQ(d.m_nQuestion, 0);
    Send(0x90, static_cast<uint32_t>(asked + 21), 100);
    EXPECT_EQ(d.m_nQuestion, 1);
    EXPECT_EQ(d.m_nKeyState[asked], KEY_HELD);
    // Note On on another channel answers nothing.
    Send(0x91, static_cast<uint32_t>(d.m_nQuizKeys[1] + 21), 100);
    EXPECT_EQ(d.m_nQuestion, 1);
}

TEST_F(MidiIn, AReleaseOfAllKeysFadesAHeldKeyAndItsLiftSoundsAgain) {
    CPianoDlg& d = Make();
    Send(0x90, 72, 64);
    d.SetKey(-1, 0);
    EXPECT_EQ(d.m_nKeyState[51], KEY_RELEASE);
    platform.midi.clear();
    Send(0x90, 72, 0);
    EXPECT_EQ(d.m_nKeyState[51], 0);
    EXPECT_EQ(platform.midi, std::vector<uint32_t>{0x00004890});
}

// Every Note On of the first channel is recorded with its key number, also notes
// without a key; nothing else is.
TEST_F(MidiIn, NotesAreRecordedAsTheyArrive) {
    CPianoDlg& d = Make();
    d.OnKeyUp('R');
    Send(0x90, 60, 64);
    Send(0x91, 61, 64);
    Send(0x80, 60, 64);
    Frames(2);
    Send(0x90, 109, 64);
    Send(0x90, 20, 64);
    Frames(1);
    Send(0x90, 20, 0);
    Send(0x90, 60, 0);
    d.OnKeyUp(VK_SPACE);
    struct Expected {
        int16_t key, velocity;
        int32_t tick;
    };
    const Expected song[] = {{40, 100, 0}, {40, 0, 0}, {89, 100, 2},
                             {0, 100, 2}, {0, 0, 3},  {40, 0, 3}};
    for (int e = 0; e < 6; ++e) {
        EXPECT_EQ(g_aSongs[e][0].nKey, song[e].key) << e;
        EXPECT_EQ(g_aSongs[e][0].nVelocity, song[e].velocity) << e;
        EXPECT_EQ(g_aSongs[e][0].nTick, song[e].tick) << e;
    }
    EXPECT_TRUE(IsEndMarker(g_aSongs[6][0]));
}

TEST_F(MidiIn, TheOpenedCallbackIsTheOneThatPlays) {
    CPianoDlg& d = Make();
    platform.script = [&](WindowHandler& w) {
        ASSERT_NE(platform.midiIn, nullptr);
        DeliverMidiIn(platform.midiIn, platform.midiInInstance, PackShortMsg(0x90, 64, 80));
        EXPECT_EQ(d.m_nKeyState[43], KEY_HELD);
        w.OnOK();
    };
    d.DoModal();
    EXPECT_EQ(platform.midi.front(), 0x00704090u);
}

}  // namespace
}  // namespace clavora::test
