// The embedded resources as a window at a device scale wants them.
#pragma once

#include "platform/Platform.h"

namespace clavora {

// Resource id for a window at scale: art drawn at that scale where the program holds
// it (noted with NoteArtScale, so that DecodeBmp knows its size), else the 1x bytes.
// Nothing is read of the 2x art unless the window is at 2x.
ResourceBytes FindScaledResource(int id, int scale);

}  // namespace clavora
