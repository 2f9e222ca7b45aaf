#pragma once

#include <cstdint>
#include <vector>

namespace ovc {

// A top-down 24-bit bitmap: each pixel blue, green, red; lines of exactly
// 3 × width bytes.
struct Bitmap24 {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;

  bool empty() const { return pixels.empty(); }
};

}  // namespace ovc
