#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/av/i420_frame.h"

namespace ovc::test {

// The 4:2:0 frame (av::I420Frame) of a packed YUY2 picture of even width:
// all its luma, and the chroma of every other line.
inline std::vector<uint8_t> I420FromYuy2(const std::vector<uint8_t>& packed, int width,
                                         int height) {
  const av::I420Frame layout{width, height};
  std::vector<uint8_t> frame(layout.bytes());
  uint8_t* planes[3];
  int strides[3];
  layout.Planes(frame.data(), planes, strides);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint8_t* pixel = &packed[(static_cast<size_t>(y) * width + x) * 2];
      planes[0][static_cast<size_t>(y) * strides[0] + x] = pixel[0];
      if (y % 2 == 0) planes[1 + x % 2][static_cast<size_t>(y / 2) * strides[1] + x / 2] = pixel[1];
    }
  return frame;
}

}  // namespace ovc::test
