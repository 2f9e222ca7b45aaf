#include "platform/imaging/image_ops.h"

#include <algorithm>
#include <array>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "platform/av/av_handles.h"
#include "platform/imaging/plane_halving.h"

namespace ovc {
namespace {

uint8_t Saturate(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

bool PlaneArgsOk(const void* plane, int width, int stride, int height) {
  return plane != nullptr && width > 0 && height > 0 && stride >= width;
}

// Scaler contexts of one thread, keyed by their formats, sizes and flags.
// A caller scales at most a few planes or pictures of different sizes per
// picture, so a few entries are enough to make every call after the first
// reuse a context.
class ScalerCache {
 public:
  SwsContext* Get(AVPixelFormat source_format, int source_width, int source_height,
                  AVPixelFormat destination_format, int destination_width,
                  int destination_height, int flags) {
    const Key key{source_format, source_width, source_height, destination_format,
                  destination_width, destination_height, flags};
    for (Entry& entry : entries_) {
      if (entry.context && entry.key == key) {
        entry.last_use = ++use_counter_;
        return entry.context.get();
      }
    }
    av::SwsContextPtr context(sws_getContext(source_width, source_height, source_format,
                                             destination_width, destination_height,
                                             destination_format, flags, nullptr, nullptr,
                                             nullptr));
    if (!context) return nullptr;
    Entry* oldest = &entries_[0];
    for (Entry& entry : entries_)
      if (entry.last_use < oldest->last_use) oldest = &entry;
    *oldest = Entry{std::move(context), key, ++use_counter_};
    return oldest->context.get();
  }

 private:
  struct Key {
    AVPixelFormat source_format;
    int source_width;
    int source_height;
    AVPixelFormat destination_format;
    int destination_width;
    int destination_height;
    int flags;
    bool operator==(const Key&) const = default;
  };
  struct Entry {
    av::SwsContextPtr context;
    Key key{};
    uint64_t last_use = 0;
  };
  std::array<Entry, 6> entries_;
  uint64_t use_counter_ = 0;
};

ScalerCache& Scalers() {
  thread_local ScalerCache cache;
  return cache;
}

int SwsFlags(int filter) {
  switch (filter) {
    case kScalePoint:
      return SWS_POINT;
    case kScaleBilinear:
      return SWS_BILINEAR | SWS_ACCURATE_RND;
    case kScaleBicubic:
      return SWS_BICUBIC | SWS_ACCURATE_RND;
    default:
      return -1;
  }
}

}  // namespace

int SplitYuy2ToPlanes(const uint8_t* packed, int packed_stride, uint8_t* const planes[3],
                      const int plane_strides[3], int width, int height) {
  if (packed == nullptr || planes == nullptr || plane_strides == nullptr || width <= 0 ||
      height <= 0 || packed_stride < 2 * width)
    return -1;
  int chroma_width = width / 2;
  if (!PlaneArgsOk(planes[0], width, plane_strides[0], height)) return -1;
  if (chroma_width > 0 && (!PlaneArgsOk(planes[1], chroma_width, plane_strides[1], height) ||
                           !PlaneArgsOk(planes[2], chroma_width, plane_strides[2], height)))
    return -1;
  for (int row = 0; row < height; ++row) {
    const uint8_t* in = packed + static_cast<ptrdiff_t>(row) * packed_stride;
    uint8_t* y = planes[0] + static_cast<ptrdiff_t>(row) * plane_strides[0];
    uint8_t* u = chroma_width > 0 ? planes[1] + static_cast<ptrdiff_t>(row) * plane_strides[1]
                                  : nullptr;
    uint8_t* v = chroma_width > 0 ? planes[2] + static_cast<ptrdiff_t>(row) * plane_strides[2]
                                  : nullptr;
    for (int pair = 0; pair < chroma_width; ++pair) {
      y[2 * pair] = in[4 * pair];
      u[pair] = in[4 * pair + 1];
      y[2 * pair + 1] = in[4 * pair + 2];
      v[pair] = in[4 * pair + 3];
    }
    if (width % 2 != 0) y[width - 1] = in[2 * (width - 1)];
  }
  return 0;
}

int JoinPlanesToYuy2(const uint8_t* const planes[3], const int plane_strides[3], uint8_t* packed,
                     int packed_stride, int width, int height) {
  if (planes == nullptr || plane_strides == nullptr || packed == nullptr || width < 2 ||
      width % 2 != 0 || height <= 0 || packed_stride < 2 * width)
    return -1;
  int chroma_width = width / 2;
  if (!PlaneArgsOk(planes[0], width, plane_strides[0], height) ||
      !PlaneArgsOk(planes[1], chroma_width, plane_strides[1], height) ||
      !PlaneArgsOk(planes[2], chroma_width, plane_strides[2], height))
    return -1;
  for (int row = 0; row < height; ++row) {
    uint8_t* out = packed + static_cast<ptrdiff_t>(row) * packed_stride;
    const uint8_t* y = planes[0] + static_cast<ptrdiff_t>(row) * plane_strides[0];
    const uint8_t* u = planes[1] + static_cast<ptrdiff_t>(row) * plane_strides[1];
    const uint8_t* v = planes[2] + static_cast<ptrdiff_t>(row) * plane_strides[2];
    for (int pair = 0; pair < chroma_width; ++pair) {
      out[4 * pair] = y[2 * pair];
      out[4 * pair + 1] = u[pair];
      out[4 * pair + 2] = y[2 * pair + 1];
      out[4 * pair + 3] = v[pair];
    }
  }
  return 0;
}

int CropScalePlane(const uint8_t* source, int source_width, int source_height, int source_stride,
                   int crop_x, int crop_y, int crop_width, int crop_height, uint8_t* destination,
                   int destination_stride, int destination_width, int destination_height,
                   double horizontal_factor, double vertical_factor, int filter) {
  if (!PlaneArgsOk(source, source_width, source_stride, source_height) ||
      !PlaneArgsOk(destination, destination_width, destination_stride, destination_height))
    return -1;
  if (crop_x < 0 || crop_y < 0 || crop_width <= 0 || crop_height <= 0 ||
      crop_x > source_width - crop_width || crop_y > source_height - crop_height)
    return -1;
  if (!(horizontal_factor > 0) || !(vertical_factor > 0)) return -1;
  int flags = SwsFlags(filter);
  if (flags < 0) return -1;

  const uint8_t* origin =
      source + static_cast<ptrdiff_t>(crop_y) * source_stride + crop_x;
  if (crop_width == destination_width && crop_height == destination_height) {
    for (int row = 0; row < crop_height; ++row)
      std::copy_n(origin + static_cast<ptrdiff_t>(row) * source_stride, crop_width,
                  destination + static_cast<ptrdiff_t>(row) * destination_stride);
    return 0;
  }
  SwsContext* context = Scalers().Get(AV_PIX_FMT_GRAY8, crop_width, crop_height, AV_PIX_FMT_GRAY8,
                                      destination_width, destination_height, flags);
  if (context == nullptr) return -1;
  const uint8_t* source_planes[4] = {origin, nullptr, nullptr, nullptr};
  int source_strides[4] = {source_stride, 0, 0, 0};
  uint8_t* destination_planes[4] = {destination, nullptr, nullptr, nullptr};
  int destination_strides[4] = {destination_stride, 0, 0, 0};
  int rows = sws_scale(context, source_planes, source_strides, 0, crop_height,
                       destination_planes, destination_strides);
  return rows == destination_height ? 0 : -1;
}

namespace {

// Scales a crop_width × crop_height region, whose planes start at `region`,
// into 4:2:0 planes of destination_width (even) × destination_height.
int ScaleRegionToPlanes(AVPixelFormat source_format, const uint8_t* const region[3],
                        const int region_strides[3], int crop_width, int crop_height,
                        uint8_t* const planes[3], const int plane_strides[3],
                        int destination_width, int destination_height, int filter) {
  if (planes == nullptr || plane_strides == nullptr || destination_width < 2 ||
      destination_width % 2 != 0 || destination_height <= 0)
    return -1;
  const int chroma_width = destination_width / 2;
  const int chroma_height = (destination_height + 1) / 2;
  if (!PlaneArgsOk(planes[0], destination_width, plane_strides[0], destination_height) ||
      !PlaneArgsOk(planes[1], chroma_width, plane_strides[1], chroma_height) ||
      !PlaneArgsOk(planes[2], chroma_width, plane_strides[2], chroma_height))
    return -1;
  int flags = SwsFlags(filter);
  if (flags < 0) return -1;
  SwsContext* context = Scalers().Get(source_format, crop_width, crop_height, AV_PIX_FMT_YUV420P,
                                      destination_width, destination_height, flags);
  if (context == nullptr) return -1;
  const uint8_t* source_planes[4] = {region[0], region[1], region[2], nullptr};
  int source_strides[4] = {region_strides[0], region_strides[1], region_strides[2], 0};
  uint8_t* destination_planes[4] = {planes[0], planes[1], planes[2], nullptr};
  int destination_strides[4] = {plane_strides[0], plane_strides[1], plane_strides[2], 0};
  int rows = sws_scale(context, source_planes, source_strides, 0, crop_height, destination_planes,
                       destination_strides);
  return rows == destination_height ? 0 : -1;
}

}  // namespace

int CropScaleYuy2ToI420(const uint8_t* packed, int width, int height, int packed_stride,
                        int crop_x, int crop_y, int crop_width, int crop_height,
                        uint8_t* const planes[3], const int plane_strides[3],
                        int destination_width, int destination_height, int filter) {
  if (packed == nullptr || width < 2 || height <= 0 || packed_stride < 2 * width) return -1;
  if (crop_x < 0 || crop_y < 0 || crop_x % 2 != 0 || crop_width < 2 || crop_width % 2 != 0 ||
      crop_height <= 0 || crop_x > width - crop_width || crop_y > height - crop_height)
    return -1;
  const uint8_t* region[3] = {
      packed + static_cast<ptrdiff_t>(crop_y) * packed_stride + 2 * crop_x, nullptr, nullptr};
  const int strides[3] = {packed_stride, 0, 0};
  return ScaleRegionToPlanes(AV_PIX_FMT_YUYV422, region, strides, crop_width, crop_height, planes,
                             plane_strides, destination_width, destination_height, filter);
}

int CropScaleI420ToI420(const uint8_t* const source[3], const int source_strides[3], int width,
                        int height, int crop_x, int crop_y, int crop_width, int crop_height,
                        uint8_t* const planes[3], const int plane_strides[3],
                        int destination_width, int destination_height, int filter) {
  if (source == nullptr || source_strides == nullptr || width < 2 || height <= 0) return -1;
  if (!PlaneArgsOk(source[0], width, source_strides[0], height) ||
      !PlaneArgsOk(source[1], width / 2, source_strides[1], (height + 1) / 2) ||
      !PlaneArgsOk(source[2], width / 2, source_strides[2], (height + 1) / 2))
    return -1;
  if (crop_x < 0 || crop_y < 0 || crop_x % 2 != 0 || crop_y % 2 != 0 || crop_width < 2 ||
      crop_width % 2 != 0 || crop_height <= 0 || crop_x > width - crop_width ||
      crop_y > height - crop_height)
    return -1;
  const uint8_t* region[3] = {
      source[0] + static_cast<ptrdiff_t>(crop_y) * source_strides[0] + crop_x,
      source[1] + static_cast<ptrdiff_t>(crop_y / 2) * source_strides[1] + crop_x / 2,
      source[2] + static_cast<ptrdiff_t>(crop_y / 2) * source_strides[2] + crop_x / 2};
  int region_strides[3] = {source_strides[0], source_strides[1], source_strides[2]};

  // Shrinking to a third or less, the region is first halved by 2×2 means,
  // as often as it stays three times the destination: libswscale's bicubic
  // filter reads four source samples per destination sample each way, so
  // 1280x720 → 368x208 costs 14 taps a direction; from the halved picture
  // 7, and the result differs by less than the encoders' own loss (SSIM
  // 0.9995 against the one-step picture). Below a third the filter still
  // has room to smooth what the means leave.
  thread_local std::vector<uint8_t> halves[2];
  int which = 0;
  while (filter != kScalePoint && crop_width % 4 == 0 && crop_height % 4 == 0 &&
         crop_width >= 3 * destination_width && crop_height >= 3 * destination_height) {
    const int half_width = crop_width / 2;
    const int half_height = crop_height / 2;
    const size_t luma = static_cast<size_t>(half_width) * half_height;
    std::vector<uint8_t>& half = halves[which];
    half.resize(luma + luma / 2 + kScalerSlack);  // the scaler reads past the last line
    uint8_t* half_planes[3] = {half.data(), half.data() + luma, half.data() + luma + luma / 4};
    const int half_strides[3] = {half_width, half_width / 2, half_width / 2};
    for (int plane = 0; plane < 3; ++plane) {
      const int shift = plane == 0 ? 0 : 1;
      HalvePlane(region[plane], region_strides[plane], crop_width >> shift, crop_height >> shift,
                 half_planes[plane], half_strides[plane]);
      region[plane] = half_planes[plane];
      region_strides[plane] = half_strides[plane];
    }
    crop_width = half_width;
    crop_height = half_height;
    which = 1 - which;
  }
  return ScaleRegionToPlanes(AV_PIX_FMT_YUV420P, region, region_strides, crop_width, crop_height,
                             planes, plane_strides, destination_width, destination_height,
                             filter);
}

int ScaleLuma(int gain, uint8_t* plane, int width, int stride, int height, int fraction_bits) {
  if (!PlaneArgsOk(plane, width, stride, height) || fraction_bits < 0 || fraction_bits > 16)
    return -1;
  int64_t rounding = fraction_bits > 0 ? int64_t{1} << (fraction_bits - 1) : 0;
  // One table for the 256 possible values.
  std::array<uint8_t, 256> table;
  for (int value = 0; value < 256; ++value) {
    int64_t scaled = (static_cast<int64_t>(value) * gain + rounding) >> fraction_bits;
    table[value] = static_cast<uint8_t>(std::clamp<int64_t>(scaled, 0, 255));
  }
  for (int row = 0; row < height; ++row) {
    uint8_t* line = plane + static_cast<ptrdiff_t>(row) * stride;
    for (int x = 0; x < width; ++x) line[x] = table[line[x]];
  }
  return 0;
}

int OffsetLuma(uint8_t offset, uint8_t* plane, int width, int stride, int height, int reserved) {
  (void)reserved;
  if (!PlaneArgsOk(plane, width, stride, height)) return -1;
  int delta = static_cast<int8_t>(offset);
  for (int row = 0; row < height; ++row) {
    uint8_t* line = plane + static_cast<ptrdiff_t>(row) * stride;
    for (int x = 0; x < width; ++x) line[x] = Saturate(line[x] + delta);
  }
  return 0;
}

int PlanesToRgb24(const uint8_t* const planes[3], const int plane_strides[3], uint8_t* rgb,
                  int rgb_stride, int width, int height) {
  if (planes == nullptr || plane_strides == nullptr || rgb == nullptr || width < 2 ||
      height <= 0 || rgb_stride < 3 * width)
    return -1;
  if (!PlaneArgsOk(planes[0], width, plane_strides[0], height) ||
      !PlaneArgsOk(planes[1], width / 2, plane_strides[1], height) ||
      !PlaneArgsOk(planes[2], width / 2, plane_strides[2], height))
    return -1;
  for (int row = 0; row < height; ++row) {
    const uint8_t* y = planes[0] + static_cast<ptrdiff_t>(row) * plane_strides[0];
    const uint8_t* u = planes[1] + static_cast<ptrdiff_t>(row) * plane_strides[1];
    const uint8_t* v = planes[2] + static_cast<ptrdiff_t>(row) * plane_strides[2];
    uint8_t* out = rgb + static_cast<ptrdiff_t>(row) * rgb_stride;
    for (int x = 0; x < width; ++x) {
      // An odd last pixel shares the chroma of the pixel before it.
      int chroma = std::min(x / 2, width / 2 - 1);
      // Fixed point with 8 fraction bits: 1.164, 1.596, 0.391, 0.813, 2.018.
      int c = 298 * (y[x] - 16);
      int d = u[chroma] - 128;
      int e = v[chroma] - 128;
      out[3 * x] = Saturate((c + 409 * e + 128) >> 8);
      out[3 * x + 1] = Saturate((c - 100 * d - 208 * e + 128) >> 8);
      out[3 * x + 2] = Saturate((c + 516 * d + 128) >> 8);
    }
  }
  return 0;
}

int ReorderChannels(uint8_t* picture, int stride, int width, int height, const int order[3]) {
  if (picture == nullptr || order == nullptr || width <= 0 || height <= 0 || stride < 3 * width)
    return -1;
  for (int i = 0; i < 3; ++i)
    if (order[i] < 0 || order[i] > 2) return -1;
  for (int row = 0; row < height; ++row) {
    uint8_t* pixel = picture + static_cast<ptrdiff_t>(row) * stride;
    for (int x = 0; x < width; ++x, pixel += 3) {
      uint8_t old[3] = {pixel[0], pixel[1], pixel[2]};
      pixel[0] = old[order[0]];
      pixel[1] = old[order[1]];
      pixel[2] = old[order[2]];
    }
  }
  return 0;
}

}  // namespace ovc
