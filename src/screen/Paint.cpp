// One frame: advance everything that moves with time, compose the picture in the
// back buffer and show it. The picture is a function of the window's state alone:
// every frame starts from the full background and draws every counter and light anew.
// The drawing is first listed, sprite copy by sprite copy; a frame whose list is the
// one on the window already is neither composed nor presented again.
#include "app/PianoDlg.h"
#include "game/Game.h"
#include "recorder/Songs.h"

namespace clavora {

namespace {

// The drill's button beside JAM SESSION, and its mark between the Time and Oops labels.
constexpr int kDrillButtonX = 296, kDrillButtonY = 396;
constexpr int kDrillMarkX = 64, kDrillMarkY = 42, kDrillMarkW = 26, kDrillMarkH = 11;

// A flash counter above 0 shows its control lit in this frame and counts down.
bool Flash(int16_t& counter) {
    if (counter <= 0) return false;
    --counter;
    return true;
}

// A blinking transport light: lit in phases 0..14, dark in 15..29, one phase a frame.
bool StepBlink(int16_t& phase) {
    const bool lit = phase < 15;
    if (++phase > 29) phase = 0;
    return lit;
}

}  // namespace

void CPianoDlg::CopySprite(HBITMAP bitmap, int x, int y, int w, int h, int sx, int sy,
                           uint32_t rop) {
    const auto n = [](int v) { return static_cast<int16_t>(v); };
    const SpriteCopy copy{bitmap, n(x), n(y), n(w), n(h), n(sx), n(sy), rop};
    FrameDraws& draws = m_draws[m_drawing];
    if (draws.Add(copy)) return;
    // More copies than a list holds (no frame makes so many): the frame is composed as
    // it is drawn, and never taken for the same as another.
    if (draws.Complete()) {
        for (int i = 0; i < draws.Count(); ++i) BlitSprite(draws[i]);
        draws.Abandon();
    }
    BlitSprite(copy);
}

void CPianoDlg::BlitSprite(const SpriteCopy& c) {
    m_pOldSprite = m_dcSprite.SelectObject(c.bitmap);
    m_dcBack.BitBlt(c.x, c.y, c.w, c.h, &m_dcSprite, c.sx, c.sy, c.rop);
    m_dcSprite.SelectObject(m_pOldSprite);
}

void CPianoDlg::ShowFrame() {
    const FrameDraws& draws = m_draws[m_drawing];
    const FrameDraws& shown = m_draws[1 - m_drawing];
    // The same copies as the frame on the window: the same picture. Only the platform
    // knows whether the window still shows it.
    if (m_composedAny && draws.SameAs(shown) && m_platform.ShowsLastFrame()) return;
    if (draws.Complete()) {
        for (int i = 0; i < draws.Count(); ++i) BlitSprite(draws[i]);
        m_drawing = 1 - m_drawing;
    }
    m_composedAny = draws.Complete();
    // The picture with what its copies changed since the frame presented before.
    m_bmpBack.TakeDamage(m_damage);
    const uint32_t* pixels = m_bmpBack.Bits();
    m_platform.Present(Frame{pixels, m_bmpBack.DeviceWidth(), m_bmpBack.DeviceHeight(),
                             m_bmpBack.Scale(), m_damage.data(), m_damage.size()});
}

void CPianoDlg::ForgetShownFrame() { m_composedAny = false; }

void CPianoDlg::OnPaint() {
    // Once the window has started closing its bitmaps may be gone: draw nothing.
    if (m_bClosing == 1) return;
    if (m_platform.IsMinimized()) {
        // The icon (the system's 32 x 32 size), centred; nothing advances.
        constexpr int kIconSize = 32;
        m_platform.DrawIcon((kFrameWidth - kIconSize + 1) / 2, (kFrameHeight - kIconSize + 1) / 2);
        return;
    }

    // The whole client area is painted; the picture goes to the window through the
    // platform, so there is no window context of our own.
    m_ps = PAINTSTRUCT{0, 0, kFrameWidth, kFrameHeight};
    m_pPaintDC = nullptr;
    // The two memory contexts start the frame with nothing selected.
    m_dcSprite.SelectObject(nullptr);
    m_dcBack.SelectObject(nullptr);
    // The back buffer is made once, in the first frame; one attempt only.
    if (m_bNeedBackBitmap == 1) {
        m_bmpBack.Create(kFrameWidth, kFrameHeight);
        m_bNeedBackBitmap = 0;
    }
    m_pOldBack = m_dcBack.SelectObject(&m_bmpBack);
    m_draws[m_drawing].Clear();

    // Playback first, so that keys it presses are drawn pressed in this frame.
    StepRecorder();
    CopySprite(m_hbmBackground, 0, 0, kFrameWidth, kFrameHeight, 0, 0, SRCCOPY);

    // Best records: the "Name" row is letter mode, the "Key" row piano mode.
    DrawTime(72, 128, g_nBestTimeLetter);
    DrawDigit(143, 128, static_cast<int16_t>(g_nBestMistakesLetter / 10));
    DrawDigit(159, 128, static_cast<int16_t>(g_nBestMistakesLetter % 10));
    DrawTime(72, 154, g_nBestTimePiano);
    DrawDigit(143, 154, static_cast<int16_t>(g_nBestMistakesPiano / 10));
    DrawDigit(159, 154, static_cast<int16_t>(g_nBestMistakesPiano % 10));

    // The game clock runs only while the game is asking; otherwise it shows what is left.
    const bool asking = m_nQuestion >= 0 && m_nQuestion <= 28;
    if (asking) m_nElapsed = m_platform.Time() - m_tStart;
    DrawTime(21, 57, m_nElapsed);
    DrawDigit(92, 57, static_cast<int16_t>(m_nMistakes / 10));
    DrawDigit(108, 57, static_cast<int16_t>(m_nMistakes % 10));
    if (asking) {
        const int16_t left = static_cast<int16_t>(28 - m_nQuestion);
        if (left >= 10) DrawDigit(143, 57, static_cast<int16_t>(left / 10));
        DrawDigit(159, 57, static_cast<int16_t>(left % 10));
    }

    // Instrument marker: presets 0..4 on the upper row, 5..9 on the lower, none for -1.
    const HBITMAP marker = Flash(m_nFlashMarker) ? m_hbmMarkerFlash : m_hbmMarker;
    if (m_nPreset >= 5)
        CopySprite(marker, 17 * m_nPreset - 71, 385, 16, 12, 0, 0, SRCCOPY);
    else if (m_nPreset >= 0)
        CopySprite(marker, 14 + 17 * m_nPreset, 372, 16, 12, 0, 0, SRCCOPY);

    // Arrows light only while their command flashes.
    if (Flash(m_nFlashProgUp))
        CopySprite(m_hbmArrowUpLit, 160, 372, 16, 12, 0, 0, SRCCOPY);
    if (Flash(m_nFlashProgDown))
        CopySprite(m_hbmArrowDownLit, 160, 385, 16, 12, 0, 0, SRCCOPY);
    if (Flash(m_nFlashSlotUp))
        CopySprite(m_hbmArrowUpLit, 776, 372, 16, 12, 0, 0, SRCCOPY);
    if (Flash(m_nFlashSlotDown))
        CopySprite(m_hbmArrowDownLit, 776, 385, 16, 12, 0, 0, SRCCOPY);

    // Transport: a flash wins; otherwise a running transport blinks its light.
    if (Flash(m_nFlashRecord)) {
        CopySprite(m_hbmRecordLit, 720, 403, 16, 12, 0, 0, SRCCOPY);
    } else if (m_bRecording == 1 && StepBlink(m_nRecBlink)) {
        CopySprite(m_hbmRecordBlink, 720, 403, 16, 12, 0, 0, SRCCOPY);
    }
    if (Flash(m_nFlashStop)) CopySprite(m_hbmStopLit, 737, 403, 16, 12, 0, 0, SRCCOPY);
    if (Flash(m_nFlashPlay)) {
        CopySprite(m_hbmPlayLit, 754, 403, 16, 12, 0, 0, SRCCOPY);
    } else if (m_bPlaying == 1 && StepBlink(m_nPlayBlink)) {
        CopySprite(m_hbmPlayBlink, 754, 403, 16, 12, 0, 0, SRCCOPY);
    }

    // The current slot, and whether it holds anything.
    DrawCounter(722, m_nSlot);
    CopySprite(SlotIsEmpty(m_nSlot) ? m_hbmSlotEmpty : m_hbmSlotFull, 774, 405, 8, 8, 0, 0,
               SRCCOPY);

    // Mode marker on "JAM SESSION", "KEY" or "NAME", drawn in every frame.
    const HBITMAP mode = Flash(m_nFlashMode) ? m_hbmMarkerFlash : m_hbmMarker;
    CopySprite(mode, 193, 396 - 13 * m_nMode, 16, 12, 0, 0, SRCCOPY);
    // A drill lights its button with the mode's marker, and marks the game clock.
    if (m_bDrill == 1 && m_nMode != MODE_FREE) {
        CopySprite(mode, kDrillButtonX, kDrillButtonY, 16, 12, 0, 0, SRCCOPY);
        CopySprite(m_hbmDrillMark, kDrillMarkX, kDrillMarkY, kDrillMarkW, kDrillMarkH, 0, 0, SRCCOPY);
    }

    DrawCounter(106, m_nProgram);
    DrawStaff();
    // The keys last: their count-down ends notes only after they are drawn.
    DrawKeyboard();

    // Show the finished picture in one piece, then leave the back buffer selected nowhere.
    if (!m_bmpBack.IsNull()) ShowFrame();
    m_dcBack.SelectObject(m_pOldBack);
    m_dcSprite.SelectObject(nullptr);
}

}  // namespace clavora
