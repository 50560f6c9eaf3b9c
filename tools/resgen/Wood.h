// Procedural wood: warped growth rings, fibres along the grain and fine pores.
#pragma once

#include <cstdint>

#include "Image.h"

namespace resgen {

struct WoodStyle {
    uint32_t light;      // early wood
    uint32_t dark;       // late wood, the dark figure of the rings
    double ringsPerPx;   // density of the figure across the grain
    double warp;         // how far the rings wander, in rings
    uint32_t seed;
    bool vertical;       // grain running down instead of across
};

// Warm walnut for the console, a lighter carved wood for the ornament.
extern const WoodStyle kConsoleWood;
extern const WoodStyle kCarvedWood;

uint32_t WoodAt(double x, double y, const WoodStyle& style);
// A w x h texture whose pixel (i, j) is the wood at (x0 + i, y0 + j).
Image WoodTexture(int x0, int y0, int w, int h, const WoodStyle& style);

}  // namespace resgen
