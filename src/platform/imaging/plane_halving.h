#pragma once

#include <cstdint>

namespace ovc {

// Halves a plane of even width × even height into one of width/2 ×
// height/2: each output sample is the rounded mean of a 2×2 block. The
// samples keep their centres, so a 4:2:0 picture halved plane by plane
// stays a 4:2:0 picture of the same chroma siting.
void HalvePlane(const uint8_t* source, int source_stride, int width, int height,
                uint8_t* destination, int destination_stride);

}  // namespace ovc
