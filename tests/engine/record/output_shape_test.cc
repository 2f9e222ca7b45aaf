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

}  // namespace
}  // namespace ovc
