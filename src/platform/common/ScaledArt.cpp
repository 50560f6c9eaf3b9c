#include "platform/common/ScaledArt.h"

#include "platform/gdi/DeviceScale.h"
#include "platform/resources/Resources.h"

namespace clavora {

namespace {

// The resource drawn at scale, by FindEmbeddedResource(id, scale) where the build
// embeds art at several scales; empty where it embeds only the 1x set.
template <class Id>
ResourceBytes EmbeddedAt(Id id, int scale) {
    if constexpr (requires { FindEmbeddedResource(id, scale); })
        return FindEmbeddedResource(id, scale);
    else
        return {};
}

}  // namespace

ResourceBytes FindScaledResource(int id, int scale) {
    if (scale > 1) {
        const ResourceBytes art = EmbeddedAt(id, scale);
        if (art.data && art.size) {
            NoteArtScale(art.data, scale);
            return art;
        }
    }
    return FindEmbeddedResource(id);
}

}  // namespace clavora
