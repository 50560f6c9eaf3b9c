// The pressed keys over the keyboard at rest, and the count-down that ends every
// clicked, answered and released note.
#include "app/PianoDlg.h"
#include "piano/Keys.h"

namespace clavora {

namespace {

constexpr int kKeyboardLeft = 79;
constexpr int kKeyboardTop = 420;
constexpr int kWhiteWidth = 12;
constexpr int kWhiteHeight = 79;
constexpr int kBlackWidth = 8;
constexpr int kBlackHeight = 46;
// A#0, the lowest black key, stands 2 px further left than the other A# keys.
constexpr int kLowestBlackOffset = -4;

}  // namespace

void CPianoDlg::DrawKeyboard() {
    // The white neighbour on a side: the next key, or the white key beyond a black one.
    const auto pressed = [this](int k) { return m_nKeyState[k] != 0; };
    const auto whiteBeside = [&](int k, int step) {
        return IsBlackKey(k + step) ? pressed(k + 2 * step) : pressed(k + step);
    };

    int w = 0;  // width of the white keys passed so far
    for (int k = 0; k < kKeyCount; ++k) {
        const int16_t s = m_nKeyState[k];
        const bool black = IsBlackKey(k);
        if (s > 0) {
            if (!black) {
                // Mask out the key's face, keeping the black keys in its cut-outs, then
                // paint the sheet whose edges match the neighbours as they stand now:
                // the left one already counted down this frame, the right one not yet.
                const int shape = g_nKeyShape[k];
                const int x = kKeyboardLeft + w;
                CopySprite(m_hbmKeyMask, x, kKeyboardTop, kWhiteWidth, kWhiteHeight,
                           kWhiteWidth * shape, 0, SRCAND);
                const bool left = k > 0 && whiteBeside(k, -1);
                const bool right = k < kKeyCount - 1 && whiteBeside(k, +1);
                HBITMAP sheet = m_hbmKeyLitAlone;
                if (left && right)
                    sheet = m_hbmKeyLitJoinBoth;
                else if (left)
                    sheet = m_hbmKeyLitJoinLeft;
                else if (right)
                    sheet = m_hbmKeyLitJoinRight;
                CopySprite(sheet, x, kKeyboardTop, kWhiteWidth, kWhiteHeight,
                           kWhiteWidth * shape, 0, SRCPAINT);
            } else {
                const int offset = k == 1 ? kLowestBlackOffset : g_nBlackKeyOffset[(k - 3) % 12];
                CopySprite(m_hbmBlackKeyLit, kKeyboardLeft + w + offset, kKeyboardTop,
                           kBlackWidth, kBlackHeight, 0, 0, SRCCOPY);
            }
            // A counting key sounds until its count runs out, after its last drawing.
            if (s < KEY_HELD) {
                m_nKeyState[k] = static_cast<int16_t>(s - 1);
                if (s - 1 == 0) NoteOff(static_cast<int16_t>(k + 1));
            }
        }
        if (!black) w += kWhiteWidth;
    }
}

}  // namespace clavora
