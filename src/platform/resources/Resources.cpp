#include "platform/resources/Resources.h"

#include "platform/resources/EmbeddedResources.h"

namespace clavora {

ResourceBytes FindEmbeddedResource(int id, int scale) {
    for (size_t i = 0; i < kEmbeddedResourceCount; ++i) {
        const EmbeddedResource& r = kEmbeddedResources[i];
        if (r.id == id && r.scale == scale) return {r.begin, static_cast<size_t>(r.end - r.begin)};
    }
    return {};
}

ResourceBytes FindEmbeddedResource(int id) { return FindEmbeddedResource(id, 1); }

}  // namespace clavora
