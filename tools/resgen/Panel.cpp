// The game panel: a light blue face in a rounded polished-metal frame, with its labels
// and sample clock digits.
#include <cmath>

#include "Art.h"
#include "Noise.h"
#include "Relief.h"
#include "Text.h"

namespace resgen {

namespace {

constexpr uint32_t kPanelInk = Rgb(22, 40, 96);
constexpr Rect kFace{13, 14, 172, 171};

// Brushed steel at device pixel (i, j): fine streaks across, a slow sheen from top to
// bottom.
uint32_t Steel(int i, int j) {
    const double x = LayoutAt(i), y = LayoutAt(j);
    const double sheen = 0.5 + 0.5 * std::cos(y * 0.045 + 0.6);
    const double brush = Noise(x * 0.05, y * 1.3, 12) - 0.5;
    const double v = 150 + 60 * sheen + 22 * brush;
    return RgbF(v * 0.97, v, v * 1.05);
}

void Glyphs(Image& img, const Image& strip, int x, int y, const char* text) {
    for (const char* c = text; *c; ++c) {
        const int g = *c == ':' ? 10 : *c - '0';
        img.Paste(strip.Crop(16 * g, 0, 16, 25), x, y);
        x += *c == ':' ? 4 : 16;
    }
}

}  // namespace

void DrawGamePanel(Image& img, const Image& clockDigits) {
    const Rect& r = kGamePanel;
    Relief frame(kWidth, kHeight);
    frame.Block(r.x, r.y, r.w, r.h, 13, 5, 5);
    frame.Recess(kFace.x - 2, kFace.y - 2, kFace.w + 4, kFace.h + 4, 8, 2, 3);
    CastShadow(img, frame, 3, 4, 3, 0.65);
    Shade(img, frame, Steel, kPolishedMetal);

    {
        Painter p(img);
        // The face, flat light blue so that the digit glyphs sit on it seamlessly.
        cairo_new_sub_path(p);
        const double x = kFace.x, y = kFace.y, w = kFace.w, h = kFace.h, c = 6;
        cairo_arc(p, x + w - c, y + c, c, -M_PI / 2, 0);
        cairo_arc(p, x + w - c, y + h - c, c, 0, M_PI / 2);
        cairo_arc(p, x + c, y + h - c, c, M_PI / 2, M_PI);
        cairo_arc(p, x + c, y + c, c, M_PI, 3 * M_PI / 2);
        cairo_close_path(p);
        SetColor(p, kPanelBlue);
        cairo_fill(p);

        // An engraved rule between the game and the records.
        cairo_rectangle(p, 22, 94, 154, 1);
        SetColor(p, Rgb(140, 160, 204));
        cairo_fill(p);
        cairo_rectangle(p, 22, 95, 154, 1);
        SetColor(p, Rgb(232, 240, 255));
        cairo_fill(p);

        SetColor(p, kPanelInk);
        const Font title{"DejaVu Sans", 12.5, true, 0.3};
        const Font label{"DejaVu Sans", 10, true, 0.2};
        DrawText(p, "Current Game", title, 99, 21, Align::Centre);
        DrawText(p, "Time", label, 47, 44, Align::Centre);
        DrawText(p, "Oops", label, 108, 44, Align::Centre);
        DrawText(p, "# Left", label, 159, 44, Align::Centre);
        DrawText(p, "High Scores", title, 99, 102, Align::Centre);
        DrawText(p, "Time", label, 98, 117, Align::Centre);
        DrawText(p, "Oops", label, 159, 117, Align::Centre);
        DrawText(p, "Name", label, 20, 136);
        DrawText(p, "Key", label, 20, 162);
    }
    // Sample readings; every frame draws the real ones over them.
    Glyphs(img, clockDigits, 21, 57, "0:00");
    Glyphs(img, clockDigits, 92, 57, "00");
    Glyphs(img, clockDigits, 72, 128, "9:59");
    Glyphs(img, clockDigits, 143, 128, "99");
    Glyphs(img, clockDigits, 72, 154, "9:59");
    Glyphs(img, clockDigits, 143, 154, "99");
}

}  // namespace resgen
