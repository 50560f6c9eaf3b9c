// The bitmaps, sounds and icon embedded in the program, by numeric id.
#pragma once

#include "platform/Platform.h"

namespace clavora {

// The embedded bytes of resource id; empty when there is none.
ResourceBytes FindEmbeddedResource(int id);

}  // namespace clavora
