#include "Wood.h"

#include <cmath>

#include "Noise.h"

namespace resgen {

const WoodStyle kConsoleWood{Rgb(150, 84, 44), Rgb(78, 36, 16), 0.055, 2.6, 7, false};
const WoodStyle kCarvedWood{Rgb(170, 104, 56), Rgb(96, 50, 24), 0.07, 2.0, 31, false};

uint32_t WoodAt(int i, int j, const WoodStyle& s) {
    const double x = LayoutAt(i), y = LayoutAt(j);
    const double u = s.vertical ? y : x;  // along the grain
    const double v = s.vertical ? x : y;  // across it
    // Rings wander slowly along the board and a little faster across it.
    const double warp = s.warp * (Fbm(u * 0.0035, v * 0.012, 4, s.seed) - 0.5) * 2 +
                        0.35 * (Fbm(u * 0.02, v * 0.05, 3, s.seed + 1) - 0.5);
    const double t = v * s.ringsPerPx + warp + u * 0.0015;
    const double ring = t - std::floor(t);
    // Late wood: a band that darkens quickly and fades slowly.
    const double late = std::pow(std::sin(ring * 3.14159265) , 6.0);
    // Fibres: fine streaks stretched along the grain.
    const double fibre = Fbm(u * 0.018, v * 0.7, 3, s.seed + 2) - 0.5;
    // Broad light and dark patches, as in a real board.
    const double patch = Fbm(u * 0.006, v * 0.02, 3, s.seed + 3) - 0.5;
    const double pore = Grain(i, j, s.seed + 4);
    double d = 0.18 + 0.5 * late + 0.55 * fibre - 0.35 * patch;
    if (pore > 0.985) d += 0.22;
    d = std::clamp(d, 0.0, 1.0);
    return Mix(s.light, s.dark, d);
}

Image WoodTexture(int x0, int y0, int w, int h, const WoodStyle& style) {
    Image img = Canvas(w, h);
    const int s = DevicePixels();
    for (int j = 0; j < img.h; ++j)
        for (int i = 0; i < img.w; ++i) img.at(i, j) = WoodAt(x0 * s + i, y0 * s + j, style);
    return img;
}

}  // namespace resgen
