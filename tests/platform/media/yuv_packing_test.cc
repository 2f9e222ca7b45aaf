#include "platform/media/yuv_packing.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

namespace ovc::media {
namespace {

struct I420 {
  I420(int width, int height)
      : width(width), height(height), y_stride(width + 16), c_stride(width / 2 + 8),
        y(static_cast<size_t>(y_stride) * height),
        u(static_cast<size_t>(c_stride) * ((height + 1) / 2)), v(u.size()) {}
  std::vector<uint8_t> Pack() const {
    std::vector<uint8_t> packed(static_cast<size_t>(2 * width) * height, 0);
    PackI420ToYuy2(y.data(), y_stride, u.data(), c_stride, v.data(), c_stride, packed.data(),
                   2 * width, width, height);
    return packed;
  }
  int width, height, y_stride, c_stride;
  std::vector<uint8_t> y, u, v;
};

// Chroma lines 0, 40, 80, ... : each output line mixes its own chroma line
// 3:1 with the neighbour on its side; the first and last lines repeat.
TEST(YuvPackingTest, EachLineMixesItsChromaLineWithTheNeighbourOnItsSide) {
  I420 picture(4, 6);
  for (int row = 0; row < 3; ++row)
    for (int x = 0; x < picture.c_stride; ++x) {
      picture.u[row * picture.c_stride + x] = static_cast<uint8_t>(40 * row);
      picture.v[row * picture.c_stride + x] = static_cast<uint8_t>(200 - 40 * row);
    }
  for (size_t i = 0; i < picture.y.size(); ++i) picture.y[i] = static_cast<uint8_t>(i);
  const std::vector<uint8_t> packed = picture.Pack();
  const int expected_u[6] = {0, 10, 30, 50, 70, 80};
  for (int row = 0; row < 6; ++row) {
    const uint8_t* line = &packed[row * 8];
    EXPECT_EQ(line[1], expected_u[row]) << "row " << row;
    EXPECT_EQ(line[3], 200 - expected_u[row]) << "row " << row;
    EXPECT_EQ(line[0], picture.y[row * picture.y_stride]);
    EXPECT_EQ(line[2], picture.y[row * picture.y_stride + 1]);
    EXPECT_EQ(line[6], picture.y[row * picture.y_stride + 3]);
  }
}

// Against libswscale on a busy picture, widths with and without a vector
// tail, odd height: luma exact, chroma within two steps.
TEST(YuvPackingTest, MatchesLibswscaleWithinTwoSteps) {
  for (const auto& [width, height] : {std::pair{64, 48}, std::pair{722, 481}, std::pair{38, 7}}) {
    I420 picture(width, height);
    srand(7);
    for (auto& b : picture.y) b = static_cast<uint8_t>(rand());
    // Smooth chroma, as real pictures have: a ramp with a little noise.
    for (int row = 0; row < (height + 1) / 2; ++row)
      for (int x = 0; x < width / 2; ++x) {
        picture.u[row * picture.c_stride + x] = static_cast<uint8_t>(16 + row / 2 + x / 8 + rand() % 3);
        picture.v[row * picture.c_stride + x] = static_cast<uint8_t>(240 - row / 2 - x / 4);
      }
    const std::vector<uint8_t> ours = picture.Pack();

    SwsContext* context = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height,
                                         AV_PIX_FMT_YUYV422, SWS_BILINEAR, nullptr, nullptr,
                                         nullptr);
    ASSERT_NE(context, nullptr);
    std::vector<uint8_t> theirs(ours.size());
    const uint8_t* planes[4] = {picture.y.data(), picture.u.data(), picture.v.data(), nullptr};
    const int strides[4] = {picture.y_stride, picture.c_stride, picture.c_stride, 0};
    uint8_t* out[4] = {theirs.data(), nullptr, nullptr, nullptr};
    const int out_strides[4] = {2 * width, 0, 0, 0};
    sws_scale(context, planes, strides, 0, height, out, out_strides);
    sws_freeContext(context);

    for (int row = 0; row < height; ++row)
      for (int i = 0; i < 2 * width; ++i) {
        const size_t at = static_cast<size_t>(row) * 2 * width + i;
        if (i % 2 == 0)
          ASSERT_EQ(ours[at], theirs[at]) << width << "x" << height << " luma row " << row;
        else
          ASSERT_LE(std::abs(ours[at] - theirs[at]), 2)
              << width << "x" << height << " chroma row " << row << " byte " << i;
      }
  }
}

}  // namespace
}  // namespace ovc::media
