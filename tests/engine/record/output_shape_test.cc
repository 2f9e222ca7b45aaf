// The pixel shape an output declares and the aspect it gives the picture.

#include "engine/record/output_shape.h"

#include <gtest/gtest.h>

namespace ovc {
namespace {

struct PixelCase {
  const char* name;
  int format;
  int width;
  int height;
  int aspect_x;  // the source's display aspect
  int aspect_y;
  PixelAspect expected;
};
void PrintTo(const PixelCase& c, std::ostream* os) { *os << c.name; }

const PixelCase kPixels[] = {
    {"3GP QCIF", kFormat3gp, 176, 144, 16, 9, {12, 11}},
    {"3GP CIF", kFormat3gp, 352, 288, 4, 3, {12, 11}},
    {"3GP sub-QCIF is 4:3 already", kFormat3gp, 128, 96, 16, 9, {1, 1}},
    {"3GP of the size rule", kFormat3gp, 176, 112, 16, 9, {1, 1}},
    {"PSP", kFormatMp4, 368, 208, 3, 2, {1, 1}},
    {"MP4 QCIF is square", kFormatMp4, 176, 144, 4, 3, {1, 1}},
    {"AVI", kFormatFfmpegAvi, 640, 480, 16, 9, {1, 1}},
    // Windows Media shows the frame at the source's aspect.
    {"WMV of a 16:9 source", kFormatWmv, 320, 240, 16, 9, {4, 3}},
    {"WMV of anamorphic DVD", kFormatWmv, 720, 576, 16, 9, {64, 45}},
    {"WMV without a source aspect", kFormatWmv, 320, 240, 0, 0, {1, 1}},
    {"no frame", kFormat3gp, 0, 0, 4, 3, {1, 1}},
};

class OutputPixelAspectTest : public testing::TestWithParam<PixelCase> {};

TEST_P(OutputPixelAspectTest, MatchesTheScreenTheFrameIsMadeFor) {
  const PixelCase& c = GetParam();
  OutputConfig output;
  output.format = c.format;
  output.width = c.width;
  output.height = c.height;
  output.aspect_x = c.aspect_x;
  output.aspect_y = c.aspect_y;
  const PixelAspect pixel = OutputPixelAspect(output);
  EXPECT_EQ(pixel.num, c.expected.num);
  EXPECT_EQ(pixel.den, c.expected.den);
}

INSTANTIATE_TEST_SUITE_P(Outputs, OutputPixelAspectTest, testing::ValuesIn(kPixels));

struct AspectCase {
  const char* name;
  double source;
  int vc_aspect;
  bool psp_profile;
  double expected;
};
void PrintTo(const AspectCase& c, std::ostream* os) { *os << c.name; }

const AspectCase kAspects[] = {
    {"kept", 16.0 / 9, 0, false, 16.0 / 9},
    {"16:9 stretched to 4:3", 16.0 / 9, 1, false, 4.0 / 3},
    {"2.35:1 narrowed by a quarter", 2.35, 1, false, 2.35 * 0.75},
    {"other choices make 2.35:1 4:3", 2.35, 2, false, 4.0 / 3},
    {"the PSP keeps the shape", 16.0 / 9, 1, true, 16.0 / 9},
    // Only widescreen is stretched: narrower pictures keep their shape.
    {"4:3 kept", 4.0 / 3, 1, false, 4.0 / 3},
    {"upright phone video kept", 9.0 / 16, 1, false, 9.0 / 16},
    {"unknown stays unknown", 0.0, 1, false, 0.0},
};

class OutputPictureAspectTest : public testing::TestWithParam<AspectCase> {};

TEST_P(OutputPictureAspectTest, FollowsTheUsersAspectChoice) {
  const AspectCase& c = GetParam();
  OutputConfig output;
  output.vc_aspect = c.vc_aspect;
  output.psp_profile = c.psp_profile;
  // Whatever flavour of MP4 a profile without a device last left behind.
  output.device_kind = kDevicePsp;
  EXPECT_DOUBLE_EQ(OutputPictureAspect(c.source, output), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Choices, OutputPictureAspectTest, testing::ValuesIn(kAspects));

struct ShownCase {
  const char* name;
  int aspect_x;
  int aspect_y;
  int vc_aspect;
  int shown_x;
  int shown_y;
  PixelAspect pixel;  // of a 320x240 frame
};
void PrintTo(const ShownCase& c, std::ostream* os) { *os << c.name; }

const ShownCase kShown[] = {
    {"16:9 kept", 16, 9, 0, 16, 9, {4, 3}},
    {"16:9 stretched", 16, 9, 1, 4, 3, {1, 1}},
    {"2.35:1 narrowed", 47, 20, 1, 141, 80, {423, 320}},
    {"4:3 kept under the choice", 4, 3, 1, 4, 3, {1, 1}},
    {"unknown", 0, 0, 1, 0, 0, {1, 1}},
    {"upright phone video", 9, 16, 0, 0, 0, {1, 1}},
};

class ShownAspectPairTest : public testing::TestWithParam<ShownCase> {};

// A Windows Media file declares the shape the user chose.
TEST_P(ShownAspectPairTest, FollowsTheChoiceInWindowsMedia) {
  const ShownCase& c = GetParam();
  OutputConfig output;
  output.format = kFormatWmv;
  output.device_kind = kDevicePsp;
  output.width = 320;
  output.height = 240;
  output.aspect_x = c.aspect_x;
  output.aspect_y = c.aspect_y;
  output.vc_aspect = c.vc_aspect;
  int x = -1;
  int y = -1;
  ShownAspectPair(output, &x, &y);
  EXPECT_EQ(x, c.shown_x);
  EXPECT_EQ(y, c.shown_y);
  const PixelAspect pixel = OutputPixelAspect(output);
  EXPECT_EQ(pixel.num, c.pixel.num);
  EXPECT_EQ(pixel.den, c.pixel.den);
}

INSTANTIATE_TEST_SUITE_P(Choices, ShownAspectPairTest, testing::ValuesIn(kShown));

struct FitCase {
  const char* name;
  int source_width;
  int source_height;
  double display_aspect;  // 0: square pixels
  int box_width;          // 0: no box
  int box_height;
  FrameSize expected;
};
void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

const FitCase kFits[] = {
    {"16:9 into its own box", 1920, 1080, 0, 1280, 720, {1280, 720}},
    {"4:3 is narrower than the box", 1440, 1080, 0, 1280, 720, {960, 720}},
    {"upright takes the box turned", 1080, 1920, 0, 1280, 720, {720, 1280}},
    {"upright in an upright box", 1080, 1920, 0, 720, 1280, {720, 1280}},
    {"smaller than the box is never enlarged", 640, 360, 0, 1920, 1080, {640, 360}},
    {"odd sides become even", 853, 481, 0, 1920, 1080, {852, 480}},
    {"odd result of the fit", 1920, 1080, 0, 854, 480, {854, 480}},
    {"anamorphic DVD keeps its lines", 720, 576, 16.0 / 9, 1920, 1080, {1024, 576}},
    {"anamorphic into a small box", 720, 576, 16.0 / 9, 640, 360, {640, 360}},
    {"very wide", 3840, 1080, 0, 1920, 1080, {1920, 540}},
    {"4K into 1080p", 3840, 2160, 0, 1920, 1080, {1920, 1080}},
    {"no box: the source's own", 1281, 721, 0, 0, 0, {1280, 720}},
    {"unknown source", 0, 0, 0, 1280, 720, {0, 0}},
};

class FittedFrameSizeTest : public testing::TestWithParam<FitCase> {};

TEST_P(FittedFrameSizeTest, KeepsTheShapeInsideTheBoxWithoutEnlarging) {
  const FitCase& c = GetParam();
  EXPECT_EQ(FittedFrameSize(c.source_width, c.source_height, c.display_aspect, c.box_width,
                            c.box_height),
            c.expected);
}

INSTANTIATE_TEST_SUITE_P(Sources, FittedFrameSizeTest, testing::ValuesIn(kFits));

TEST(FollowedFrameRate, KeepsTheSourcesRateOrAnEvenFractionWithinTheCeiling) {
  const struct {
    double source;
    double ceiling;
    double expected;
  } kRates[] = {
      {25, 60, 25},       {29.97, 60, 29.97}, {59.94, 60, 59.94}, {60, 60, 60},
      {120, 60, 60},      {100, 60, 50},      {60, 30, 30},       {50, 30, 25},
      {59.94, 30, 29.97}, {90, 60, 45},       {30, 30, 30},       {0, 60, 60},
      {24, 0, 24},        {30, 25, 25},       {29.97, 24, 24},    {60, 25, 20},
      {5, 60, 5},         {0.5, 60, 1},       {0.3, 60, 1.2},
  };
  for (const auto& c : kRates)
    EXPECT_NEAR(FollowedFrameRate(c.source, c.ceiling), c.expected, 1e-9)
        << c.source << " under " << c.ceiling;
}

}  // namespace
}  // namespace ovc
