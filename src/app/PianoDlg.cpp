// Construction, lifecycle and message routing of the main window.
#include "app/PianoDlg.h"

#include <algorithm>

#include "game/Game.h"
#include "game/History.h"
#include "piano/Keys.h"
#include "recorder/Songs.h"

namespace clavora {

CPianoDlg* g_pMainDlg = nullptr;

// Every member starts zeroed, so that nothing below ever reads an undefined value;
// then the state is set up in the order the window has always established it.
CPianoDlg::CPianoDlg(Platform& platform, void* /*pParent*/)
    : m_hIcon(0), m_pPaintDC(nullptr), m_ps(), m_pOldSprite(nullptr), m_pOldBack(nullptr),
      m_hMidiOut(0), m_hbmBackground(nullptr), m_hbmCounterDigits(nullptr),
      m_hbmClockDigits(nullptr), m_hbmNoteUp(nullptr), m_hbmNoteUpLit(nullptr),
      m_hbmNoteUpMask(nullptr), m_hbmNoteDown(nullptr), m_hbmNoteDownLit(nullptr),
      m_hbmNoteDownMask(nullptr), m_hbmKeyLitJoinBoth(nullptr), m_hbmKeyLitJoinLeft(nullptr),
      m_hbmKeyLitJoinRight(nullptr), m_hbmKeyLitAlone(nullptr), m_hbmKeyMask(nullptr),
      m_hbmLedgerLine(nullptr), m_hbmMarker(nullptr), m_hbmMarkerFlash(nullptr),
      m_hbmArrowUpLit(nullptr), m_hbmArrowDownLit(nullptr), m_hbmRecordLit(nullptr),
      m_hbmStopLit(nullptr), m_hbmPlayLit(nullptr), m_hbmRecordBlink(nullptr),
      m_hbmPlayBlink(nullptr), m_hbmBlackKeyLit(nullptr), m_hbmSlotFull(nullptr),
      m_hbmSlotEmpty(nullptr), m_tStart(0), m_nElapsed(0), m_uTimerID(0), m_nTimerPeriod(0),
      m_nPreset(0), m_nProgram(0), m_nPresets(), m_nSlot(0), m_nBlink(0), m_nScroll(0),
      m_nQuestion(0), m_nMiddleCClef(0), m_nQuizKeys(), m_nLetters(), m_nMistakes(0),
      m_nRecBlink(0), m_nPlayBlink(0), m_nTick(0), m_bRecording(0), m_bPlaying(0), m_nEvent(0),
      m_nMode(0), m_nKeyState(), m_nFlashMarker(0), m_nFlashProgUp(0), m_nFlashProgDown(0),
      m_nFlashMode(0), m_nFlashSlotUp(0), m_nFlashSlotDown(0), m_nFlashRecord(0),
      m_nFlashStop(0), m_nFlashPlay(0), m_bNeedBackBitmap(0), m_bClosing(0),
      m_platform(platform) {
    m_hIcon = IDR_MAINFRAME;
    m_damage.reserve(64);  // more than a frame's damage ever holds: frames allocate nothing
    m_platform.SeedRandom(static_cast<uint32_t>(m_platform.Time()));
    ForgetPendingHistory();
    ResetGame();
    m_bNeedBackBitmap = 1;
    m_tStart = m_platform.Time();
    m_nPreset = 0;
    m_nProgram = 0;
    m_nSlot = 0;
    m_nFlashMarker = m_nFlashProgUp = m_nFlashProgDown = m_nFlashMode = 0;
    m_nFlashSlotUp = m_nFlashSlotDown = m_nFlashRecord = m_nFlashStop = m_nFlashPlay = 0;
    m_nRecBlink = m_nPlayBlink = 0;
    std::fill(std::begin(m_nKeyState), std::end(m_nKeyState), int16_t{0});
    ClearSongs();
    LoadSongs();
    std::copy(std::begin(kPresetPrograms), std::end(kPresetPrograms), m_nPresets);
    m_bRecording = 0;
    m_bPlaying = 0;
    m_nEvent = 0;
    // A song saved in slot 0 plays by itself as soon as the window runs.
    if (SlotHoldsSong(0)) StartPlayback();
    LoadBitmaps();
}

CPianoDlg::~CPianoDlg() {
    m_bmpBack.Delete();
    FreeBitmaps();
}

int CPianoDlg::DoModal() {
    m_platform.RunModal(*this);
    return 1;
}

void CPianoDlg::OnInitDialog() {
    m_nTimerPeriod = 30;
    m_uTimerID = m_platform.StartFrameTimer(m_nTimerPeriod) ? 1u : 0u;
    m_platform.MidiInOpen(&MidiInProc, 0);
    m_hMidiOut = m_platform.MidiOutOpen() ? 1 : 0;
}

// Stops everything that could still reach the window while it closes: the frame
// clock and MIDI input. From here on frames draw nothing.
void CPianoDlg::BeginClose() {
    if (m_bClosing == 1) return;
    m_platform.StopFrameTimer();
    m_uTimerID = 0;
    m_platform.MidiInClose();
    m_bClosing = 1;
}

void CPianoDlg::OnCancel() {
    BeginClose();
    FreeBitmaps();
    m_bmpBack.Delete();
    m_platform.EndModal();
}

void CPianoDlg::OnOK() {
    BeginClose();
    m_platform.EndModal();
}

void CPianoDlg::OnDestroy() {
    BeginClose();
    // A game that ended in the window's last moments is kept all the same.
    WritePendingHistory();
    DestroyWindow();
    // A pedal left down would hold the last notes in the synthesizer for good.
    SustainPedal(0);
    m_platform.MidiOutClose();
    m_hMidiOut = 0;
}

void CPianoDlg::DestroyWindow() { SaveSongs(); }

void CPianoDlg::Redraw() { OnPaint(); }

void CPianoDlg::OnExpose() {
    ForgetShownFrame();
    Redraw();
}

void TimerProc() {
    if (g_pMainDlg) g_pMainDlg->Redraw();
}

}  // namespace clavora
