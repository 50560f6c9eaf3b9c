// A chart of the games of one mode over the days: one point for every game, at its day
// and time of day, and a gold line through the best game of each day.
#include <algorithm>
#include <array>
#include <utility>
#include <cmath>
#include <cstdio>
#include <map>

#include "Draw.h"

namespace progress {

namespace {

// A round top for the axis: 1, 2 or 5 times a power of ten, at least top.
double NiceTop(double top) {
    if (top <= 0) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(top)));
    for (const double m : {1.0, 2.0, 4.0, 8.0, 10.0})
        if (m * power >= top) return m * power;
    return 10 * power;
}

}  // namespace

void DrawChart(cairo_t* cr, Box box, const std::vector<const Game*>& games, DaySpan days,
               double (*value)(const Game&), const char* title) {
    const Box plot{box.x + 44, box.y + 18, box.w - 56, box.h - 36};
    Text(cr, box.x, box.y + 10, title, 12, kInk, 0, true);

    double top = 0;
    for (const Game* g : games) top = std::max(top, value(*g));
    top = NiceTop(top);
    const double span = std::max(1, days.last - days.first + 1);
    const auto X = [&](int32_t day, int32_t second) {
        return plot.x + plot.w * ((day - days.first) + second / 86400.0) / span;
    };
    const auto Y = [&](double v) { return plot.y + plot.h * (1 - v / top); };

    // Grid and value labels: four steps up the axis.
    cairo_set_line_width(cr, 1);
    for (int i = 0; i <= 4; ++i) {
        const double v = top * i / 4, y = std::round(Y(v)) + 0.5;
        SetColor(cr, kGrid);
        cairo_new_path(cr);
        cairo_move_to(cr, plot.x, y);
        cairo_line_to(cr, plot.x + plot.w, y);
        cairo_stroke(cr);
        char label[16];
        std::snprintf(label, sizeof label, v == std::floor(v) ? "%.0f" : "%.1f", v);
        Text(cr, plot.x - 6, y + 4, label, 10, kInk, 1);
    }
    // Day labels: the first and last day, and a few between.
    const int labels = std::min<int>(6, static_cast<int>(span));
    for (int i = 0; i <= labels; ++i) {
        const int32_t day = days.first + static_cast<int32_t>(std::lround((span - 1) * i / std::max(1, labels)));
        const std::string text = DayText(day).substr(5);
        Text(cr, X(day, 43200), plot.y + plot.h + 13, text.c_str(), 10, kInk, 0.5);
    }

    // The day's best: the lowest figure of each day, joined day by day.
    std::map<int32_t, double> best;
    for (const Game* g : games) {
        if (g->drill) continue;
        const auto it = best.find(g->day);
        if (it == best.end() || value(*g) < it->second) best[g->day] = value(*g);
    }
    SetColor(cr, kGold);
    cairo_set_line_width(cr, 2);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    bool first = true;
    cairo_new_path(cr);
    for (const auto& [day, v] : best) {
        if (first) cairo_move_to(cr, X(day, 43200), Y(v));
        else cairo_line_to(cr, X(day, 43200), Y(v));
        first = false;
    }
    cairo_stroke(cr);

    // Every game, one point each: an octagon 5 pixels across, as round as a circle at
    // this size and without the circle's trigonometry, which years of games would feel.
    static const auto kDot = [] {
        std::array<std::pair<double, double>, 8> corners;
        for (int i = 0; i < 8; ++i)
            corners[i] = {2.6 * std::cos((i + 0.5) * kPi / 4), 2.6 * std::sin((i + 0.5) * kPi / 4)};
        return corners;
    }();
    for (const Game* g : games) {
        const double x = X(g->day, g->secondOfDay), y = Y(value(*g));
        cairo_new_path(cr);
        if (g->drill) {
            // A drill: a red diamond, a little larger, so that it shows among the games.
            SetColor(cr, kDrillPoint);
            cairo_move_to(cr, x, y - 3.6);
            cairo_line_to(cr, x + 3.6, y);
            cairo_line_to(cr, x, y + 3.6);
            cairo_line_to(cr, x - 3.6, y);
        } else {
            SetColor(cr, kGamePoint);
            cairo_move_to(cr, x + kDot[0].first, y + kDot[0].second);
            for (int i = 1; i < 8; ++i) cairo_line_to(cr, x + kDot[i].first, y + kDot[i].second);
        }
        cairo_close_path(cr);
        cairo_fill(cr);
    }
}

}  // namespace progress
