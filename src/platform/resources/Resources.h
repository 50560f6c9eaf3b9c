// The bitmaps, sounds and icon embedded in the program, by numeric id.
#pragma once

#include "platform/Platform.h"

namespace clavora {

// The embedded bytes of resource id as drawn for the 800 x 520 window; empty when there
// is none.
ResourceBytes FindEmbeddedResource(int id);

// The embedded bytes of resource id drawn at scale device pixels per window pixel: scale
// 1 is the one-argument lookup; scale 2 is the same picture drawn anew at twice the
// width and height, in the same format (24-bit, 4-bit with the same palette, 1-bit;
// the icon's images at twice their sides). Empty for an id without a picture at that
// scale (the sounds at 2) and for any other scale.
ResourceBytes FindEmbeddedResource(int id, int scale);

}  // namespace clavora
