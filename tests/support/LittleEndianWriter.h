// Appending little-endian fields, for tests that build files byte by byte.
#pragma once

#include <cstdint>
#include <vector>

namespace clavora::test {

inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(x & 0xFF);
    v.push_back((x >> 8) & 0xFF);
}

inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

}  // namespace clavora::test
