// What every frame shows on the panels and the console (clocks, counters, markers and
// lights) and what it advances, checked against the sprite cells that belong there.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "support/AllocationCounter.h"
#include "support/SyntheticArtFixture.h"
#include "game/Game.h"
#include "recorder/Songs.h"

namespace clavora::test {

namespace {

using Frame = ArtFixture;

constexpr int kColon = 10;
constexpr int kNone = -1;

void Sprite(Picture& p, const CBitmap* sprite, int x, int y) {
    p.Copy(sprite, 0, 0, sprite->Width(), sprite->Height(), x, y);
}
void ClockGlyph(Picture& p, const CPianoDlg& d, int x, int y, int glyph) {
    p.Copy(d.m_hbmClockDigits, 16 * glyph, 0, 16, 25, x, y);
}
// m:ss as the panel shows it: the tens cell covers the colon's cell but for its dots.
void ClockTime(Picture& p, const CPianoDlg& d, int x, int y, int m, int t, int u) {
    ClockGlyph(p, d, x, y, m);
    ClockGlyph(p, d, x + 16, y, kColon);
    ClockGlyph(p, d, x + 20, y, t);
    ClockGlyph(p, d, x + 36, y, u);
}
void CounterGlyph(Picture& p, const CPianoDlg& d, int x, int digit) {
    p.Copy(d.m_hbmCounterDigits, 16 * digit, 0, 16, 24, x, 373);
}

TEST_F(Frame, TimesReadAsMinutesAndSecondsInEveryClock) {
    struct Case {
        int32_t seconds;
        int m, t, u;
    };
    const Case cases[] = {
        {605, 9, 0, 5}, {600, 9, 0, 0},      {599, 9, 5, 9},  {61, 1, 0, 1},
        {0, 0, 0, 0},   {659, 9, 5, 9},      {3599, 9, 5, 9}, {-30, 0, 0, 0},
        // A negative time shows the colon glyph, an empty cell, for its units.
        {-5, 0, 0, kColon}, {-65, 0, 0, kColon},
    };
    CPianoDlg& d = MakeWithArt();
    d.m_nQuestion = 3;  // the game clock runs from the wall clock
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        d.m_tStart = platform.now - c.seconds;
        g_nBestTimeLetter = c.seconds;
        g_nBestTimePiano = c.seconds;
        Frames(1);
        EXPECT_EQ(d.m_nElapsed, c.seconds);
        Picture p = Expected();
        for (const auto& [x, y] : {std::pair{21, 57}, std::pair{72, 128}, std::pair{72, 154}}) {
            ClockTime(p, d, x, y, c.m, c.t, c.u);
            // The time covers x .. x + 51 and nothing around it.
            EXPECT_EQ(Diff(p, x - 1, y - 1, 54, 27), "") << "clock at " << x << "," << y;
        }
    }
}

TEST_F(Frame, DefaultRecordsRead959And99) {
    CPianoDlg& d = MakeWithArt();
    Frames(1);
    Picture p = Expected();
    for (int y : {128, 154}) {
        ClockTime(p, d, 72, y, 9, 5, 9);
        ClockGlyph(p, d, 143, y, 9);
        ClockGlyph(p, d, 159, y, 9);
        EXPECT_EQ(Diff(p, 70, y, 110, 25), "") << "records row " << y;
    }
}

TEST_F(Frame, GameClockStandsStillUnlessTheGameIsAsking) {
    for (int16_t question : {int16_t{-1}, int16_t{29}}) {
        CPianoDlg& d = MakeWithArt();
        d.m_nQuestion = question;
        d.m_tStart = platform.now - 400;
        d.m_nElapsed = 123;
        Frames(1);
        EXPECT_EQ(d.m_nElapsed, 123) << question;
        Picture p = Expected();
        ClockTime(p, d, 21, 57, 2, 0, 3);
        EXPECT_EQ(Diff(p, 21, 57, 52, 25), "") << question;
    }
}

TEST_F(Frame, NotesLeftShowOnlyWhileAsking) {
    struct Case {
        int16_t question;
        int tens, units;
    };
    const Case cases[] = {{0, 2, 8},      {18, 1, 0},        {19, kNone, 9},
                          {28, kNone, 0}, {-1, kNone, kNone}, {29, kNone, kNone}};
    CPianoDlg& d = MakeWithArt();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.question);
        d.m_nQuestion = c.question;
        Frames(1);
        Picture p = Expected();
        if (c.tens != kNone) ClockGlyph(p, d, 143, 57, c.tens);
        if (c.units != kNone) ClockGlyph(p, d, 159, 57, c.units);
        EXPECT_EQ(Diff(p, 125, 55, 60, 29), "");
    }
}

TEST_F(Frame, MistakesAlwaysShowTwoDigits) {
    struct Case {
        int16_t mistakes;
        int tens, units;
    };
    const Case cases[] = {{0, 0, 0}, {7, 0, 7}, {10, 1, 0}, {99, 9, 9}};
    CPianoDlg& d = MakeWithArt();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mistakes);
        d.m_nMistakes = c.mistakes;
        Frames(1);
        Picture p = Expected();
        ClockGlyph(p, d, 92, 57, c.tens);
        ClockGlyph(p, d, 108, 57, c.units);
        EXPECT_EQ(Diff(p, 90, 55, 36, 29), "");
    }
}

TEST_F(Frame, SlotAndProgramCountersDrawOnlyTheDigitsTheyNeed) {
    struct Case {
        int16_t value;
        int hundreds, tens, units;
    };
    const Case cases[] = {{0, kNone, kNone, 0}, {7, kNone, kNone, 7}, {10, kNone, 1, 0},
                          {99, kNone, 9, 9},    {100, 1, 0, 0},       {127, 1, 2, 7}};
    CPianoDlg& d = MakeWithArt();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        d.m_nSlot = c.value;
        d.m_nProgram = c.value;
        Frames(1);
        Picture p = Expected();
        for (int x0 : {722, 106}) {
            if (c.hundreds != kNone) CounterGlyph(p, d, x0, c.hundreds);
            if (c.tens != kNone) CounterGlyph(p, d, x0 + 16, c.tens);
            CounterGlyph(p, d, x0 + 32, c.units);
            EXPECT_EQ(Diff(p, x0 - 2, 371, 52, 27), "") << "counter at " << x0;
        }
    }
}

TEST_F(Frame, SlotLightShowsWhetherTheSlotHoldsAnything) {
    CPianoDlg& d = MakeWithArt();
    struct Case {
        SongEvent first;
        HBITMAP CPianoDlg::*light;
    };
    const Case cases[] = {
        {{SONG_END, SONG_END, 0}, &CPianoDlg::m_hbmSlotEmpty},
        {{40, 100, 0}, &CPianoDlg::m_hbmSlotFull},
        // Only a whole end marker makes a slot empty.
        {{SONG_END, 100, 0}, &CPianoDlg::m_hbmSlotFull},
        {{40, SONG_END, 0}, &CPianoDlg::m_hbmSlotFull},
    };
    d.m_nSlot = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first.nKey * 1000 + c.first.nVelocity);
        g_aSongs[0][5] = c.first;
        Frames(1);
        Picture p = Expected();
        Sprite(p, d.*c.light, 774, 405);
        EXPECT_EQ(Diff(p, 772, 403, 12, 12), "");
    }
}

TEST_F(Frame, InstrumentMarkerStandsOnItsPresetAndFlashes) {
    struct Case {
        int16_t preset;
        int x, y;
    };
    const Case cases[] = {{0, 14, 372}, {4, 82, 372}, {5, 14, 385}, {9, 82, 385}, {-1, kNone, 0}};
    CPianoDlg& d = MakeWithArt();
    for (const Case& c : cases) {
        for (int16_t flash : {int16_t{0}, int16_t{3}}) {
            SCOPED_TRACE(c.preset * 10 + flash);
            d.m_nPreset = c.preset;
            d.m_nFlashMarker = flash;
            Frames(1);
            // The counter runs down whether or not a marker is drawn.
            EXPECT_EQ(d.m_nFlashMarker, flash > 0 ? flash - 1 : 0);
            Picture p = Expected();
            if (c.x != kNone) Sprite(p, flash > 0 ? d.m_hbmMarkerFlash : d.m_hbmMarker, c.x, c.y);
            EXPECT_EQ(Diff(p, 12, 370, 90, 29), "");  // all ten preset buttons
        }
    }
}

TEST_F(Frame, ModeMarkerStandsOnTheModesButton) {
    struct Case {
        int16_t mode;
        int y;
    };
    const Case cases[] = {{MODE_FREE, 396}, {MODE_PIANO, 383}, {MODE_LETTER, 370}};
    CPianoDlg& d = MakeWithArt();
    for (const Case& c : cases) {
        for (int16_t flash : {int16_t{0}, int16_t{2}}) {
            SCOPED_TRACE(c.mode * 10 + flash);
            d.m_nMode = c.mode;
            d.m_nFlashMode = flash;
            Frames(1);
            Picture p = Expected();
            Sprite(p, flash > 0 ? d.m_hbmMarkerFlash : d.m_hbmMarker, 193, c.y);
            EXPECT_EQ(Diff(p, 191, 368, 20, 42), "");  // the three mode buttons
        }
    }
}

TEST_F(Frame, AFlashOfFiveLightsItsControlInExactlyTheNextFiveFrames) {
    struct Case {
        const char* name;
        int16_t CPianoDlg::*counter;
        HBITMAP CPianoDlg::*lit;
        HBITMAP CPianoDlg::*unlit;  // nullptr: the background's button
        int x, y;
    };
    const Case cases[] = {
        {"marker", &CPianoDlg::m_nFlashMarker, &CPianoDlg::m_hbmMarkerFlash,
         &CPianoDlg::m_hbmMarker, 14, 372},
        {"program up", &CPianoDlg::m_nFlashProgUp, &CPianoDlg::m_hbmArrowUpLit, nullptr, 160, 372},
        {"program down", &CPianoDlg::m_nFlashProgDown, &CPianoDlg::m_hbmArrowDownLit, nullptr,
         160, 385},
        {"mode", &CPianoDlg::m_nFlashMode, &CPianoDlg::m_hbmMarkerFlash, &CPianoDlg::m_hbmMarker,
         193, 396},
        {"slot up", &CPianoDlg::m_nFlashSlotUp, &CPianoDlg::m_hbmArrowUpLit, nullptr, 776, 372},
        {"slot down", &CPianoDlg::m_nFlashSlotDown, &CPianoDlg::m_hbmArrowDownLit, nullptr, 776,
         385},
        {"record", &CPianoDlg::m_nFlashRecord, &CPianoDlg::m_hbmRecordLit, nullptr, 720, 403},
        {"stop", &CPianoDlg::m_nFlashStop, &CPianoDlg::m_hbmStopLit, nullptr, 737, 403},
        {"play", &CPianoDlg::m_nFlashPlay, &CPianoDlg::m_hbmPlayLit, nullptr, 754, 403},
    };
    CPianoDlg& d = MakeWithArt();
    for (const Case& c : cases) {
        d.*c.counter = 5;
        for (int frame = 1; frame <= 7; ++frame) {
            SCOPED_TRACE(std::string(c.name) + " frame " + std::to_string(frame));
            Frames(1);
            EXPECT_EQ(d.*c.counter, frame <= 5 ? 5 - frame : 0);
            Picture p = Expected();
            if (frame <= 5)
                Sprite(p, d.*c.lit, c.x, c.y);
            else if (c.unlit)
                Sprite(p, d.*c.unlit, c.x, c.y);
            EXPECT_EQ(Diff(p, c.x, c.y, 16, 12), "");
        }
    }
}

TEST_F(Frame, TransportLightsFlashThenBlinkFifteenOnFifteenOff) {
    struct Case {
        const char* name;
        int16_t CPianoDlg::*running;
        int16_t CPianoDlg::*phase;
        int16_t CPianoDlg::*flash;
        HBITMAP CPianoDlg::*lit;
        HBITMAP CPianoDlg::*blink;
        int x;
    };
    const Case cases[] = {
        {"record", &CPianoDlg::m_bRecording, &CPianoDlg::m_nRecBlink, &CPianoDlg::m_nFlashRecord,
         &CPianoDlg::m_hbmRecordLit, &CPianoDlg::m_hbmRecordBlink, 720},
        {"play", &CPianoDlg::m_bPlaying, &CPianoDlg::m_nPlayBlink, &CPianoDlg::m_nFlashPlay,
         &CPianoDlg::m_hbmPlayLit, &CPianoDlg::m_hbmPlayBlink, 754},
    };
    for (const Case& c : cases) {
        CPianoDlg& d = MakeWithArt();
        // A song whose first note is far off keeps playback waiting.
        g_aSongs[0][0] = SongEvent{40, 100, 100000};
        g_aSongs[1][0] = SongEvent{SONG_END, SONG_END, 100001};
        d.*c.running = 1;
        d.*c.phase = 0;
        d.*c.flash = 5;
        for (int frame = 1; frame <= 66; ++frame) {
            SCOPED_TRACE(std::string(c.name) + " frame " + std::to_string(frame));
            Frames(1);
            Picture p = Expected();
            if (frame <= 5)
                Sprite(p, d.*c.lit, c.x, 403);
            else if ((frame - 6) % 30 < 15)
                Sprite(p, d.*c.blink, c.x, 403);
            EXPECT_EQ(Diff(p, c.x, 403, 16, 12), "");
        }
        // Once the transport stops the light goes out and its phase stands still.
        d.*c.running = 0;
        const int16_t phase = d.*c.phase;
        Frames(3);
        EXPECT_EQ(d.*c.phase, phase);
        EXPECT_EQ(Diff(Expected(), c.x, 403, 16, 12), "");
    }
}

// A frame with nothing going on is the background with exactly the resting state on
// it: records, the stopped clock, mistakes, preset 0, slot 0 empty, free mode, program 0.
TEST_F(Frame, AnIdleFrameDrawsTheRestingStateAndNothingElse) {
    CPianoDlg& d = MakeWithArt();
    Frames(2);
    Picture p = Expected();
    for (int y : {128, 154}) {
        ClockTime(p, d, 72, y, 9, 5, 9);
        ClockGlyph(p, d, 143, y, 9);
        ClockGlyph(p, d, 159, y, 9);
    }
    ClockTime(p, d, 21, 57, 0, 0, 0);
    ClockGlyph(p, d, 92, 57, 0);
    ClockGlyph(p, d, 108, 57, 0);
    Sprite(p, d.m_hbmMarker, 14, 372);
    CounterGlyph(p, d, 754, 0);
    Sprite(p, d.m_hbmSlotEmpty, 774, 405);
    Sprite(p, d.m_hbmMarker, 193, 396);
    CounterGlyph(p, d, 138, 0);
    EXPECT_EQ(p.Diff(platform.frame), "");
    EXPECT_EQ(platform.presented, 2);
}

// A busy scene: a letter game asking, the staff scrolled, recording, the lights
// flashing and ten keys held or counting down.
static void MakeBusy(CPianoDlg& d) {
    d.m_nQuestion = 0;
    d.m_nMode = MODE_LETTER;
    for (int i = 0; i < QUIZ_NOTES; ++i) d.m_nQuizKeys[i] = static_cast<int16_t>(15 + i);
    d.m_nScroll = 150;
    d.m_bRecording = 1;
    d.m_nFlashMarker = d.m_nFlashStop = 5;
    for (int k = 30; k < 40; ++k) d.m_nKeyState[k] = static_cast<int16_t>(k % 2 ? KEY_HELD : k - 20);
}

TEST_F(Frame, TheBackBufferIsMadeOnceAndFramesAllocateNothing) {
    ASSERT_TRUE(AllocationsAreCounted());
    CPianoDlg& d = MakeWithArt();
    MakeBusy(d);
    platform.midi.reserve(1000);  // the fake's own record of messages is not the frame's
    Frames(1);
    EXPECT_EQ(d.m_bNeedBackBitmap, 0);
    const uint32_t* buffer = d.m_bmpBack.Bits();
    g_allocations = 0;
    g_countAllocations = true;
    Frames(40);
    g_countAllocations = false;
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_EQ(d.m_bmpBack.Bits(), buffer);
    EXPECT_FALSE(platform.midi.empty());  // the counting keys did end within those frames
}

// The window is given each frame with the rectangles its copies changed: a window that
// copies only those keeps the very picture of the back buffer, frame after frame, while
// keys count down, the staff slides, lights flash and blink; and a frame that changed
// nothing says so.
TEST_F(Frame, TheRectanglesPresentedAreAllThatChanged) {
    CPianoDlg& d = MakeWithArt();
    platform.presentChangesOnly = true;
    MakeBusy(d);
    Frames(1);
    ASSERT_EQ(platform.frameScale, 1);
    int partial = 0;
    for (int i = 0; i < 60; ++i) {
        Frames(1);
        const uint32_t* back = d.m_bmpBack.Bits();
        ASSERT_TRUE(std::equal(platform.frame.begin(), platform.frame.end(), back)) << "frame " << i;
        for (const GdiRect& r : platform.damage) {
            EXPECT_TRUE(r.x >= 0 && r.y >= 0 && r.x + r.w <= kFrameWidth && r.y + r.h <= kFrameHeight);
            if (r.w * r.h < kFrameWidth * kFrameHeight / 4) ++partial;
        }
    }
    EXPECT_GT(partial, 30);  // changes go as small rectangles, not as the whole picture
    // Nothing moving: the same copies again change nothing.
    d.m_nQuestion = -1;
    d.m_bRecording = 0;
    std::fill(std::begin(d.m_nKeyState), std::end(d.m_nKeyState), int16_t{0});
    Frames(40);
    d.OnPaint();
    EXPECT_TRUE(platform.damage.empty());
}

}  // namespace
}  // namespace clavora::test
