// The dark red backdrop and the carved wooden scrolls behind the staff card.
#include <cmath>

#include "Art.h"
#include "Noise.h"
#include "Relief.h"
#include "Wood.h"

namespace resgen {

namespace {

// A scroll: a band that runs in from the board along a straight tail, passes above or
// below its eye, then winds inward around it.
void Volute(std::vector<Point>& path, std::vector<double>& radius, Point tailStart, Point eye,
            double r0, double width, bool above) {
    const double start = above ? -M_PI / 2 : M_PI / 2;
    const double heading = tailStart.x < eye.x ? 1 : -1;
    const double dir = above ? heading : -heading;
    const Point first{eye.x + r0 * std::cos(start), eye.y + r0 * std::sin(start)};
    const double tail = std::hypot(first.x - tailStart.x, first.y - tailStart.y);
    // Beads half a device pixel apart or closer, so the carving stays smooth at every scale.
    const double step = 0.7 / DevicePixels();
    for (double s = 0; s < tail; s += step) {
        const double t = s / tail;
        path.push_back({tailStart.x + (first.x - tailStart.x) * t, tailStart.y + (first.y - tailStart.y) * t});
        radius.push_back(width);
    }
    const double turns = 1.6, total = turns * 2 * M_PI;
    for (double a = 0; a <= total; a += step / std::max(4.0, r0 * (1 - 0.75 * a / total))) {
        const double f = a / total;
        const double r = r0 * (1 - 0.75 * f);
        const double th = start + dir * a;
        path.push_back({eye.x + r * std::cos(th), eye.y + r * std::sin(th)});
        radius.push_back(width * (1 - 0.55 * f));
    }
}

void Scroll(Relief& relief, Relief& groove, Point tailStart, Point eye, double r0, double width,
            bool above) {
    std::vector<Point> path;
    std::vector<double> radius, thin;
    Volute(path, radius, tailStart, eye, r0, width, above);
    relief.Tube(path, radius, 0.9);
    for (double r : radius) thin.push_back(r * 0.28);
    groove.Tube(path, thin, 1.0);
    // The eye: a round boss where the spiral ends.
    relief.Dome(path.back().x, path.back().y, radius.back() * 1.5, radius.back() * 1.2);
}

}  // namespace

void DrawBackdrop(Image& img) {
    // Velvet: dark red, a little lighter toward the top, with a soft nap.
    // The nap follows layout pixels; the fine grain is as fine as the device pixels.
    for (int j = 0; j < kConsoleTop * DevicePixels(); ++j)
        for (int i = 0; i < img.w; ++i) {
            const double x = LayoutAt(i), y = LayoutAt(j);
            const double nap = Fbm(x * 0.08, y * 0.02, 3, 5) - 0.5;
            const double fine = Grain(i, j, 6) - 0.5;
            const double v = 1 - 0.25 * y / kConsoleTop + 0.18 * nap + 0.05 * fine;
            img.at(i, j) = RgbF(104 * v, 16 * v, 24 * v);
        }
    // A quiet damask of diamonds, a shade darker than the velvet.
    {
        Painter p(img);
        cairo_rectangle(p, 0, 0, kWidth, kConsoleTop);
        cairo_clip(p);
        for (int j = -1; j < 9; ++j)
            for (int i = -1; i < 18; ++i) {
                const double cx = i * 48 + (j % 2 ? 24 : 0), cy = j * 44 + 10;
                cairo_move_to(p, cx, cy - 14);
                cairo_curve_to(p, cx + 4, cy - 6, cx + 8, cy - 2, cx + 12, cy);
                cairo_curve_to(p, cx + 8, cy + 2, cx + 4, cy + 6, cx, cy + 14);
                cairo_curve_to(p, cx - 4, cy + 6, cx - 8, cy + 2, cx - 12, cy);
                cairo_curve_to(p, cx - 8, cy - 2, cx - 4, cy - 6, cx, cy - 14);
                cairo_close_path(p);
            }
        cairo_set_source_rgba(p, 0, 0, 0, 0.13);
        cairo_fill(p);
    }

    // The carved board behind the card, with scrolls to each side.
    Relief wood(kWidth, kHeight), groove(kWidth, kHeight);
    wood.Block(211, 4, 475, 380, 16, 7, 7);
    const double boardLeft = 212, boardRight = 685;
    Scroll(wood, groove, {boardRight - 4, 22}, {744, 62}, 38, 8.5, true);
    Scroll(wood, groove, {boardRight - 4, 325}, {742, 280}, 44, 9.5, false);
    Scroll(wood, groove, {boardLeft + 4, 22}, {152, 62}, 38, 8.5, true);
    Scroll(wood, groove, {boardLeft + 4, 325}, {154, 280}, 44, 9.5, false);
    // A spine joins each pair of scrolls on its outer side, making a carved bracket,
    // with a bead at its middle.
    for (int side : {-1, 1}) {
        std::vector<Point> path;
        std::vector<double> radius, thin;
        const double x0 = 448 + side * 334, x1 = 448 + side * 338;
        for (double y = 62; y <= 280; y += 0.7 / DevicePixels()) {
            const double t = (y - 62) / 218;
            const double bulge = std::sin(t * M_PI);
            path.push_back({x0 + (x1 - x0) * t - side * 6 * bulge, y});
            radius.push_back(7.5 - 2 * bulge);
            thin.push_back((7.5 - 2 * bulge) * 0.28);
        }
        wood.Tube(path, radius, 0.9);
        groove.Tube(path, thin, 1.0);
        wood.Dome(path[path.size() / 2].x, 171, 9, 8);
        wood.Dome(path[path.size() / 2].x, 171, 4, 10);
    }
    std::vector<float> mask(size_t(groove.w()) * groove.h());
    for (int y = 0; y < groove.h(); ++y)
        for (int x = 0; x < groove.w(); ++x) mask[size_t(y) * groove.w() + x] = groove.Cover(x, y) * groove.Height(x, y);
    wood.Engrave(mask, 1.6);
    CastShadow(img, wood, 4, 5, 3, 0.7);
    Shade(img, wood, [](int x, int y) { return WoodAt(x, y, kCarvedWood); }, kWoodFinish);
}

}  // namespace resgen
