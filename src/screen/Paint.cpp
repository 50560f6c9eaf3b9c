// One frame: advance everything that moves with time, compose the picture in the
// back buffer and show it.
#include "app/PianoDlg.h"

namespace clavora {

void CPianoDlg::CopySprite(HBITMAP bitmap, int x, int y, int w, int h, int sx, int sy,
                           uint32_t rop) {
    m_pOldSprite = m_dcSprite.SelectObject(bitmap);
    m_dcBack.BitBlt(x, y, w, h, &m_dcSprite, sx, sy, rop);
    m_dcSprite.SelectObject(m_pOldSprite);
}

void CPianoDlg::OnPaint() {
    // Once the window has started closing its bitmaps may be gone: draw nothing.
    if (m_bClosing == 1) return;
    if (m_platform.IsMinimized()) {
        // The icon, centred; nothing advances.
        m_platform.DrawIcon((kFrameWidth - 32 + 1) / 2, (kFrameHeight - 32 + 1) / 2);
        return;
    }
    m_ps = PAINTSTRUCT{0, 0, kFrameWidth, kFrameHeight};
    if (m_bNeedBackBitmap == 1) {
        m_bmpBack.Create(kFrameWidth, kFrameHeight);
        m_bNeedBackBitmap = 0;
    }
    m_pOldBack = m_dcBack.SelectObject(&m_bmpBack);

    StepRecorder();
    CopySprite(m_hbmBackground, 0, 0, kFrameWidth, kFrameHeight, 0, 0, SRCCOPY);
    // TODO(screen): counters, lights, markers.
    DrawStaff();
    DrawKeyboard();

    if (!m_bmpBack.IsNull()) m_platform.Present(m_bmpBack.Bits());
    m_dcBack.SelectObject(m_pOldBack);
}

// TODO(screen): digits, staff and keyboard.
void CPianoDlg::DrawDigit(int16_t, int16_t, int16_t) {}
void CPianoDlg::DrawTime(int16_t, int16_t, int32_t) {}
void CPianoDlg::DrawCounter(int16_t, int16_t) {}
void CPianoDlg::DrawStaff() {}
void CPianoDlg::DrawNote(int16_t, int16_t, int16_t, int16_t) {}
void CPianoDlg::DrawKeyboard() {}

}  // namespace clavora
