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

// The wood at device pixel (i, j): its figure follows layout pixels, its pores are as
// fine as the device pixels.
uint32_t WoodAt(int i, int j, const WoodStyle& style);
// A texture of w x h layout pixels cut out of the wood at layout pixel (x0, y0).
Image WoodTexture(int x0, int y0, int w, int h, const WoodStyle& style);

}  // namespace resgen
