#include "engine/playback/still_picture.h"

#include <cstddef>

#include "platform/imaging/image_ops.h"

namespace ovc {

Bitmap24 PlanesToBitmap(const uint8_t* const planes[3], int width, int height) {
  Bitmap24 bitmap;
  if (planes == nullptr || width < 2 || height < 1) return bitmap;
  const int strides[3] = {width, width, width};
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  if (PlanesToRgb24(planes, strides, pixels.data(), 3 * width, width, height) != 0)
    return bitmap;
  // The bitmap keeps blue first.
  const int bgr[3] = {2, 1, 0};
  if (ReorderChannels(pixels.data(), 3 * width, width, height, bgr) != 0) return bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.pixels = std::move(pixels);
  return bitmap;
}

}  // namespace ovc
