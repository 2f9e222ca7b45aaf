#include "ui/main/video_layout.h"

#include <gtest/gtest.h>

#include <ostream>

namespace ovc {
namespace {

CropRect Crop(double left, double top, double bottom, double right) {
  CropRect crop;
  crop.left = left;
  crop.top = top;
  crop.bottom = bottom;
  crop.right = right;
  return crop;
}

struct FactorCase {
  const char* name;
  bool auto_stretch;
  int output_width, source_width, source_height;
  CropRect crop;
  double factor;
};
void PrintTo(const FactorCase& c, std::ostream* os) { *os << c.name; }

class DisplayAspectFactorTest : public testing::TestWithParam<FactorCase> {};

TEST_P(DisplayAspectFactorTest, Factor) {
  const FactorCase& c = GetParam();
  EXPECT_DOUBLE_EQ(
      DisplayAspectFactor(c.auto_stretch, c.output_width, c.source_width, c.source_height, c.crop),
      c.factor);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, DisplayAspectFactorTest,
    testing::Values(
        // a = 240, l = 256: the reciprocal rule.
        FactorCase{"Pal720x576", true, 320, 720, 576, CropRect{}, 100.0 / 107},
        FactorCase{"AutoStretchOff", false, 320, 720, 576, CropRect{}, 1.0},
        FactorCase{"FourThree", true, 320, 640, 480, CropRect{}, 100 * 0.01},
        // k = 180, l = 192 <= 240: rounded to two decimals.
        FactorCase{"Wide1280x720", true, 320, 1280, 720, CropRect{}, 133 * 0.01},
        // Cropped to 576 x 576: aspect 1.
        FactorCase{"CroppedToSquare", true, 320, 720, 576, Crop(0.1, 0, 1, 0.9), 100.0 / 133},
        FactorCase{"NoSourceYet", true, 320, 0, 0, CropRect{}, 1.0},
        FactorCase{"EmptyCrop", true, 320, 720, 576, Crop(0.5, 0, 1, 0.5), 1.0}),
    testing::PrintToStringParamName());

struct PlacementCase {
  const char* name;
  int rect_width, rect_height, source_width, source_height;
  double factor;
  CropRect crop;
  int left, top, width, height;
};
void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }

class PlaceLiveVideoTest : public testing::TestWithParam<PlacementCase> {};

// The picture always lies wholly inside the panel at its shown aspect.
TEST_P(PlaceLiveVideoTest, Placement) {
  const PlacementCase& c = GetParam();
  const VideoPlacement p = PlaceLiveVideo(c.rect_width, c.rect_height, c.source_width,
                                          c.source_height, c.factor, c.crop);
  EXPECT_EQ(p.left, c.left);
  EXPECT_EQ(p.top, c.top);
  EXPECT_EQ(p.width, c.width);
  EXPECT_EQ(p.height, c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Panels, PlaceLiveVideoTest,
    testing::Values(
        PlacementCase{"Pal720x576Stretched", 320, 240, 720, 576, 100.0 / 107, CropRect{}, 0, 0,
                      320, 239},
        // Wider than the panel: bars above and below.
        PlacementCase{"WideCentred", 320, 200, 800, 400, 1.0, CropRect{}, 0, 20, 320, 160},
        // Taller than the panel: full height, bars left and right.
        PlacementCase{"TallPillarboxed", 320, 120, 800, 400, 1.0, CropRect{}, 40, 0, 240, 120},
        // A crop changes what is converted, not how the picture is shown.
        PlacementCase{"CroppedStillWhole", 320, 120, 800, 400, 1.0, Crop(0, 0.5, 1, 1), 40, 0,
                      240, 120},
        // 4:3 in a maximised 16:9 panel; 16:9 in the start-up 4:3 panel.
        PlacementCase{"FourThreeInWidePanel", 1598, 858, 640, 480, 1.0, CropRect{}, 227, 0, 1144,
                      858},
        PlacementCase{"SixteenNineInFourThreePanel", 592, 444, 1280, 720, 1.0, CropRect{}, 0, 55,
                      592, 333},
        PlacementCase{"NoSourceFillsThePanel", 320, 240, 0, 0, 1.0, CropRect{}, 0, 0, 320, 240}),
    testing::PrintToStringParamName());

TEST(LiveVideoHeight, FollowsTheShownAspect) {
  EXPECT_EQ(LiveVideoHeight(320, 240, 1.25, 100.0 / 107), 239);
  EXPECT_EQ(LiveVideoHeight(320, 240, 2.0, 1.0), 160);
  EXPECT_EQ(LiveVideoHeight(320, 240, 0, 1.0), 240);
}

}  // namespace
}  // namespace ovc
