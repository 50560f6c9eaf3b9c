// The 88 keys at rest, the sheets of pressed white keys with their mask, and the
// pressed black key.
#include <cmath>

#include "Art.h"
#include "Noise.h"

namespace resgen {

namespace {

constexpr int kUpperRows = kBlackH;  // rows where black keys stand beside a white key

bool InOutline(int outline, int column, int row) {
    if (row >= kUpperRows) return true;
    int first, last;
    OutlineColumns(outline, first, last);
    return column >= first && column <= last;
}

// A white key at rest, column c (0..11) and row r (0..78) of its cell.
uint32_t WhiteAtRest(int c, int r, int key) {
    const double tint = (Grain(key, 0, 91) - 0.5) * 4;  // each ivory slightly its own
    uint32_t p = RgbF(251 + tint * 0.3, 249 + tint * 0.3, 240 + tint);
    p = Mix(p, Rgb(226, 222, 210), r / 78.0 * 0.6);
    if (r < 5) p = Mix(p, Rgb(150, 140, 124), (5 - r) / 5.0 * 0.55);  // shade of the key slip
    if (c == 0) p = Mix(p, Rgb(255, 255, 255), 0.5);
    if (c == 10) p = Mix(p, Rgb(200, 196, 186), 0.35);
    if (c == 11) p = Rgb(138, 132, 124);  // the gap to the next key
    if (r >= 74) p = Mix(p, Rgb(172, 166, 152), (r - 73) / 5.0);  // the key's front edge
    if (r == 73) p = Mix(p, Rgb(255, 255, 255), 0.6);
    if (c == 11 && r >= 74) p = Rgb(92, 86, 78);
    return p;
}

uint32_t BlackAtRest(int c, int r) {
    uint32_t p = Mix(Rgb(44, 40, 42), Rgb(18, 16, 18), r / 45.0);
    if (r >= 38) p = Mix(Rgb(58, 54, 56), Rgb(30, 28, 30), (r - 38) / 7.0);  // the front slope
    if (c == 1 && r > 1 && r < 38) p = Mix(p, Rgb(96, 92, 96), 0.6);      // the streak of light
    if (c == 0 || c == 7) p = Mix(p, Rgb(6, 6, 6), 0.6);
    if (r == 45) p = Rgb(8, 8, 8);
    return p;
}

}  // namespace

void DrawKeyboard(Image& img) {
    const auto keys = KeyPlaces();
    for (int k = 0; k < 88; ++k) {
        if (keys[k].outline == 10) continue;
        for (int r = 0; r < kWhiteH; ++r)
            for (int c = 0; c < kWhiteW; ++c) img.at(keys[k].x + c, kKeysTop + r) = WhiteAtRest(c, r, k);
    }
    for (int k = 0; k < 88; ++k) {
        if (keys[k].outline != 10) continue;
        // A soft shadow on the white keys just below the black key.
        for (int r = kBlackH; r < kBlackH + 3; ++r)
            for (int c = 0; c < kBlackW; ++c) {
                uint32_t& p = img.at(keys[k].x + c, kKeysTop + r);
                p = Mix(p, Rgb(110, 104, 96), 0.3 - 0.1 * (r - kBlackH));
            }
        for (int r = 0; r < kBlackH; ++r)
            for (int c = 0; c < kBlackW; ++c) img.at(keys[k].x + c, kKeysTop + r) = BlackAtRest(c, r);
    }
    img.Fill(kKeysLeft, kKeysLine, 52 * kWhiteW, 1, Rgb(0, 0, 0));
}

Image KeyMask() {
    Image sheet(10 * kWhiteW, kWhiteH, Rgb(255, 255, 255));
    for (int o = 0; o < 10; ++o)
        for (int r = 0; r < kWhiteH; ++r)
            for (int c = 0; c < kWhiteW; ++c)
                if (InOutline(o, c, r)) sheet.at(12 * o + c, r) = Rgb(0, 0, 0);
    return sheet;
}

Image KeySheet(bool shadeLeft, bool shadeRight) {
    Image sheet(10 * kWhiteW, kWhiteH, Rgb(0, 0, 0));
    for (int o = 0; o < 10; ++o)
        for (int r = 0; r < kWhiteH; ++r)
            for (int c = 0; c < kWhiteW; ++c) {
                if (!InOutline(o, c, r)) continue;
                // A pressed key: lit a soft blue, deeper under the key slip at the top.
                uint32_t p = Mix(Rgb(214, 228, 250), Rgb(176, 196, 232), r / 78.0);
                if (r < 8) p = Mix(p, Rgb(96, 110, 140), (8 - r) / 8.0 * 0.6);
                // Darker toward an edge whose neighbour is up, fading out at the middle.
                const double left = std::max(0.0, 1 - c / 5.0);
                const double right = std::max(0.0, 1 - (11 - c) / 5.0);
                double shade = 0;
                if (shadeLeft) shade = std::max(shade, left * left);
                if (shadeRight) shade = std::max(shade, right * right);
                p = Mix(p, Rgb(92, 108, 146), shade * 0.55);
                if (r >= 75) p = Mix(p, Rgb(120, 132, 160), (r - 74) / 4.0 * 0.7);
                if (c == 11) p = Rgb(112, 120, 140);  // the gap to the next key
                sheet.at(12 * o + c, r) = p;
            }
    return sheet;
}

Image BlackKeyLit() {
    Image key(kBlackW, kBlackH);
    for (int r = 0; r < kBlackH; ++r)
        for (int c = 0; c < kBlackW; ++c) {
            uint32_t p = Mix(Rgb(94, 96, 110), Rgb(60, 62, 72), r / 45.0);
            if (r < 4) p = Mix(p, Rgb(20, 20, 24), (4 - r) / 4.0 * 0.7);  // under the key slip
            if (c == 2 && r > 4 && r < 38) p = Mix(p, Rgb(186, 190, 206), 0.6);
            if (r >= 38) p = Mix(Rgb(40, 40, 44), Rgb(22, 22, 26), (r - 38) / 7.0);
            if (c == 0 || c == 7) p = Mix(p, Rgb(10, 10, 12), 0.6);
            key.at(c, r) = p;
        }
    return key;
}

}  // namespace resgen
