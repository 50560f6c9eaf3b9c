// The 29 notes of a game, C2 to C6, in a row on a grand staff: each head coloured from
// green (the fastest note of the last games) to red (the slowest), with the wrong
// answers it drew written above it in red.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Draw.h"

namespace progress {

namespace {

constexpr double kHalfSpace = 6;   // one staff step, in pixels
// Bottom lines: E4 (step 16) of the treble staff, G2 (step 4) of the bass staff.
constexpr int kTrebleBottom = 16;
constexpr int kBassBottom = 4;

void Line(cairo_t* cr, double x0, double x1, double y) {
    cairo_new_path(cr);
    cairo_move_to(cr, x0, std::round(y) + 0.5);
    cairo_line_to(cr, x1, std::round(y) + 0.5);
    cairo_stroke(cr);
}

}  // namespace

void DrawNoteStaff(cairo_t* cr, Box box, const ModeSummary& mode) {
    char title[96];
    std::snprintf(title, sizeof title, "Notes over the last %d %s%s", mode.lastGames,
                  mode.drillsInLast ? "games and drills" : "game", mode.drillsInLast || mode.lastGames == 1 ? "" : "s");
    Text(cr, box.x, box.y + 10, title, 12, kInk, 0, true);

    const double left = box.x + 44, right = box.x + box.w - 6;
    const double dx = (right - left - 16) / (kQuizNotes - 1);
    // The treble staff's bottom line, below room for C6 and its figure; the bass staff's,
    // with middle C on its ledger line between them.
    const double trebleY = box.y + 108;
    const double bassY = trebleY + 108;
    const auto Y = [&](int step) {
        return step >= 14 ? trebleY - (step - kTrebleBottom) * kHalfSpace
                          : bassY - (step - kBassBottom) * kHalfSpace;
    };

    SetColor(cr, kInk);
    cairo_set_line_width(cr, 1);
    for (int i = 0; i < 5; ++i) {
        Line(cr, left - 8, right, trebleY - 2 * i * kHalfSpace);
        Line(cr, left - 8, right, bassY - 2 * i * kHalfSpace);
    }
    Text(cr, left - 12, trebleY - 3 * kHalfSpace, "treble", 10, kInk, 1);
    Text(cr, left - 12, bassY - 3 * kHalfSpace, "bass", 10, kInk, 1);

    double fastest = 1e9, slowest = 0;
    for (int step = 0; step < kQuizNotes; ++step) {
        if (mode.asked[step] == 0) continue;
        fastest = std::min(fastest, mode.seconds[step]);
        slowest = std::max(slowest, mode.seconds[step]);
    }
    for (int step = 0; step < kQuizNotes; ++step) {
        const double x = left + 8 + step * dx, y = Y(step);
        // Ledger lines: C2 and E2 below the bass, middle C, A5 and C6 above the treble.
        SetColor(cr, kInk);
        for (int ledger : {0, 2, 14, 26, 28})
            if ((ledger <= 2 && step <= ledger) || (ledger >= 26 && step >= ledger) ||
                (ledger == 14 && step == 14))
                Line(cr, x - 8, x + 8, Y(ledger));
        const double t = slowest > fastest ? (mode.seconds[step] - fastest) / (slowest - fastest) : 0;
        cairo_new_path(cr);
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_rotate(cr, -0.35);
        cairo_scale(cr, 6.2, 4.4);
        cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
        cairo_restore(cr);
        // A note not asked in these sessions (a drill may pass one over) stays hollow.
        if (mode.asked[step] == 0) SetColor(cr, kCard);
        else SetColor(cr, Slowness(t));
        cairo_fill_preserve(cr);
        SetColor(cr, kInk);
        cairo_set_line_width(cr, 1.2);
        cairo_stroke(cr);
        if (mode.wrong[step] > 0) {
            char count[16];
            std::snprintf(count, sizeof count, "%d", mode.wrong[step]);
            Text(cr, x, y - 9, count, 10, kWrongInk, 0.5, true);
        }
        if (step % 7 == 0) {
            char name[4];
            std::snprintf(name, sizeof name, "C%d", 2 + step / 7);
            Text(cr, x, bassY + 5 * kHalfSpace + 6, name, 10, kInk, 0.5);
        }
    }

    // The colour scale, from the fastest note to the slowest.
    const double scaleY = bassY + 5 * kHalfSpace + 22, scaleX = left, scaleW = 150;
    cairo_pattern_t* ramp = cairo_pattern_create_linear(scaleX, 0, scaleX + scaleW, 0);
    for (const double t : {0.0, 0.5, 1.0}) {
        const Rgb c = Slowness(t);
        cairo_pattern_add_color_stop_rgb(ramp, t, c.r, c.g, c.b);
    }
    cairo_rectangle(cr, scaleX, scaleY, scaleW, 8);
    cairo_set_source(cr, ramp);
    cairo_fill(cr);
    cairo_pattern_destroy(ramp);
    char label[48];
    std::snprintf(label, sizeof label, "%.1f s", fastest);
    Text(cr, scaleX - 4, scaleY + 8, label, 10, kInk, 1);
    std::snprintf(label, sizeof label, "%.1f s a note", slowest);
    Text(cr, scaleX + scaleW + 4, scaleY + 8, label, 10, kInk, 0);
    Text(cr, right, scaleY + 8, "red: wrong answers", 10, kWrongInk, 1, true);
}

}  // namespace progress
