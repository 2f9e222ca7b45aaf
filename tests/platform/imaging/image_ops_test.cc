#include "platform/imaging/image_ops.h"
#include "platform/imaging/plane_halving.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <vector>

namespace ovc {
namespace {

// Three planes of a 4:2:2 picture, each with the same stride (the picture's
// width, as the capture keeps them).
struct Planes {
  Planes(int height, int stride)
      : y(static_cast<size_t>(stride) * height), u(y.size()), v(y.size()), stride(stride) {}
  uint8_t* const* pointers() {
    table[0] = y.data();
    table[1] = u.data();
    table[2] = v.data();
    return table;
  }
  const int* strides() {
    strides_[0] = strides_[1] = strides_[2] = stride;
    return strides_;
  }
  std::vector<uint8_t> y, u, v;
  int stride;
  uint8_t* table[3] = {};
  int strides_[3] = {};
};

TEST(ImageOpsTest, SplitAndJoinKeepEveryByteOfAYuy2Picture) {
  const int width = 4, height = 2;
  std::vector<uint8_t> packed = {10, 20, 11, 30, 12, 21, 13, 31,   // row 0
                                 40, 50, 41, 60, 42, 51, 43, 61};  // row 1
  Planes planes(height, width);
  ASSERT_EQ(SplitYuy2ToPlanes(packed.data(), 2 * width, planes.pointers(), planes.strides(),
                              width, height),
            0);
  EXPECT_EQ(planes.y, (std::vector<uint8_t>{10, 11, 12, 13, 40, 41, 42, 43}));
  EXPECT_EQ(planes.u[0], 20);
  EXPECT_EQ(planes.u[1], 21);
  EXPECT_EQ(planes.u[4], 50);
  EXPECT_EQ(planes.v[1], 31);
  EXPECT_EQ(planes.v[5], 61);

  std::vector<uint8_t> joined(packed.size(), 0);
  const uint8_t* const* in = planes.pointers();
  ASSERT_EQ(JoinPlanesToYuy2(in, planes.strides(), joined.data(), 2 * width, width, height), 0);
  EXPECT_EQ(joined, packed);
}

TEST(ImageOpsTest, JoinLeavesBytesBeyondTheLineAlone) {
  const int width = 2, height = 2, packed_stride = 6;
  Planes planes(height, width);
  planes.y = {1, 2, 3, 4};
  planes.u = {5, 0, 6, 0};
  planes.v = {7, 0, 8, 0};
  std::vector<uint8_t> packed(packed_stride * height, 0xEE);
  ASSERT_EQ(JoinPlanesToYuy2(planes.pointers(), planes.strides(), packed.data(), packed_stride,
                             width, height),
            0);
  EXPECT_EQ(packed, (std::vector<uint8_t>{1, 5, 2, 7, 0xEE, 0xEE, 3, 6, 4, 8, 0xEE, 0xEE}));
  // An odd width cannot be packed.
  EXPECT_EQ(JoinPlanesToYuy2(planes.pointers(), planes.strides(), packed.data(), packed_stride, 3,
                             height),
            -1);
}

TEST(ImageOpsTest, CropWithoutScalingCopiesTheRegion) {
  const int width = 6, height = 4;
  std::vector<uint8_t> source(width * height);
  for (int i = 0; i < width * height; ++i) source[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> destination(3 * 2, 0);
  ASSERT_EQ(CropScalePlane(source.data(), width, height, width, 2, 1, 3, 2, destination.data(), 3,
                           3, 2, 1.0, 1.0, kScaleBicubic),
            0);
  EXPECT_EQ(destination, (std::vector<uint8_t>{8, 9, 10, 14, 15, 16}));
}

TEST(ImageOpsTest, ScalingARampGivesARamp) {
  const int width = 64, height = 16, out_width = 40, out_height = 10;
  std::vector<uint8_t> source(width * height);
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < width; ++x) source[row * width + x] = static_cast<uint8_t>(x * 4);
  std::vector<uint8_t> destination(out_width * out_height, 0);
  ASSERT_EQ(CropScalePlane(source.data(), width, height, width, 0, 0, width, height,
                           destination.data(), out_width, out_width, out_height,
                           double(out_width) / width, double(out_height) / height,
                           kScaleBicubic),
            0);
  for (int row = 0; row < out_height; ++row) {
    const uint8_t* line = &destination[row * out_width];
    // Every row is the same ramp, rising from near 0 to near 252.
    EXPECT_LE(line[0], 8);
    EXPECT_GE(line[out_width - 1], 240);
    for (int x = 1; x < out_width; ++x) {
      EXPECT_GT(line[x], line[x - 1]) << "row " << row << " x " << x;
      EXPECT_EQ(line[x], destination[x]);
    }
  }
}

TEST(ImageOpsTest, ScalingAFlatPlaneKeepsItsValue) {
  const int width = 48, height = 30;
  std::vector<uint8_t> source(width * height, 123);
  std::vector<uint8_t> destination(20 * 14, 0);
  ASSERT_EQ(CropScalePlane(source.data(), width, height, width, 4, 2, 40, 26, destination.data(),
                           20, 20, 14, 0.5, 14.0 / 26, kScaleBicubic),
            0);
  for (uint8_t value : destination) ASSERT_EQ(value, 123);
}

TEST(ImageOpsTest, CropScaleRefusesARegionOutsideTheSource) {
  std::vector<uint8_t> source(16 * 16, 1);
  std::vector<uint8_t> destination(8 * 8, 7);
  EXPECT_EQ(CropScalePlane(source.data(), 16, 16, 16, 10, 0, 8, 16, destination.data(), 8, 8, 8,
                           1.0, 0.5, kScaleBicubic),
            -1);
  EXPECT_EQ(CropScalePlane(source.data(), 16, 16, 16, 0, 0, 0, 16, destination.data(), 8, 8, 8,
                           1.0, 0.5, kScaleBicubic),
            -1);
  EXPECT_EQ(CropScalePlane(source.data(), 16, 16, 16, 0, 0, 16, 16, destination.data(), 8, 8, 8,
                           0.5, 0.5, 9),
            -1);
  for (uint8_t value : destination) ASSERT_EQ(value, 7);
}

// Every pixel of 4:2:0 planes (lines `width` apart) has the colour Y, U, V.
void ExpectFlat(const Planes& planes, int width, int height, int y, int u, int v) {
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) ASSERT_EQ(planes.y[row * width + x], y) << row << "," << x;
    if (row >= (height + 1) / 2) continue;
    for (int x = 0; x < width / 2; ++x) {
      ASSERT_EQ(planes.u[row * width + x], u) << row << "," << x;
      ASSERT_EQ(planes.v[row * width + x], v) << row << "," << x;
    }
  }
}

// A packed picture whose left half is one colour and right half another;
// the crop takes the right half only, so every output pixel has its colour.
TEST(ImageOpsTest, PackedCropScaleTakesOnlyTheRegionAndKeepsEachPlane) {
  const int width = 64, height = 40, stride = 2 * width + 8;
  std::vector<uint8_t> packed(static_cast<size_t>(stride) * height, 0);
  for (int row = 0; row < height; ++row)
    for (int pair = 0; pair < width / 2; ++pair) {
      const bool right = pair >= width / 4;
      uint8_t* p = &packed[row * stride + 4 * pair];
      p[0] = p[2] = right ? 200 : 30;  // Y
      p[1] = right ? 90 : 160;         // U
      p[3] = right ? 60 : 240;         // V
    }
  const int out_width = 20, out_height = 14;
  Planes planes(out_height, out_width);
  ASSERT_EQ(CropScaleYuy2ToI420(packed.data(), width, height, stride, width / 2, 4, width / 2,
                                height - 8, planes.pointers(), planes.strides(), out_width,
                                out_height, kScaleBicubic),
            0);
  ExpectFlat(planes, out_width, out_height, 200, 90, 60);

  // The whole picture: the left output pixels are the left colour.
  ASSERT_EQ(CropScaleYuy2ToI420(packed.data(), width, height, stride, 0, 0, width, height,
                                planes.pointers(), planes.strides(), out_width, out_height,
                                kScaleBicubic),
            0);
  EXPECT_EQ(planes.y[0], 30);
  EXPECT_EQ(planes.u[0], 160);
  EXPECT_EQ(planes.y[out_width - 1], 200);
  EXPECT_EQ(planes.v[out_width / 2 - 1], 60);
}

// The same picture as 4:2:0 planes (with strides wider than a line).
TEST(ImageOpsTest, PlanarCropScaleTakesOnlyTheRegionAndKeepsEachPlane) {
  const int width = 64, height = 40, y_stride = width + 8, c_stride = width / 2 + 4;
  std::vector<uint8_t> y(static_cast<size_t>(y_stride) * height);
  std::vector<uint8_t> u(static_cast<size_t>(c_stride) * height / 2), v(u.size());
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < width; ++x) y[row * y_stride + x] = x >= width / 2 ? 200 : 30;
  for (int row = 0; row < height / 2; ++row)
    for (int x = 0; x < width / 2; ++x) {
      u[row * c_stride + x] = x >= width / 4 ? 90 : 160;
      v[row * c_stride + x] = x >= width / 4 ? 60 : 240;
    }
  const uint8_t* source[3] = {y.data(), u.data(), v.data()};
  const int strides[3] = {y_stride, c_stride, c_stride};
  const int out_width = 20, out_height = 14;
  Planes planes(out_height, out_width);
  ASSERT_EQ(CropScaleI420ToI420(source, strides, width, height, width / 2, 4, width / 2,
                                height - 8, planes.pointers(), planes.strides(), out_width,
                                out_height, kScaleBicubic),
            0);
  ExpectFlat(planes, out_width, out_height, 200, 90, 60);
  // A region starting between two chroma lines, or outside, is refused.
  EXPECT_EQ(CropScaleI420ToI420(source, strides, width, height, 0, 3, width, 10,
                                planes.pointers(), planes.strides(), out_width, out_height,
                                kScaleBicubic),
            -1);
  EXPECT_EQ(CropScaleI420ToI420(source, strides, width, height, 0, 2, width, height,
                                planes.pointers(), planes.strides(), out_width, out_height,
                                kScaleBicubic),
            -1);
}

TEST(ImageOpsTest, PackedCropScaleRefusesRegionsOffThePixelPairsOrOutside) {
  std::vector<uint8_t> packed(2 * 16 * 16, 1);
  Planes planes(8, 8);
  auto scale = [&](int x, int y, int w, int h, int out_width) {
    return CropScaleYuy2ToI420(packed.data(), 16, 16, 32, x, y, w, h, planes.pointers(),
                               planes.strides(), out_width, 8, kScaleBicubic);
  };
  EXPECT_EQ(scale(1, 0, 8, 16, 8), -1);   // starts inside a pixel pair
  EXPECT_EQ(scale(0, 0, 9, 16, 8), -1);   // ends inside one
  EXPECT_EQ(scale(10, 0, 8, 16, 8), -1);  // beyond the right edge
  EXPECT_EQ(scale(0, 4, 16, 16, 8), -1);  // beyond the bottom
  EXPECT_EQ(scale(0, 0, 16, 16, 7), -1);  // odd output width
  for (uint8_t value : planes.y) ASSERT_EQ(value, 0);
  EXPECT_EQ(scale(0, 0, 16, 16, 8), 0);
}

struct LumaCase {
  const char* name;
  bool gain;       // ScaleLuma, else OffsetLuma
  int amount;      // gain × 128, or the offset byte
  uint8_t input;
  uint8_t expected;
};
void PrintTo(const LumaCase& c, std::ostream* os) { *os << c.name; }

class LumaTest : public testing::TestWithParam<LumaCase> {};

TEST_P(LumaTest, ChangesEveryPixelOfTheLineAndNothingBeyond) {
  const LumaCase& c = GetParam();
  const int width = 3, stride = 4, height = 2;
  std::vector<uint8_t> plane(stride * height, c.input);
  plane[3] = plane[7] = 0xAB;  // beyond the width
  int result = c.gain ? ScaleLuma(c.amount, plane.data(), width, stride, height, 7)
                      : OffsetLuma(static_cast<uint8_t>(c.amount), plane.data(), width, stride,
                                   height, 0);
  ASSERT_EQ(result, 0);
  for (int i : {0, 1, 2, 4, 5, 6}) EXPECT_EQ(plane[i], c.expected) << i;
  EXPECT_EQ(plane[3], 0xAB);
  EXPECT_EQ(plane[7], 0xAB);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LumaTest,
    testing::Values(LumaCase{"GainOneIsNeutral", true, 128, 77, 77},
                    // 100 × 143 / 128 = 111.7
                    LumaCase{"GainRoundsToNearest", true, 143, 100, 112},
                    LumaCase{"GainSaturatesAtWhite", true, 174, 200, 255},
                    LumaCase{"GainHalves", true, 64, 201, 101},
                    LumaCase{"NegativeGainIsBlack", true, -5, 90, 0},
                    LumaCase{"OffsetAdds", false, 35, 100, 135},
                    LumaCase{"OffsetSaturatesAtWhite", false, 35, 230, 255},
                    LumaCase{"NegativeOffsetByteSubtracts", false, 0xF6, 100, 90},
                    LumaCase{"NegativeOffsetSaturatesAtBlack", false, 0xF6, 5, 0}),
    [](const testing::TestParamInfo<LumaCase>& info) { return std::string(info.param.name); });

struct ColourCase {
  const char* name;
  uint8_t y, u, v;
  uint8_t r, g, b;
};
void PrintTo(const ColourCase& c, std::ostream* os) { *os << c.name; }

class ColourTest : public testing::TestWithParam<ColourCase> {};

TEST_P(ColourTest, ConvertsWithBt601VideoRange) {
  const ColourCase& c = GetParam();
  const int width = 2, height = 1;
  Planes planes(height, width);
  planes.y = {c.y, c.y};
  planes.u = {c.u, 0};
  planes.v = {c.v, 0};
  std::vector<uint8_t> rgb(6, 0);
  ASSERT_EQ(PlanesToRgb24(planes.pointers(), planes.strides(), rgb.data(), 3 * width, width,
                          height),
            0);
  EXPECT_EQ(rgb, (std::vector<uint8_t>{c.r, c.g, c.b, c.r, c.g, c.b}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ColourTest,
    testing::Values(ColourCase{"Black", 16, 128, 128, 0, 0, 0},
                    ColourCase{"White", 235, 128, 128, 255, 255, 255},
                    ColourCase{"MidGrey", 128, 128, 128, 130, 130, 130},
                    ColourCase{"Red", 81, 90, 240, 255, 0, 0},
                    ColourCase{"Blue", 41, 240, 110, 0, 0, 255}),
    [](const testing::TestParamInfo<ColourCase>& info) { return std::string(info.param.name); });

TEST(ImageOpsTest, ReorderSwapsRedAndBlueInPlace) {
  std::vector<uint8_t> picture = {1, 2, 3, 4, 5, 6, 9, 9,  // two pixels, two bytes of padding
                                  7, 8, 9, 10, 11, 12, 9, 9};
  const int order[3] = {2, 1, 0};
  ASSERT_EQ(ReorderChannels(picture.data(), 8, 2, 2, order), 0);
  EXPECT_EQ(picture, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4, 9, 9, 9, 8, 7, 12, 11, 10, 9, 9}));
  const int bad[3] = {0, 1, 3};
  EXPECT_EQ(ReorderChannels(picture.data(), 8, 2, 2, bad), -1);
}

TEST(ImageOpsTest, HalvingTakesTheRoundedMeanOfEachBlockAtEveryWidth) {
  // Widths around the 16-sample vector step, so both the vector loop and
  // the tail are checked against the plain formula.
  for (int width : {2, 30, 32, 34, 64, 98}) {
    const int height = 6, stride = width + 5;
    std::vector<uint8_t> source(static_cast<size_t>(stride) * height);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 37 + i / 7);
    std::vector<uint8_t> half(static_cast<size_t>(width / 2) * (height / 2), 0);
    HalvePlane(source.data(), stride, width, height, half.data(), width / 2);
    for (int y = 0; y < height / 2; ++y)
      for (int x = 0; x < width / 2; ++x) {
        const uint8_t* top = &source[static_cast<size_t>(2 * y) * stride + 2 * x];
        const int mean = (top[0] + top[1] + top[stride] + top[stride + 1] + 2) / 4;
        ASSERT_EQ(half[static_cast<size_t>(y) * (width / 2) + x], mean)
            << "width " << width << " at " << x << "," << y;
      }
  }
}

TEST(ImageOpsTest, ShrinkingByMoreThanThreeKeepsThePictureWhereOneStepPutsIt) {
  // A 1280x720 wave shrunk to 368x208 goes through a halved picture; a
  // shift of half an output pixel would move the wave by about 16 levels.
  const int width = 1280, height = 720, out_width = 368, out_height = 208;
  std::vector<uint8_t> luma(static_cast<size_t>(width) * height);
  std::vector<uint8_t> chroma(static_cast<size_t>(width / 2) * (height / 2));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      luma[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(
          128 + 50 * std::sin(x * 2 * M_PI / 64) + 50 * std::cos(y * 2 * M_PI / 48));
  for (size_t i = 0; i < chroma.size(); ++i)
    chroma[i] = luma[(i / (width / 2)) * 2 * width + (i % (width / 2)) * 2];
  const uint8_t* source[3] = {luma.data(), chroma.data(), chroma.data()};
  const int strides[3] = {width, width / 2, width / 2};
  Planes through_half((out_height + 1) / 2 * 2, out_width);
  ASSERT_EQ(CropScaleI420ToI420(source, strides, width, height, 0, 0, width, height,
                                through_half.pointers(), through_half.strides(), out_width,
                                out_height, kScaleBicubic),
            0);
  // The reference: the luma scaled in one step (a single plane is never
  // halved).
  std::vector<uint8_t> one_step(static_cast<size_t>(out_width) * out_height);
  ASSERT_EQ(CropScalePlane(luma.data(), width, height, width, 0, 0, width, height,
                           one_step.data(), out_width, out_width, out_height, 1, 1, kScaleBicubic),
            0);
  int worst = 0;
  for (size_t at = 0; at < one_step.size(); ++at)
    worst = std::max(worst, std::abs(through_half.y[at] - one_step[at]));
  EXPECT_LE(worst, 2);
}

}  // namespace
}  // namespace ovc
