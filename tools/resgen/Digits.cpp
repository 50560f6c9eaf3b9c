// Seven-segment digits: the dark clock digits of the game panel and the green counter
// cells of the two displays.
#include <cmath>

#include "Art.h"
#include "Formats.h"

namespace resgen {

namespace {

// Segments a..g as bits 0..6: top, top right, bottom right, bottom, bottom left,
// top left, middle.
constexpr int kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

struct SegmentBox {
    double x, y, w, h;  // centre lines of the outer segments
    double thick;
    double slant;       // x shift per pixel of height, upwards
    double gap;
};

void HexSegment(cairo_t* cr, double x1, double y1, double x2, double y2, double t, double gap) {
    const bool across = y1 == y2;
    const double h = t / 2;
    if (across) {
        x1 += gap;
        x2 -= gap;
        cairo_move_to(cr, x1, y1);
        cairo_line_to(cr, x1 + h, y1 - h);
        cairo_line_to(cr, x2 - h, y1 - h);
        cairo_line_to(cr, x2, y1);
        cairo_line_to(cr, x2 - h, y1 + h);
        cairo_line_to(cr, x1 + h, y1 + h);
    } else {
        y1 += gap;
        y2 -= gap;
        cairo_move_to(cr, x1, y1);
        cairo_line_to(cr, x1 + h, y1 + h);
        cairo_line_to(cr, x1 + h, y2 - h);
        cairo_line_to(cr, x1, y2);
        cairo_line_to(cr, x1 - h, y2 - h);
        cairo_line_to(cr, x1 - h, y1 + h);
    }
    cairo_close_path(cr);
}

// Adds the chosen segments to the path, slanted about the middle row.
void SegmentPath(cairo_t* cr, const SegmentBox& b, int mask) {
    const double L = b.x, R = b.x + b.w, T = b.y, B = b.y + b.h, M = b.y + b.h / 2;
    cairo_save(cr);
    cairo_matrix_t m;
    cairo_matrix_init(&m, 1, 0, -b.slant, 1, b.slant * M, 0);
    cairo_transform(cr, &m);
    const double t = b.thick, g = b.gap;
    if (mask & 0x01) HexSegment(cr, L, T, R, T, t, g);
    if (mask & 0x02) HexSegment(cr, R, T, R, M, t, g);
    if (mask & 0x04) HexSegment(cr, R, M, R, B, t, g);
    if (mask & 0x08) HexSegment(cr, L, B, R, B, t, g);
    if (mask & 0x10) HexSegment(cr, L, M, L, B, t, g);
    if (mask & 0x20) HexSegment(cr, L, T, L, M, t, g);
    if (mask & 0x40) HexSegment(cr, L, M, R, M, t, g);
    cairo_restore(cr);
}

// Coverage (0..1) of the segments of mask in a cell of w x h layout pixels, per device
// pixel.
std::vector<double> Coverage(int w, int h, const SegmentBox& box, int mask) {
    Image img = Canvas(w, h, 0);
    {
        Painter p(img);
        SegmentPath(p, box, mask);
        cairo_set_source_rgb(p, 1, 1, 1);
        cairo_fill(p);
    }
    std::vector<double> cover(img.px.size());
    for (size_t i = 0; i < cover.size(); ++i) cover[i] = Green(img.px[i]) / 255.0;
    return cover;
}

constexpr uint32_t kClockColour = Rgb(26, 34, 70);
constexpr uint32_t kCounterDim = Rgb(0, 70, 22);
constexpr uint32_t kCounterLit = Rgb(56, 246, 92);
constexpr uint32_t kCounterCore = Rgb(178, 255, 186);

}  // namespace

Image ClockDigits() {
    Image strip = Canvas(11 * kClockW, kClockH, kPanelBlue);
    const SegmentBox box{2.2, 2.8, 8.2, 19.2, 2.7, 0.07, 0.35};
    const uint32_t shadow = Mix(kPanelBlue, kClockColour, 0.16);
    const int n = DevicePixels(), cw = kClockW * n;
    for (int d = 0; d < 10; ++d) {
        const auto cover = Coverage(kClockW, kClockH, box, kSegments[d]);
        for (int y = 0; y < kClockH * n; ++y)
            for (int x = 0; x < kClockInk * n; ++x) {
                // A faint shadow one layout pixel down and right, as on a liquid-crystal panel.
                const double s = x >= n && y >= n ? cover[size_t(y - n) * cw + x - n] : 0;
                uint32_t p = Mix(kPanelBlue, shadow, s);
                p = Mix(p, kClockColour, cover[size_t(y) * cw + x]);
                strip.at(cw * d + x, y) = p;
            }
    }
    // The colon: two dots in the two leftmost columns of cell 10.
    for (int y : {8, 9, 10, 15, 16, 17}) {
        strip.FillPixel(160, y, kClockColour);
        strip.FillPixel(161, y, kClockColour);
    }
    return strip;
}

const std::vector<uint32_t>& CounterPalette() {
    static const std::vector<uint32_t> palette = [] {
        std::vector<uint32_t> p{Rgb(0, 0, 0)};
        for (int i = 1; i <= 4; ++i) p.push_back(Mix(Rgb(0, 0, 0), kCounterDim, i / 4.0));
        for (int i = 1; i <= 9; ++i) p.push_back(Mix(Rgb(0, 0, 0), kCounterLit, i / 9.0));
        p.push_back(Mix(kCounterLit, kCounterCore, 0.5));
        p.push_back(kCounterCore);
        return p;
    }();
    return palette;
}

Image CounterCells() {
    Image strip = Canvas(11 * 16, 24, 0);
    const SegmentBox box{4.2, 3.2, 7.6, 17.4, 2.5, 0.1, 0.3};
    SegmentBox core = box;
    core.thick = 0.9;
    core.gap = 1.2;
    const auto dim = Coverage(16, 24, box, 0x7F);
    for (int d = 0; d <= 10; ++d) {
        const int mask = d < 10 ? kSegments[d] : 0;
        const auto lit = Coverage(16, 24, box, mask);
        const auto hot = Coverage(16, 24, core, mask);
        const int n = DevicePixels(), cw = 16 * n;
        for (int y = 0; y < 24 * n; ++y)
            for (int x = 0; x < cw; ++x) {
                const size_t i = size_t(y) * cw + x;
                uint32_t p = Mix(0, kCounterDim, dim[i] * (1 - lit[i]));
                p = Mix(p, kCounterLit, lit[i]);
                p = Mix(p, kCounterCore, hot[i] * 0.8);
                strip.at(cw * d + x, y) = CounterPalette()[size_t(NearestIndex(p, CounterPalette()))];
            }
    }
    return strip;
}

}  // namespace resgen
