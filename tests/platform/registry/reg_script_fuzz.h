#pragma once

#include <cstddef>
#include <cstdint>

namespace ovc::registry {

// Parses arbitrary bytes as a registry script and applies the result to an
// in-memory store; aborts when an invariant of the parser or store breaks.
void FuzzRegScript(const uint8_t* data, size_t size);

}  // namespace ovc::registry
