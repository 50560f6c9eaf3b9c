// The quarter notes of the staff (picture and mask pairs) and the ledger line.
#include <cmath>

#include "Art.h"

namespace resgen {

namespace {

constexpr int kNoteW = 20, kNoteH = 70;
constexpr uint32_t kInk = Rgb(40, 40, 50);
constexpr uint32_t kLitFill = Rgb(255, 206, 24);
constexpr uint32_t kLitRim = Rgb(196, 112, 0);

// Outline of the note: a tilted oval head and a stem on its right (stem up, head at the
// bottom) or on its left (stem down, head at the top). The head's centre lies on the
// middle row of the staff line it stands on: 60.5 (stem up) or 8.5 (stem down) rows
// below the picture's top.
void NotePath(cairo_t* cr, bool stemUp) {
    const double a = 8.0, b = 6.0, tilt = -22 * M_PI / 180;
    const double cx = stemUp ? 7.9 : 11.9, cy = stemUp ? 60.5 : 8.5;
    const double reach = std::sqrt(a * a * std::cos(tilt) * std::cos(tilt) +
                                   b * b * std::sin(tilt) * std::sin(tilt));
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, tilt);
    cairo_scale(cr, a, b);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_close_path(cr);
    const double stem = 1.6, length = 56;
    if (stemUp) {
        const double right = cx + reach - 0.1;
        cairo_rectangle(cr, right - stem, cy - length, stem, length - 1);
    } else {
        const double left = cx - reach + 0.1;
        cairo_rectangle(cr, left, cy + 1, stem, length - 1);
    }
}

// The note drawn on the card's white: smooth edges that blend into the card.
Image OnCard(bool stemUp, bool lit) {
    Image img(kNoteW, kNoteH, kCardWhite);
    Painter p(img);
    cairo_set_fill_rule(p, CAIRO_FILL_RULE_WINDING);
    NotePath(p, stemUp);
    SetColor(p, lit ? kLitFill : kInk);
    cairo_fill_preserve(p);
    if (lit) {
        // A darker rim inside the outline keeps the yellow note readable on white.
        cairo_clip_preserve(p);
        cairo_set_line_width(p, 2.0);
        SetColor(p, kLitRim);
        cairo_stroke(p);
    }
    cairo_new_path(p);
    return img;
}

// How much of each pixel the note covers, 0..1.
std::vector<double> NoteCover(bool stemUp) {
    Image img(kNoteW, kNoteH, 0);
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
    Image mask(kNoteW, kNoteH, Rgb(255, 255, 255));
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
    Image img(44, 4, kStaffBlue);
    for (int x = 0; x < 44; ++x) img.at(x, 3) = kStaffShadow;
    return img;
}

}  // namespace resgen
