// The mark the game panel shows beside its clock during a drill: a small red enamel
// plate with a gold rim, lettered DRILL, drawn over the panel it covers.
#include <cmath>

#include "Art.h"
#include "Text.h"

namespace resgen {

Image DrillMark(const Image& background) {
    Image mark = background.Crop(kDrillMark.x, kDrillMark.y, kDrillMark.w, kDrillMark.h);
    Painter p(mark);
    const double w = kDrillMark.w, h = kDrillMark.h, r = 4;
    const auto plate = [&](double inset) {
        const double x0 = inset, y0 = inset, x1 = w - inset, y1 = h - inset, k = r - inset;
        cairo_new_path(p);
        cairo_arc(p, x1 - k, y0 + k, k, -M_PI / 2, 0);
        cairo_arc(p, x1 - k, y1 - k, k, 0, M_PI / 2);
        cairo_arc(p, x0 + k, y1 - k, k, M_PI / 2, M_PI);
        cairo_arc(p, x0 + k, y0 + k, k, M_PI, 3 * M_PI / 2);
        cairo_close_path(p);
    };
    // The gold rim, lighter at the top as the panel's bezel is.
    plate(0.5);
    cairo_pattern_t* gold = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgb(gold, 0, 1.0, 0.88, 0.5);
    cairo_pattern_add_color_stop_rgb(gold, 1, 0.62, 0.4, 0.08);
    cairo_set_source(p, gold);
    cairo_fill(p);
    cairo_pattern_destroy(gold);
    // The enamel, the red of a lit button.
    plate(1.5);
    cairo_pattern_t* red = cairo_pattern_create_linear(0, 1.5, 0, h - 1.5);
    cairo_pattern_add_color_stop_rgb(red, 0, 0.93, 0.2, 0.14);
    cairo_pattern_add_color_stop_rgb(red, 1, 0.66, 0.05, 0.04);
    cairo_set_source(p, red);
    cairo_fill(p);
    cairo_pattern_destroy(red);
    const Font letters{"DejaVu Sans", 6.8, true, 0.4};
    cairo_set_source_rgba(p, 0.25, 0.0, 0.0, 0.8);
    DrawText(p, "DRILL", letters, w / 2 + 0.4, 3.2, Align::Centre);
    SetColor(p, Rgb(255, 240, 200));
    DrawText(p, "DRILL", letters, w / 2, 2.8, Align::Centre);
    return mark;
}

}  // namespace resgen
