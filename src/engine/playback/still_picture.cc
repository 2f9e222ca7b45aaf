#include "engine/playback/still_picture.h"

#include <algorithm>
#include <cstddef>
#include <new>

#include "common/trace.h"
#include "platform/imaging/image_ops.h"

namespace ovc {

Bitmap24 PlanesToBitmap(const uint8_t* const planes[3], int width, int height) {
  Bitmap24 bitmap;
  if (planes == nullptr || width < 2 || height < 1) return bitmap;
  const int chroma_width = width / 2;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  for (int row = 0; row < height; ++row) {
    // Each chroma line serves two picture lines.
    const size_t chroma_line = static_cast<size_t>(row / 2) * chroma_width;
    const uint8_t* line[3] = {planes[0] + static_cast<size_t>(row) * width,
                              planes[1] + chroma_line, planes[2] + chroma_line};
    const int strides[3] = {width, chroma_width, chroma_width};
    uint8_t* out = pixels.data() + static_cast<size_t>(row) * width * 3;
    if (PlanesToRgb24(line, strides, out, 3 * width, width, 1) != 0) return bitmap;
  }
  // The bitmap keeps blue first.
  const int bgr[3] = {2, 1, 0};
  if (ReorderChannels(pixels.data(), 3 * width, width, height, bgr) != 0) return bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.pixels = std::move(pixels);
  return bitmap;
}

bool KeptPicture::Shape(int width, int height) {
  width_ = height_ = 0;
  if (width < 2 || height < 1) return false;
  const size_t luma = static_cast<size_t>(width) * height;
  const size_t chroma = static_cast<size_t>(width / 2) * ((height + 1) / 2);
  try {
    // Grown, never shrunk: a conversion keeps one picture size.
    if (planes_[0].size() < luma) planes_[0].resize(luma);
    for (int i = 1; i < 3; ++i)
      if (planes_[i].size() < chroma) planes_[i].resize(chroma);
  } catch (const std::bad_alloc&) {
    WriteTraceLine("malloc error");
    for (auto& plane : planes_) std::vector<uint8_t>().swap(plane);
    return false;
  }
  width_ = width;
  height_ = height;
  return true;
}

bool KeptPicture::KeepPlanes(const media::PlanarPicture& picture, int width, int height) {
  if (picture.width < width || picture.height < height || !Shape(width, height)) return false;
  const int widths[3] = {width, width / 2, width / 2};
  const int heights[3] = {height, (height + 1) / 2, (height + 1) / 2};
  for (int i = 0; i < 3; ++i)
    for (int row = 0; row < heights[i]; ++row)
      std::copy_n(picture.planes[i] + static_cast<ptrdiff_t>(row) * picture.strides[i],
                  widths[i], planes_[i].data() + static_cast<size_t>(row) * widths[i]);
  return true;
}

bool KeptPicture::KeepYuy2(const uint8_t* packed, int packed_stride, int width, int height) {
  if (packed == nullptr || packed_stride < 2 * width || !Shape(width, height)) return false;
  const int chroma_width = width / 2;
  for (int row = 0; row < height; ++row) {
    const uint8_t* in = packed + static_cast<ptrdiff_t>(row) * packed_stride;
    uint8_t* y = planes_[0].data() + static_cast<size_t>(row) * width;
    for (int x = 0; x < width; ++x) y[x] = in[2 * x];
    if (row % 2 != 0) continue;
    uint8_t* u = planes_[1].data() + static_cast<size_t>(row / 2) * chroma_width;
    uint8_t* v = planes_[2].data() + static_cast<size_t>(row / 2) * chroma_width;
    for (int pair = 0; pair < chroma_width; ++pair) {
      u[pair] = in[4 * pair + 1];
      v[pair] = in[4 * pair + 3];
    }
  }
  return true;
}

Bitmap24 KeptPicture::ToBitmap() const {
  if (width_ < 2 || height_ < 1) return {};
  const uint8_t* planes[3] = {planes_[0].data(), planes_[1].data(), planes_[2].data()};
  return PlanesToBitmap(planes, width_, height_);
}

}  // namespace ovc
