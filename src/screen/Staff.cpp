// The game's notes on the grand staff: the note asked blinking, up to three after it,
// sliding left into place after every right answer.
#include "app/PianoDlg.h"
#include "piano/Keys.h"

namespace clavora {

void CPianoDlg::DrawStaff() {
    // The blink runs 0..20; the asked note is lit in 0..9.
    if (++m_nBlink > 20) m_nBlink = 0;

    if (m_nQuestion >= 0 && m_nQuestion <= 28) {
        for (int i = 0; i < 4; ++i) {
            const int n = m_nQuestion + i;
            if (n > 28) continue;
            // A slot shows only left of x 604, so a note sliding in appears at its edge.
            if (75 * i + m_nScroll >= 255) continue;
            const int16_t lit = (i == 0 && m_nBlink < 10) ? 1 : 0;
            DrawNote(static_cast<int16_t>(349 + m_nScroll + 75 * i), -28, m_nQuizKeys[n], lit);
        }
    }

    // Ease the offset back to 0 in steps of 20, 15, 10 and 5 px.
    if (m_nScroll > 225)
        m_nScroll -= 20;
    else if (m_nScroll > 150)
        m_nScroll -= 15;
    else if (m_nScroll > 75)
        m_nScroll -= 10;
    else if (m_nScroll > 0)
        m_nScroll -= 5;
}

// One note at staff origin (x, y): its ledger lines, then the masked note. Steps 0..13
// stand on the bass staff, 15 and up on the treble staff, middle C (14) on either. A
// note below its staff's middle line has its stem up, drawn 4 px right with its top
// 59 px above the note's row; stem down is drawn at x with its top 7 px above the row.
void CPianoDlg::DrawNote(int16_t x, int16_t y, int16_t key, int16_t lit) {
    if (key < 0 || key >= kKeyCount) return;
    const int d = g_nStaffPos[key];
    if (d == -1) return;

    // Ledger lines above the treble staff (A5, C6) and below the bass staff (E2, C2).
    const auto ledger = [this, x](int row) {
        CopySprite(m_hbmLedgerLine, x - 11, row, 44, 4, 0, 0, SRCCOPY);
    };
    if (d == 28) ledger(y + 59);
    if (d >= 26) ledger(y + 75);
    if (d <= 2) ledger(y + 340);
    if (d == 0) ledger(y + 356);

    bool up;
    int top;
    if (d <= 7) {
        up = true;
        top = y + 297 - 8 * d;
    } else if (d <= 13) {
        up = false;
        top = y + 349 - 8 * d;
    } else if (d == 14 && m_nMiddleCClef == 0) {
        ledger(y + 171);  // middle C below the treble staff
        up = true;
        top = y + 112;
    } else if (d == 14) {
        ledger(y + 244);  // middle C above the bass staff
        up = false;
        top = y + 237;
    } else if (d <= 19) {
        up = true;
        top = y + 224 - 8 * d;
    } else {
        up = false;
        top = y + 276 - 8 * d;
    }

    const int left = up ? x + 4 : x;
    const HBITMAP mask = up ? m_hbmNoteUpMask : m_hbmNoteDownMask;
    HBITMAP image = up ? m_hbmNoteUp : m_hbmNoteDown;
    if (lit != 0) image = up ? m_hbmNoteUpLit : m_hbmNoteDownLit;
    CopySprite(mask, left, top, 20, 70, 0, 0, SRCAND);
    CopySprite(image, left, top, 20, 70, 0, 0, SRCPAINT);
}

}  // namespace clavora
