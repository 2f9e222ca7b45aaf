#pragma once

#include <cstdint>

namespace ovc::media {

// Packs a planar 4:2:0 picture (Y of width × height, U and V of
// width/2 × (height+1)/2) into YUY2 (Y0 U Y1 V per pixel pair), `width`
// even. Each chroma line sits between its two luma lines, so every output
// line takes 3/4 of the nearest chroma line and 1/4 of the next nearest
// (the edge lines repeat). The result matches libswscale's conversion
// within one or two steps and costs a fraction of it.
void PackI420ToYuy2(const uint8_t* y, int y_stride, const uint8_t* u, int u_stride,
                    const uint8_t* v, int v_stride, uint8_t* packed, int packed_stride, int width,
                    int height);

}  // namespace ovc::media
