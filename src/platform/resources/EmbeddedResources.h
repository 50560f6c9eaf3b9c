// The table of embedded resources, generated at build time by the art generator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace clavora {

struct EmbeddedResource {
    int id;
    int scale;  // device pixels per layout pixel the picture is drawn at; 1 for sounds
    const uint8_t* begin;
    const uint8_t* end;
};

extern const EmbeddedResource kEmbeddedResources[];
extern const size_t kEmbeddedResourceCount;

}  // namespace clavora
