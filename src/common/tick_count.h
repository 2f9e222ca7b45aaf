#pragma once

#include <cstdint>

namespace ovc {

// Milliseconds since the machine started (CLOCK_MONOTONIC), cut to 32 bits:
// wraps around after about 49.7 days, as callers that subtract ticks expect.
uint32_t TickCount();

}  // namespace ovc
