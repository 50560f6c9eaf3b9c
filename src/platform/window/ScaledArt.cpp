#include "platform/window/ScaledArt.h"

#include "raster/DeviceScale.h"
#include "platform/resources/Resources.h"

namespace clavora {

ResourceBytes FindScaledResource(int id, int scale) {
    if (scale > 1) {
        const ResourceBytes art = FindEmbeddedResource(id, scale);
        if (art.data && art.size) {
            NoteArtScale(art.data, scale);
            return art;
        }
    }
    return FindEmbeddedResource(id);
}

}  // namespace clavora
