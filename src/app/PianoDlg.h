// CPianoDlg: the main window and the whole state of a run. Its member functions live
// in the files of their subsystems: app/ (construction, lifecycle, message routing),
// piano/ (keys and MIDI), recorder/ (songs), game/ (the note-reading game),
// screen/ (frames), input/ (mouse and keyboard commands).
#pragma once

#include <cstdint>
#include <ctime>
#include <vector>

#include "platform/Platform.h"
#include "raster/Gdi.h"
#include "screen/FrameDraws.h"

namespace clavora {

// Key-state values (frames left to sound, or held).
constexpr int16_t KEY_HELD = 100;
constexpr int16_t KEY_CLICK = 30;
constexpr int16_t KEY_ANSWER = 25;
constexpr int16_t KEY_RELEASE = 5;

// Game modes.
constexpr int16_t MODE_FREE = 0;
constexpr int16_t MODE_PIANO = 1;
constexpr int16_t MODE_LETTER = 2;
constexpr int16_t QUIZ_NOTES = 29;

// Sound resources of the game.
constexpr int IDW_CORRECT = 170;
constexpr int IDW_FINISHED = 171;
constexpr int IDW_WRONG = 172;
constexpr int IDW_CORRECT_ALT = 173;
constexpr int IDW_NEW_RECORD = 179;
constexpr int IDW_NEW_GAME = 207;

// The program icon.
constexpr int IDR_MAINFRAME = 128;

using HICON = int;           // the icon's resource id; the platform draws it
using HMIDIOUT = intptr_t;   // 1 while the MIDI output is open, else 0

// Filled by BeginPaint: the area to repaint, always the whole client area here.
struct PAINTSTRUCT {
    int16_t left = 0, top = 0, right = 0, bottom = 0;
};

class CPianoDlg : public WindowHandler {
public:
    explicit CPianoDlg(Platform& platform, void* pParent = nullptr);
    ~CPianoDlg() override;
    CPianoDlg(const CPianoDlg&) = delete;
    CPianoDlg& operator=(const CPianoDlg&) = delete;

    // Lifecycle (app/).
    int DoModal();
    void Redraw();
    void OnInitDialog() override;
    void OnCancel() override;
    void OnOK() override;
    void OnDestroy() override;
    void DestroyWindow();
    void BeginClose();
    void OnTimer() override;
    void OnTicksHeld(int64_t ticks) override;
    void OnExpose() override;
    HICON OnQueryDragIcon() const { return m_hIcon; }
    bool IsClosing() const { return m_bClosing == 1; }
    Platform& GetPlatform() { return m_platform; }

    // Piano and MIDI output (piano/).
    void SetKey(int16_t key, int16_t value);
    // SetKey for the key a played note falls on (MIDI input, playback): a note without
    // a key, key index -1 included, changes no state and never releases all keys.
    void SetKeyOfNote(int16_t key, int16_t value);
    void NoteOn(int16_t keyNumber);
    void NoteOff(int16_t keyNumber);
    void SelectProgram(int16_t program);
    // The sustain pedal down (1) or up (0): recorded while recording and sent to the
    // synthesizer when it changes.
    void SustainPedal(int16_t down);

    // Song store and recorder (recorder/).
    void LoadSongs();
    void SaveSongs();
    void StartRecording();
    void StartPlayback();
    void StopTransport();
    void RecordEvent(int16_t keyNumber, int16_t velocity);
    void StepRecorder();
    void OnDropFile(const char* path) override;

    // Note-reading game (game/).
    void NewGame();
    void ResetGame();
    void SetGameMode(int16_t mode);
    void JudgeLetter(int16_t letter);
    void JudgePianoKey(int16_t key);
    void FinishGame(int16_t mode);
    // The weak-note drill in the mode of the last game (game/Drill.cpp).
    void StartDrill();
    bool DealWeakNotes();

    // Frames (screen/).
    void OnPaint();
    void DrawDigit(int16_t x, int16_t y, int16_t value);
    void DrawTime(int16_t x, int16_t y, int32_t seconds);
    void DrawCounter(int16_t x0, int16_t value);
    void DrawStaff();
    void DrawNote(int16_t x, int16_t y, int16_t key, int16_t lit);
    void DrawKeyboard();
    void LoadBitmaps();
    void FreeBitmaps();
    // One sprite copy of the frame being drawn; made when the frame is composed.
    void CopySprite(HBITMAP bitmap, int x, int y, int w, int h, int sx, int sy, uint32_t rop);

    // Commands (input/).
    void OnLButtonDown(int x, int y) override;
    void OnLButtonDblClk(int x, int y) override;
    void OnKeyDown(uint32_t vk) override;
    void OnKeyUp(uint32_t vk) override;
    void OnChar(uint32_t ch);

    // The members, in this order, are the state of the whole run.
    HICON m_hIcon;
    CDC* m_pPaintDC;
    PAINTSTRUCT m_ps;
    CBitmap* m_pOldSprite;
    CDC m_dcSprite;
    CDC m_dcBack;
    CBitmap* m_pOldBack;
    HMIDIOUT m_hMidiOut;
    HBITMAP m_hbmBackground;
    HBITMAP m_hbmCounterDigits;
    HBITMAP m_hbmClockDigits;
    HBITMAP m_hbmNoteUp;
    HBITMAP m_hbmNoteUpLit;
    HBITMAP m_hbmNoteUpMask;
    HBITMAP m_hbmNoteDown;
    HBITMAP m_hbmNoteDownLit;
    HBITMAP m_hbmNoteDownMask;
    HBITMAP m_hbmKeyLitJoinBoth;
    HBITMAP m_hbmKeyLitJoinLeft;
    HBITMAP m_hbmKeyLitJoinRight;
    HBITMAP m_hbmKeyLitAlone;
    HBITMAP m_hbmKeyMask;
    HBITMAP m_hbmLedgerLine;
    HBITMAP m_hbmMarker;
    HBITMAP m_hbmMarkerFlash;
    HBITMAP m_hbmArrowUpLit;
    HBITMAP m_hbmArrowDownLit;
    HBITMAP m_hbmRecordLit;
    HBITMAP m_hbmStopLit;
    HBITMAP m_hbmPlayLit;
    HBITMAP m_hbmRecordBlink;
    HBITMAP m_hbmPlayBlink;
    HBITMAP m_hbmBlackKeyLit;
    HBITMAP m_hbmSlotFull;
    HBITMAP m_hbmSlotEmpty;
    int32_t m_tStart;
    int32_t m_nElapsed;
    uint32_t m_uTimerID;
    int16_t m_nTimerPeriod;
    int16_t m_nPreset;
    int16_t m_nProgram;
    int16_t m_nPresets[10];
    int16_t m_nSlot;
    int16_t m_nBlink;
    int16_t m_nScroll;
    int16_t m_nQuestion;
    int16_t m_nMiddleCClef;
    int16_t m_nQuizKeys[29];
    int16_t m_nLetters[29];
    int16_t m_nMistakes;
    int16_t m_nRecBlink;
    int16_t m_nPlayBlink;
    int32_t m_nTick;
    int16_t m_bRecording;
    int16_t m_bPlaying;
    int16_t m_nEvent;
    int16_t m_nMode;
    int16_t m_nKeyState[88];
    int16_t m_nFlashMarker;
    int16_t m_nFlashProgUp;
    int16_t m_nFlashProgDown;
    int16_t m_nFlashMode;
    int16_t m_nFlashSlotUp;
    int16_t m_nFlashSlotDown;
    int16_t m_nFlashRecord;
    int16_t m_nFlashStop;
    int16_t m_nFlashPlay;
    int16_t m_bNeedBackBitmap;
    CBitmap m_bmpBack;

    // Not part of the picture: 1 once the window has started closing (timer stopped,
    // MIDI closed, bitmaps released); frames asked for after that draw nothing.
    int16_t m_bClosing;
    // 1 while the sustain pedal is down, from the MIDI keyboard or from playback.
    int16_t m_bPedal = 0;
    // 1 from the start of a drill until the next game or reset; the mode the next drill
    // takes, that of the last game started (letter mode before any).
    int16_t m_bDrill = 0;
    int16_t m_nDrillMode = MODE_LETTER;
    // The mark beside the game clock during a drill.
    HBITMAP m_hbmDrillMark = nullptr;

private:
    // One sprite copy into the back buffer: select, copy, select back.
    void BlitSprite(const SpriteCopy& copy);
    // Composes the copies of the frame drawn into the back buffer and presents it, or
    // does nothing when they are those of the frame the window still shows.
    void ShowFrame();
    // The window system lost the picture: the next frame is composed whatever it draws.
    void ForgetShownFrame();

    Platform& m_platform;
    // The copies of the frame being drawn and of the last one composed, by turns.
    FrameDraws m_draws[2];
    int m_drawing = 0;
    bool m_composedAny = false;  // the other list is a frame that was presented
    std::vector<GdiRect> m_damage;  // of the frame being presented; reused
};

// The one main window; the timer and MIDI callbacks reach it only through this.
extern CPianoDlg* g_pMainDlg;

// The frame clock's callback: asks the main window for one frame.
void TimerProc();

// The MIDI input callback.
void MidiInProc(void* hMidiIn, uint32_t wMsg, uintptr_t dwInstance, uintptr_t dwParam1,
                uintptr_t dwParam2);

}  // namespace clavora
