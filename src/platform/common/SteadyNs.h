// The steady clock in nanoseconds, as the audio outputs and the timing log count time.
#pragma once

#include <chrono>
#include <cstdint>

namespace clavora {

inline int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace clavora
