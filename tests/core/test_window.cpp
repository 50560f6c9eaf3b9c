// The main window's initial state and its life from start to close.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/PianoApp.h"
#include "support/DlgFixture.h"
#include "recorder/Songs.h"

namespace clavora::test {
namespace {

using Window = DlgFixture;

TEST_F(Window, StartsWithTheDefaultsAndNoFiles) {
    platform.now = 424242;
    CPianoDlg& d = Make();
    const int16_t presets[10] = {0, 4, 6, 7, 16, 19, 20, 53, 61, 49};
    EXPECT_TRUE(std::equal(std::begin(presets), std::end(presets), d.m_nPresets));
    EXPECT_EQ(d.m_nPreset, 0);
    EXPECT_EQ(d.m_nProgram, 0);
    EXPECT_EQ(d.m_nSlot, 0);
    EXPECT_EQ(d.m_nMode, MODE_FREE);
    EXPECT_EQ(d.m_nQuestion, -1);
    EXPECT_EQ(d.m_nScroll, 0);
    EXPECT_EQ(d.m_nBlink, 0);
    EXPECT_EQ(d.m_nElapsed, 0);
    EXPECT_EQ(d.m_nMistakes, 0);
    EXPECT_EQ(d.m_bRecording, 0);
    EXPECT_EQ(d.m_bPlaying, 0);
    EXPECT_EQ(d.m_nEvent, 0);
    EXPECT_EQ(d.m_bNeedBackBitmap, 1);
    EXPECT_EQ(d.m_tStart, 424242);
    EXPECT_EQ(platform.seed, 424242u);
    for (int16_t s : d.m_nKeyState) EXPECT_EQ(s, 0);
    for (int16_t f : {d.m_nFlashMarker, d.m_nFlashProgUp, d.m_nFlashProgDown, d.m_nFlashMode,
                      d.m_nFlashSlotUp, d.m_nFlashSlotDown, d.m_nFlashRecord, d.m_nFlashStop,
                      d.m_nFlashPlay, d.m_nRecBlink, d.m_nPlayBlink})
        EXPECT_EQ(f, 0);
    for (int s = 0; s < kSongSlots; ++s) EXPECT_TRUE(SlotIsEmpty(s)) << s;
    // No program change is sent at start; nothing sounds.
    EXPECT_TRUE(platform.midi.empty());
    EXPECT_TRUE(platform.sounds.empty());
}

TEST_F(Window, OpensTimerAndMidiThenClosesThemBeforeItGoes) {
    CPianoDlg& d = Make();
    platform.script = [&](WindowHandler& w) {
        EXPECT_TRUE(platform.timerRunning);
        EXPECT_EQ(platform.timerPeriod, 30);
        EXPECT_EQ(d.m_nTimerPeriod, 30);
        EXPECT_TRUE(platform.midiOutOpen);
        EXPECT_NE(platform.midiIn, nullptr);
        w.OnCancel();
    };
    d.DoModal();
    const std::vector<std::string> expected = {
        "RunModal", "StartFrameTimer", "MidiInOpen", "MidiOutOpen", "StopFrameTimer",
        "MidiInClose", "EndModal", "MidiOutClose", "Destroyed"};
    EXPECT_EQ(platform.log, expected);
    EXPECT_FALSE(platform.timerRunning);
    EXPECT_EQ(platform.midiIn, nullptr);
    // Cancel released the bitmaps; a frame asked for afterwards draws nothing.
    const int shown = platform.presented;
    d.Redraw();
    EXPECT_EQ(platform.presented, shown);
    EXPECT_EQ(d.m_hbmBackground, nullptr);
}

TEST_F(Window, EnterClosesTooButKeepsTheBitmaps) {
    CPianoDlg& d = Make();
    platform.script = [&](WindowHandler& w) { w.OnOK(); };
    d.DoModal();
    EXPECT_TRUE(platform.modalEnded);
    EXPECT_NE(d.m_hbmBackground, nullptr);
    EXPECT_FALSE(platform.timerRunning);
}

TEST_F(Window, MidiArrivingAfterCloseTouchesNothing) {
    CPianoDlg& d = Make();
    MidiInCallback proc = nullptr;
    platform.script = [&](WindowHandler& w) {
        proc = platform.midiIn;
        w.OnCancel();
    };
    d.DoModal();
    ASSERT_NE(proc, nullptr);
    proc(nullptr, MIM_DATA, 0, 0x00403C90, 0);
    EXPECT_EQ(d.m_nKeyState[39], 0);
    EXPECT_TRUE(platform.midi.empty());
}

TEST_F(Window, MinimizedFrameDrawsTheIconCentredAndAdvancesNothing) {
    CPianoDlg& d = Make();
    d.m_nFlashStop = 5;
    d.SetKey(10, KEY_CLICK);
    platform.minimized = true;
    Frames(3);
    EXPECT_EQ(platform.iconX, 384);
    EXPECT_EQ(platform.iconY, 244);
    EXPECT_EQ(platform.presented, 0);
    EXPECT_EQ(d.m_nFlashStop, 5);
    EXPECT_EQ(d.m_nKeyState[10], KEY_CLICK);
    EXPECT_EQ(d.m_bNeedBackBitmap, 1);
}

TEST(Application, RunsTheWindowAndWritesTheRecordsAfterIt) {
    TempDir dir;
    FakePlatform platform;
    platform.script = [&](WindowHandler& w) {
        ASSERT_NE(g_pMainDlg, nullptr);
        EXPECT_FALSE(FileExists("Clavora.hsc"));
        g_nBestTimePiano = 75;
        w.OnCancel();
    };
    EXPECT_EQ(theApp.InitInstance(platform), 0);
    EXPECT_EQ(g_pMainDlg, nullptr);
    const std::vector<uint8_t> expected = {0x93, 0x02, 0, 0, 0x63, 0, 0x4B, 0, 0, 0, 0x63, 0};
    EXPECT_EQ(ReadFileBytes("Clavora.hsc"), expected);
}

}  // namespace
}  // namespace clavora::test
