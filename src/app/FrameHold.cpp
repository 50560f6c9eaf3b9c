// The frame clock at rest. A tick that moved nothing but the staff's blink, with no
// game asking (the only time the game clock reads the time) and the window not
// minimized, is followed by ticks that move nothing but the blink until the next
// input: every tick is a function of the window's state, and the blink is read only
// while a game asks. The platform may then hold its clock until an input, and tell the
// window how many ticks it held back; the blink takes them all at once.
#include <algorithm>

#include "app/PianoDlg.h"
#include "game/History.h"
#include "input/Commands.h"

namespace clavora {

namespace {

// The blink runs 0..20, one step a tick.
constexpr int kBlinkPhases = 21;

// Everything a tick can move, the blink aside.
struct Motion {
    int32_t tStart, elapsed, tick;
    int16_t preset, program, slot, scroll, question, clef, mistakes, recBlink, playBlink;
    int16_t recording, playing, event, mode, needBack, closing;
    int16_t keys[88];
    int16_t flashes[9];

    bool operator==(const Motion&) const = default;
};

Motion MotionOf(const CPianoDlg& d) {
    Motion m{d.m_tStart, d.m_nElapsed, d.m_nTick, d.m_nPreset, d.m_nProgram, d.m_nSlot,
             d.m_nScroll, d.m_nQuestion, d.m_nMiddleCClef, d.m_nMistakes, d.m_nRecBlink,
             d.m_nPlayBlink, d.m_bRecording, d.m_bPlaying, d.m_nEvent, d.m_nMode,
             d.m_bNeedBackBitmap, d.m_bClosing, {}, {}};
    std::copy(std::begin(d.m_nKeyState), std::end(d.m_nKeyState), m.keys);
    const int16_t flashes[9] = {d.m_nFlashMarker, d.m_nFlashProgUp, d.m_nFlashProgDown,
                                d.m_nFlashMode,   d.m_nFlashSlotUp, d.m_nFlashSlotDown,
                                d.m_nFlashRecord, d.m_nFlashStop,   d.m_nFlashPlay};
    std::copy(std::begin(flashes), std::end(flashes), m.flashes);
    return m;
}

}  // namespace

void CPianoDlg::OnTimer() {
    // A game that ended since the last tick is appended to the history before this
    // frame; while a game asks, ticks time its notes and no file is touched.
    WritePendingHistory();
    if (IsGameAsking(*this)) HistoryTick();
    const Motion before = MotionOf(*this);
    TimerProc();
    if (!IsGameAsking(*this) && !m_platform.IsMinimized() && m_bClosing == 0 &&
        MotionOf(*this) == before)
        m_platform.HoldFrameTimer();
}

void CPianoDlg::OnTicksHeld(int64_t ticks) {
    if (ticks <= 0) return;
    m_nBlink = static_cast<int16_t>((m_nBlink + ticks % kBlinkPhases) % kBlinkPhases);
}

}  // namespace clavora
