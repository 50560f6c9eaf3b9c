// Which piano key lies under a point: black keys in the upper part of the keyboard,
// white keys everywhere else.
#include "input/Commands.h"
#include "piano/Keys.h"

namespace clavora {

namespace {

constexpr int kBlackKeyBottom = 466;
constexpr int kBlackKeyRight = 689;
constexpr int kWhiteKeyWidth = 12;
constexpr int kOctaveWidth = 84;

// A black key of octave n: its left edge relative to b = 84 n, and its key index
// relative to 12 n. The last octave's A# ends at x 684.
struct BlackKeyPlace {
    int left;
    int key;
};
constexpr BlackKeyPlace kBlackKeys[5] = {{110, 4}, {124, 6}, {145, 9}, {159, 11}, {173, 13}};
constexpr int kBlackKeyWidth = 8;

int16_t BlackKeyAt(int x) {
    if (x >= 87 && x <= 95) return 1;  // A#0, before the first full octave
    // Truncation toward zero puts every x left of 106 into octave 0.
    const int n = (x - 106) / kOctaveWidth;
    const int b = kOctaveWidth * n;
    for (const BlackKeyPlace& k : kBlackKeys)
        if (x >= b + k.left && x < b + k.left + kBlackKeyWidth) return static_cast<int16_t>(12 * n + k.key);
    return -1;
}

int16_t WhiteKeyAt(int x) {
    const int w = (x - kKeyboardRect.x0) / kWhiteKeyWidth;
    int counted = 0;
    for (int16_t key = 0; key < kKeyCount; ++key) {
        if (g_nKeyShape[key] >= kBlackKey) continue;
        if (counted == w) return key;
        ++counted;
    }
    return -1;
}

}  // namespace

int16_t KeyAtPoint(int x, int y) {
    if (!kKeyboardRect.Contains(x, y)) return -1;
    if (y <= kBlackKeyBottom && x <= kBlackKeyRight) {
        const int16_t black = BlackKeyAt(x);
        if (black >= 0) return black;
    }
    return WhiteKeyAt(x);
}

}  // namespace clavora
