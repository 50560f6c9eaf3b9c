// The program's one random generator: a linear congruential generator seeded once,
// giving values 0..32767. Same seed, same sequence, on every machine.
#pragma once

#include <cstdint>

namespace clavora {

class RandomGenerator {
public:
    void Seed(uint32_t seed) { m_state = seed; }
    int32_t Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int32_t>((m_state >> 16) & 0x7FFF);
    }

private:
    uint32_t m_state = 1;
};

}  // namespace clavora
