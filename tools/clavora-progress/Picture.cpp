// The whole progress picture: a title, then for each mode played a card with its two
// charts over the days and its notes on the grand staff. Drawn with cairo into PNG or
// SVG bytes.
#include "Picture.h"

#include <cairo-svg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Draw.h"

namespace progress {

namespace {

constexpr double kWidth = 1200;
constexpr double kTitleHeight = 56;
constexpr double kBandHeight = 330;

double GameSeconds(const Game& g) { return g.hundredths / 100.0; }
double GameMistakes(const Game& g) { return g.wrong; }

cairo_status_t Collect(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

void DrawAll(cairo_t* cr, const std::vector<ModeSummary>& modes) {
    SetColor(cr, kBackdrop);
    cairo_paint(cr);
    DaySpan days{modes.front().games.front()->day, modes.front().games.front()->day};
    size_t total = 0;
    for (const ModeSummary& m : modes) {
        total += m.games.size();
        for (const Game* g : m.games) {
            days.first = std::min(days.first, g->day);
            days.last = std::max(days.last, g->day);
        }
    }
    size_t drills = 0;
    for (const ModeSummary& m : modes) drills += m.drills;
    char count[64] = "";
    if (drills > 0) std::snprintf(count, sizeof count, " and %zu drill%s", drills, drills == 1 ? "" : "s");
    char title[200];
    std::snprintf(title, sizeof title, "Clavora practice: %zu game%s%s on the days %s to %s", total - drills,
                  total - drills == 1 ? "" : "s", count, DayText(days.first).c_str(), DayText(days.last).c_str());
    Text(cr, 20, 36, title, 20, Rgb{1.0, 0.86, 0.45}, 0, true);

    for (size_t i = 0; i < modes.size(); ++i) {
        const ModeSummary& m = modes[i];
        const double y = kTitleHeight + i * kBandHeight;
        Card(cr, Box{16, y, kWidth - 32, kBandHeight - 14});
        char head[64];
        const size_t games = m.games.size() - m.drills;
        std::snprintf(head, sizeof head, "%s mode: %zu game%s, %d drill%s", m.mode == kLetter ? "Letter" : "Piano",
                      games, games == 1 ? "" : "s", m.drills, m.drills == 1 ? "" : "s");
        Text(cr, 32, y + 24, head, 15, kInk, 0, true);
        DrawChart(cr, Box{32, y + 36, 700, 150}, m.games, days, GameSeconds,
                  m.drills > 0 ? "Seconds a game (gold: the day's best game; red diamonds: drills)"
                               : "Seconds a game (gold: the day's best)");
        DrawChart(cr, Box{32, y + 192, 700, 118}, m.games, days, GameMistakes,
                  "Mistakes a game");
        DrawNoteStaff(cr, Box{760, y + 36, 420, 276}, m);
    }
}

}  // namespace

void SetColor(cairo_t* cr, Rgb c, double alpha) {
    if (alpha >= 1.0) cairo_set_source_rgb(cr, c.r, c.g, c.b);
    else cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void Text(cairo_t* cr, double x, double y, const char* text, double size, Rgb c, double align,
          bool bold) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text, &e);
    SetColor(cr, c);
    cairo_move_to(cr, x - align * e.x_advance, y);
    cairo_show_text(cr, text);
}

void Card(cairo_t* cr, Box b) {
    const double r = 10;
    cairo_new_sub_path(cr);
    cairo_arc(cr, b.x + b.w - r, b.y + r, r, -kPi / 2, 0);
    cairo_arc(cr, b.x + b.w - r, b.y + b.h - r, r, 0, kPi / 2);
    cairo_arc(cr, b.x + r, b.y + b.h - r, r, kPi / 2, kPi);
    cairo_arc(cr, b.x + r, b.y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
    SetColor(cr, kCard);
    cairo_fill_preserve(cr);
    SetColor(cr, kGold);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
}

Rgb Slowness(double t) {
    constexpr Rgb kFast{0.24, 0.62, 0.30}, kMid{0.93, 0.68, 0.12}, kSlow{0.80, 0.15, 0.15};
    t = std::clamp(t, 0.0, 1.0);
    const Rgb a = t < 0.5 ? kFast : kMid, b = t < 0.5 ? kMid : kSlow;
    const double u = t < 0.5 ? t * 2 : t * 2 - 1;
    return Rgb{a.r + (b.r - a.r) * u, a.g + (b.g - a.g) * u, a.b + (b.b - a.b) * u};
}

std::vector<ModeSummary> Summarize(const History& history, int last) {
    std::vector<ModeSummary> modes;
    for (int mode = 0; mode < kModes; ++mode) {
        ModeSummary m;
        m.mode = mode;
        for (const Game& g : history.games) {
            if (g.mode != mode) continue;
            m.games.push_back(&g);
            m.drills += g.drill;
        }
        if (m.games.empty()) continue;
        m.lastGames = std::min<int>(last, static_cast<int>(m.games.size()));
        for (size_t i = m.games.size() - m.lastGames; i < m.games.size(); ++i) {
            m.drillsInLast |= m.games[i]->drill;
            for (const NoteRow& n : m.games[i]->notes) {
                m.seconds[n.step] += n.hundredths / 100.0;
                m.wrong[n.step] += n.wrong;
                ++m.asked[n.step];
            }
        }
        for (int s = 0; s < kQuizNotes; ++s)
            if (m.asked[s] > 0) m.seconds[s] /= m.asked[s];
        m.weakest = WeakestNotes(m.games);
        modes.push_back(std::move(m));
    }
    return modes;
}

bool DrawPicture(const std::vector<ModeSummary>& modes, bool svg, std::string& bytes) {
    const double height = kTitleHeight + modes.size() * kBandHeight;
    cairo_surface_t* surface =
        svg ? cairo_svg_surface_create_for_stream(Collect, &bytes, kWidth, height)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(kWidth),
                                         static_cast<int>(height));
    cairo_t* cr = cairo_create(surface);
    DrawAll(cr, modes);
    bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    if (ok && !svg)
        ok = cairo_surface_write_to_png_stream(surface, Collect, &bytes) == CAIRO_STATUS_SUCCESS;
    cairo_surface_finish(surface);
    ok = ok && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok;
}

}  // namespace progress
