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

// A place in a key's cell: the layout column and row (the key's parts) and, for
// gradients, the device pixel's centre in layout pixels.
struct Cell {
    int c, r;
    double u, v;
};

// The device pixels of a cell of w x h layout pixels whose top left is layout pixel
// (x, y), each with its Cell.
template <class F>
void ForCell(Image& img, int x, int y, int w, int h, F f) {
    const int s = DevicePixels();
    for (int j = 0; j < h * s; ++j)
        for (int i = 0; i < w * s; ++i) f(img.at(x * s + i, y * s + j), Cell{i / s, j / s, LayoutAt(i), LayoutAt(j)});
}

// A white key at rest at a place of its cell (columns 0..11, rows 0..78).
uint32_t WhiteAtRest(const Cell& at, int key) {
    const int c = at.c, r = at.r;
    const double v = at.v;
    const double tint = (Grain(key, 0, 91) - 0.5) * 4;  // each ivory slightly its own
    uint32_t p = RgbF(251 + tint * 0.3, 249 + tint * 0.3, 240 + tint);
    p = Mix(p, Rgb(226, 222, 210), v / 78.0 * 0.6);
    if (r < 5) p = Mix(p, Rgb(150, 140, 124), (5 - v) / 5.0 * 0.55);  // shade of the key slip
    if (c == 0) p = Mix(p, Rgb(255, 255, 255), 0.5);
    if (c == 10) p = Mix(p, Rgb(200, 196, 186), 0.35);
    if (c == 11) p = Rgb(138, 132, 124);  // the gap to the next key
    if (r >= 74) p = Mix(p, Rgb(172, 166, 152), (v - 73) / 5.0);  // the key's front edge
    if (r == 73) p = Mix(p, Rgb(255, 255, 255), 0.6);
    if (c == 11 && r >= 74) p = Rgb(92, 86, 78);
    return p;
}

uint32_t BlackAtRest(const Cell& at) {
    const int c = at.c, r = at.r;
    uint32_t p = Mix(Rgb(44, 40, 42), Rgb(18, 16, 18), at.v / 45.0);
    if (r >= 38) p = Mix(Rgb(58, 54, 56), Rgb(30, 28, 30), (at.v - 38) / 7.0);  // the front slope
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
        ForCell(img, keys[k].x, kKeysTop, kWhiteW, kWhiteH, [k](uint32_t& p, const Cell& at) { p = WhiteAtRest(at, k); });
    }
    for (int k = 0; k < 88; ++k) {
        if (keys[k].outline != 10) continue;
        // A soft shadow on the white keys just below the black key.
        ForCell(img, keys[k].x, kKeysTop + kBlackH, kBlackW, 3,
                [](uint32_t& p, const Cell& at) { p = Mix(p, Rgb(110, 104, 96), 0.3 - 0.1 * at.v); });
        ForCell(img, keys[k].x, kKeysTop, kBlackW, kBlackH, [](uint32_t& p, const Cell& at) { p = BlackAtRest(at); });
    }
    img.Fill(kKeysLeft, kKeysLine, 52 * kWhiteW, 1, Rgb(0, 0, 0));
}

Image KeyMask() {
    Image sheet = Canvas(10 * kWhiteW, kWhiteH, Rgb(255, 255, 255));
    for (int o = 0; o < 10; ++o)
        ForCell(sheet, 12 * o, 0, kWhiteW, kWhiteH, [o](uint32_t& p, const Cell& at) {
            if (InOutline(o, at.c, at.r)) p = Rgb(0, 0, 0);
        });
    return sheet;
}

Image KeySheet(bool shadeLeft, bool shadeRight) {
    Image sheet = Canvas(10 * kWhiteW, kWhiteH, Rgb(0, 0, 0));
    for (int o = 0; o < 10; ++o)
        ForCell(sheet, 12 * o, 0, kWhiteW, kWhiteH, [&](uint32_t& out, const Cell& at) {
                const int c = at.c, r = at.r;
                if (!InOutline(o, c, r)) return;
                // A pressed key: lit a soft blue, deeper under the key slip at the top.
                uint32_t p = Mix(Rgb(214, 228, 250), Rgb(176, 196, 232), at.v / 78.0);
                if (r < 8) p = Mix(p, Rgb(96, 110, 140), (8 - at.v) / 8.0 * 0.6);
                // Darker toward an edge whose neighbour is up, fading out at the middle.
                const double left = std::max(0.0, 1 - at.u / 5.0);
                const double right = std::max(0.0, 1 - (11 - at.u) / 5.0);
                double shade = 0;
                if (shadeLeft) shade = std::max(shade, left * left);
                if (shadeRight) shade = std::max(shade, right * right);
                p = Mix(p, Rgb(92, 108, 146), shade * 0.55);
                if (r >= 75) p = Mix(p, Rgb(120, 132, 160), (at.v - 74) / 4.0 * 0.7);
                if (c == 11) p = Rgb(112, 120, 140);  // the gap to the next key
                out = p;
            });
    return sheet;
}

Image BlackKeyLit() {
    Image key = Canvas(kBlackW, kBlackH);
    ForCell(key, 0, 0, kBlackW, kBlackH, [](uint32_t& out, const Cell& at) {
        const int c = at.c, r = at.r;
        uint32_t p = Mix(Rgb(94, 96, 110), Rgb(60, 62, 72), at.v / 45.0);
        if (r < 4) p = Mix(p, Rgb(20, 20, 24), (4 - at.v) / 4.0 * 0.7);  // under the key slip
        if (c == 2 && r > 4 && r < 38) p = Mix(p, Rgb(186, 190, 206), 0.6);
        if (r >= 38) p = Mix(Rgb(40, 40, 44), Rgb(22, 22, 26), (at.v - 38) / 7.0);
        if (c == 0 || c == 7) p = Mix(p, Rgb(10, 10, 12), 0.6);
        out = p;
    });
    return key;
}

}  // namespace resgen
