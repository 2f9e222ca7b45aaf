// Where a picture that keeps its shape lies in the output frame.

#include "engine/playback/picture_fit.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace ovc {
namespace {

struct FitCase {
  const char* name;
  double picture_aspect;
  int frame_width;
  int frame_height;
  double pixel_aspect;
  PictureArea expected;
};
void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

const FitCase kFits[] = {
    // A 3:2 picture in the PSP's 16:9 frame: bars at the sides.
    {"3:2 in 368x208", 1.5, 368, 208, 1.0, {28, 0, 312, 208}},
    {"4:3 in 368x208", 4.0 / 3, 368, 208, 1.0, {44, 0, 278, 208}},
    // Anamorphic DVD announces 16:9 and fills the PSP's frame.
    {"16:9 in 368x208", 16.0 / 9, 368, 208, 1.0, {0, 0, 368, 208}},
    {"2.35:1 in 320x240", 2.35, 320, 240, 1.0, {0, 52, 320, 136}},
    {"2.35:1 in 400x192", 2.35, 400, 192, 1.0, {0, 10, 400, 170}},
    // A phone's 176x144 frame is shown as 4:3 (12:11 pixels).
    {"16:9 in 176x144 of 12:11", 16.0 / 9, 176, 144, 12.0 / 11, {0, 18, 176, 108}},
    {"4:3 in 176x144 of 12:11", 4.0 / 3, 176, 144, 12.0 / 11, {0, 0, 176, 144}},
    {"4:3 in square 176x144", 4.0 / 3, 176, 144, 1.0, {0, 6, 176, 132}},
    // Upright phone video in a landscape device frame.
    {"9:16 in 320x240", 9.0 / 16, 320, 240, 1.0, {92, 0, 136, 240}},
    {"9:16 in 368x208", 9.0 / 16, 368, 208, 1.0, {124, 0, 118, 208}},
    // Within 2 %: filled rather than framed by a line or two.
    {"1.355 in 320x240", 1.355, 320, 240, 1.0, {0, 0, 320, 240}},
    {"1.31 in 320x240", 1.31, 320, 240, 1.0, {0, 0, 320, 240}},
    {"just over 2 % wider", 4.0 / 3 * 1.021, 320, 240, 1.0, {0, 2, 320, 236}},
    // Nothing known about the picture: the frame as it is.
    {"unknown aspect", 0.0, 320, 240, 1.0, {0, 0, 320, 240}},
    {"negative aspect", -1.5, 320, 240, 1.0, {0, 0, 320, 240}},
    {"no aspect", std::numeric_limits<double>::quiet_NaN(), 320, 240, 1.0, {0, 0, 320, 240}},
    // A sliver of a picture still gets a pixel pair.
    {"100:1 in 320x240", 100.0, 320, 240, 1.0, {0, 118, 320, 4}},
    {"1:1000 in 320x240", 0.001, 320, 240, 1.0, {158, 0, 2, 240}},
    // No room for bars in a frame of one line.
    {"16:9 in 2x1", 16.0 / 9, 2, 1, 1.0, {0, 0, 2, 1}},
};

class FitPictureTest : public testing::TestWithParam<FitCase> {};

TEST_P(FitPictureTest, KeepsTheShapeInACentredEvenArea) {
  const FitCase& c = GetParam();
  const PictureArea area = FitPicture(c.picture_aspect, c.frame_width, c.frame_height,
                                      c.pixel_aspect);
  EXPECT_EQ(area.x, c.expected.x);
  EXPECT_EQ(area.y, c.expected.y);
  EXPECT_EQ(area.width, c.expected.width);
  EXPECT_EQ(area.height, c.expected.height);
  // Centred, within the frame; bars leave the picture on pixel pairs.
  if (!(area == PictureArea{0, 0, c.frame_width, c.frame_height}))
    EXPECT_EQ(area.x % 2 + area.y % 2 + area.width % 2 + area.height % 2, 0);
  EXPECT_LE(area.x + area.width, c.frame_width);
  EXPECT_LE(area.y + area.height, c.frame_height);
  EXPECT_LE(std::abs((c.frame_width - area.width) - 2 * area.x), 2);
  EXPECT_LE(std::abs((c.frame_height - area.height) - 2 * area.y), 2);
}

INSTANTIATE_TEST_SUITE_P(Shapes, FitPictureTest, testing::ValuesIn(kFits));

}  // namespace
}  // namespace ovc
