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

// The paused still picture: converts 4:2:2 planes (Y, U, V, each with a line
// stride equal to `width`) into a bitmap of width × height. An empty bitmap
// when the planes or the size are unusable.
Bitmap24 PlanesToBitmap(const uint8_t* const planes[3], int width, int height);

}  // namespace ovc
