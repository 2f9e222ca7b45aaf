#pragma once

#include <cstdint>
#include <vector>

#include "platform/imaging/bitmap24.h"
#include "platform/media/media_types.h"

namespace ovc {

// The paused still picture: converts 4:2:0 planes (Y of width × height with
// lines `width` apart, U and V of width/2 × (height+1)/2 with lines
// width/2 apart) into a bitmap of width × height. An empty bitmap when the
// planes or the size are unusable.
Bitmap24 PlanesToBitmap(const uint8_t* const planes[3], int width, int height);

// The input picture kept for the still picture, as 4:2:0 planes of the
// layout PlanesToBitmap takes: a copy of the decoder's planes, or the
// packed picture's luma and every other line of its chroma. Nothing is
// converted until the picture is asked for.
class KeptPicture {
 public:
  // Keep a width × height picture (width ≥ 2). False when it could not be
  // kept (no memory; then nothing is kept).
  bool KeepPlanes(const media::PlanarPicture& picture, int width, int height);
  bool KeepYuy2(const uint8_t* packed, int packed_stride, int width, int height);

  Bitmap24 ToBitmap() const;
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  // Sizes the planes for width × height; false without memory.
  bool Shape(int width, int height);

  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> planes_[3];
};

}  // namespace ovc
