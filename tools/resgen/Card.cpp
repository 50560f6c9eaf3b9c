// The staff card: white, with the grand staff, its brace and clefs, and the pale band
// where the asked note stands.
#include <cmath>

#include "Art.h"
#include "Relief.h"
#include "Text.h"

namespace resgen {

namespace {

constexpr uint32_t kClefInk = Rgb(16, 24, 80);

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double c) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - c, y + c, c, -M_PI / 2, 0);
    cairo_arc(cr, x + w - c, y + h - c, c, 0, M_PI / 2);
    cairo_arc(cr, x + c, y + h - c, c, M_PI / 2, M_PI);
    cairo_arc(cr, x + c, y + c, c, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void StaffLine(Image& img, int top, int x0, int x1) {
    img.Fill(x0, top, x1 - x0 + 1, 3, kStaffBlue);
    img.Fill(x0, top + 3, x1 - x0 + 1, 1, kStaffShadow);
}

}  // namespace

void DrawStaffCard(Image& img) {
    const Rect& c = kStaffCard;
    // The card lies on the board and throws a soft shadow on it.
    Relief card(kWidth, kHeight);
    card.Block(c.x, c.y, c.w, c.h, 5, 1, 1);
    CastShadow(img, card, 3, 4, 3, 0.55);
    {
        Painter p(img);
        RoundedRect(p, c.x, c.y, c.w, c.h, 5);
        SetColor(p, Rgb(196, 190, 178));
        cairo_fill(p);
        RoundedRect(p, c.x + 1, c.y + 1, c.w - 2, c.h - 2, 4);
        SetColor(p, kCardWhite);
        cairo_fill(p);
    }
    // The band where the asked note stands, over the card's height.
    img.Fill(kBandLeft, c.y + 1, kBandRight - kBandLeft + 1, c.h - 2, kBandCyan);
    img.Fill(kBandLeft, c.y + 1, 1, c.h - 2, Mix(kBandCyan, Rgb(170, 220, 236), 0.6));
    img.Fill(kBandRight, c.y + 1, 1, c.h - 2, Mix(kBandCyan, Rgb(170, 220, 236), 0.6));
    for (int top : kTrebleRows) StaffLine(img, top, kStaffLeft, kStaffRight);
    for (int top : kBassRows) StaffLine(img, top, kStaffLeft, kStaffRight);

    Painter p(img);
    // The system's barlines at both ends, joining the two staves.
    const double first = kTrebleRows[0], last = kBassRows[4] + 3;
    cairo_rectangle(p, kStaffLeft, first, 2, last - first);
    cairo_rectangle(p, kStaffRight - 1, first, 2, last - first);
    SetColor(p, kStaffBlue);
    cairo_fill(p);
    // Brace, treble clef (U+1D11E) and bass clef (U+1D122).
    cairo_set_fill_rule(p, CAIRO_FILL_RULE_WINDING);
    SetColor(p, kClefInk);
    GlyphPath(p, "\U0001D114", "FreeSerif", 250, first - 1, 13, last - first + 2);
    cairo_fill(p);
    GlyphPath(p, "\U0001D11E", "FreeSerif", 274, 44, 0, 112);
    cairo_fill(p);
    GlyphPath(p, "\U0001D122", "FreeSerif", 276, 232, 0, 53);
    cairo_fill(p);
}

}  // namespace resgen
