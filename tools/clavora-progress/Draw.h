// Drawing helpers shared by the parts of the progress picture: the window's colours
// (dark red backdrop, pale blue cards, navy ink, gold for what is lit) and text.
#pragma once

#include <cairo.h>

#include <vector>

#include "Picture.h"

namespace progress {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    double r, g, b;
};

constexpr Rgb kBackdrop{0.41, 0.07, 0.10};
constexpr Rgb kCard{0.91, 0.94, 1.0};
constexpr Rgb kInk{0.09, 0.16, 0.38};
constexpr Rgb kGrid{0.72, 0.78, 0.90};
constexpr Rgb kGold{0.77, 0.44, 0.0};
// Used for the game points alone, so that a picture's points can be counted.
constexpr Rgb kGamePoint{0.2, 0.4, 0.8};
// And the drill points alone this one.
constexpr Rgb kDrillPoint{0.85, 0.2, 0.15};
constexpr Rgb kWrongInk{0.8, 0.1, 0.1};

struct Box {
    double x, y, w, h;
};

void SetColor(cairo_t* cr, Rgb c, double alpha = 1.0);
// Text with its left end (align 0), middle (0.5) or right end (1) at x, baseline at y.
void Text(cairo_t* cr, double x, double y, const char* text, double size, Rgb c,
          double align = 0.0, bool bold = false);
// A rounded card.
void Card(cairo_t* cr, Box box);
// Green for the fastest, through amber, to red for the slowest (t from 0 to 1).
Rgb Slowness(double t);

// The days the charts span, shared by every mode so that they line up.
struct DaySpan {
    int32_t first, last;
};

// One chart of every game of a mode over the days: a point a game and a line through
// each day's best. value gives a game's figure; unit labels its axis.
void DrawChart(cairo_t* cr, Box box, const std::vector<const Game*>& games, DaySpan days,
               double (*value)(const Game&), const char* title);

// The 29 notes on a grand staff, coloured by slowness, with their wrong answers.
void DrawNoteStaff(cairo_t* cr, Box box, const ModeSummary& mode);

}  // namespace progress
