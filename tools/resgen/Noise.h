// Deterministic noise for textures: the same picture on every build.
#pragma once

#include <cstdint>

namespace resgen {

// A well-mixed 32-bit hash of a lattice point.
uint32_t Hash(int x, int y, uint32_t seed);
// Smooth value noise in 0..1, one lattice cell per unit.
double Noise(double x, double y, uint32_t seed);
// Sum of octaves of Noise, each twice as fine and half as strong; about 0..1.
double Fbm(double x, double y, int octaves, uint32_t seed);
// A uniform value in 0..1 for a pixel.
inline double Grain(int x, int y, uint32_t seed) { return Hash(x, y, seed) / 4294967295.0; }

}  // namespace resgen
