// The clock digits of the game panel and the seven-segment counters of the console.
#include "app/PianoDlg.h"

namespace clavora {

// One 16 x 25 clock glyph: digits 0..9; any other value shows glyph 10, the colon.
void CPianoDlg::DrawDigit(int16_t x, int16_t y, int16_t value) {
    const int glyph = (value >= 0 && value <= 9) ? value : 10;
    CopySprite(m_hbmClockDigits, x, y, 16, 25, 16 * glyph, 0, SRCCOPY);
}

// A time as m:ss over 52 px. The tens cell starts 20 px after the minutes, over all of
// the colon's cell but its four leftmost columns, which hold the dots. Only minutes and
// tens are bounded: ten minutes or more read 9:ss, and a negative time loses its units
// to the colon glyph.
void CPianoDlg::DrawTime(int16_t x, int16_t y, int32_t seconds) {
    int32_t minutes = seconds / 60;
    if (minutes < 0) minutes = 0;
    if (minutes > 9) minutes = 9;
    const int32_t rest = seconds % 60;
    int32_t tens = rest / 10;
    if (tens < 0) tens = 0;
    if (tens > 9) tens = 9;
    const int32_t units = rest % 10;
    DrawDigit(x, y, static_cast<int16_t>(minutes));
    DrawDigit(static_cast<int16_t>(x + 16), y, 11);
    DrawDigit(static_cast<int16_t>(x + 20), y, static_cast<int16_t>(tens));
    DrawDigit(static_cast<int16_t>(x + 36), y, static_cast<int16_t>(units));
}

// A three-cell counter (0..127) at x0, x0 + 16, x0 + 32 on the console's row 373.
// Leading cells that are not needed keep the background's unlit segments.
void CPianoDlg::DrawCounter(int16_t x0, int16_t value) {
    const auto cell = [this](int x, int digit) {
        CopySprite(m_hbmCounterDigits, x, 373, 16, 24, 16 * digit, 0, SRCCOPY);
    };
    if (value > 99) cell(x0, value / 100);
    if (value > 9) cell(x0 + 16, (value % 100) / 10);
    cell(x0 + 32, value % 10);
}

}  // namespace clavora
