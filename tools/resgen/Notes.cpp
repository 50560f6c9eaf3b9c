// The quarter notes of the staff (picture and mask pairs) and the ledger line.
#include <cmath>

#include "Art.h"

namespace resgen {

namespace {

constexpr int kNoteW = 20, kNoteH = 70;
constexpr uint32_t kInk = Rgb(40, 40, 50);
constexpr uint32_t kLitFill = Rgb(255, 206, 24);
constexpr uint32_t kLitRim = Rgb(196, 112, 0);
constexpr uint32_t kLitStem = Rgb(226, 156, 0);

// Outline of the note: a tilted oval head and a stem on its right (stem up, head at the
// bottom) or on its left (stem down, head at the top). The head's centre lies on the
// middle row of the staff line it stands on: 60.5 (stem up) or 8.5 (stem down) rows
// below the picture's top.
void NotePath(cairo_t* cr, bool stemUp, bool head = true, bool stem = true) {
    const double a = 8.7, b = 6.6, tilt = -20 * M_PI / 180;
    const double reach = std::sqrt(a * a * std::cos(tilt) * std::cos(tilt) +
                                   b * b * std::sin(tilt) * std::sin(tilt));
    // The stem fills two whole columns at the head's right or left edge.
    const double stemLeft = stemUp ? 15 : 3, width = 2, length = 56;
    const double cx = stemUp ? stemLeft + width - reach : stemLeft + reach, cy = stemUp ? 60.5 : 8.5;
    cairo_new_path(cr);
    if (head) {
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_rotate(cr, tilt);
        cairo_scale(cr, a, b);
        cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
        cairo_restore(cr);
        cairo_close_path(cr);
    }
    if (stem) cairo_rectangle(cr, stemLeft, stemUp ? cy - length : cy + 1, width, length - 1);
}

// The note drawn on the card's white: smooth edges that blend into the card.
Image OnCard(bool stemUp, bool lit) {
    Image img = Canvas(kNoteW, kNoteH, kCardWhite);
    Painter p(img);
    cairo_set_fill_rule(p, CAIRO_FILL_RULE_WINDING);
    NotePath(p, stemUp);
    SetColor(p, lit ? kLitFill : kInk);
    cairo_fill(p);
    if (lit) {
        // A darker rim inside the head and a deeper gold stem keep the yellow note
        // readable on white.
        NotePath(p, stemUp, true, false);
        cairo_clip_preserve(p);
        cairo_set_line_width(p, 1.6);
        SetColor(p, kLitRim);
        cairo_stroke(p);
        cairo_reset_clip(p);
        NotePath(p, stemUp, false, true);
        SetColor(p, kLitStem);
        cairo_fill(p);
    }
    return img;
}

// How much of each pixel the note covers, 0..1.
std::vector<double> NoteCover(bool stemUp) {
    Image img = Canvas(kNoteW, kNoteH, 0);
    {
        Painter p(img);
        NotePath(p, stemUp);
        cairo_set_source_rgb(p, 1, 1, 1);
        cairo_fill(p);
    }
    std::vector<double> c(img.px.size());
    for (size_t i = 0; i < c.size(); ++i) c[i] = Green(img.px[i]) / 255.0;
    return c;
}

}  // namespace

Image NoteMask(bool stemUp) {
    const auto cover = NoteCover(stemUp);
    Image mask = Canvas(kNoteW, kNoteH, Rgb(255, 255, 255));
    for (size_t i = 0; i < cover.size(); ++i)
        if (cover[i] > 0.2) mask.px[i] = 0;
    return mask;
}

Image NoteImage(bool stemUp, bool lit) {
    // Black wherever the mask keeps the background, so that the staff stays around it.
    Image img = OnCard(stemUp, lit);
    const Image mask = NoteMask(stemUp);
    for (size_t i = 0; i < img.px.size(); ++i)
        if (mask.px[i] != 0) img.px[i] = 0;
    return img;
}

Image LedgerLine() {
    Image img = Canvas(44, 4, kStaffBlue);
    img.Fill(0, 3, 44, 1, kStaffShadow);
    return img;
}

}  // namespace resgen
