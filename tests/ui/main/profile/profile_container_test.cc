#include "ui/main/profile_container.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "engine/record/profile.h"
#include "ui/main/profile_panel_cells.h"

namespace ovc {
namespace {

struct SizeCase {
  const char* name;
  const char* s;
  const char* vcodec;
  const char* device;
  bool psp_sizes;
  int source_width;
  int source_height;
  int vc_aspect;
  const char* expected;  // nullptr: the size stays
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }

class DerivedFrameSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(DerivedFrameSizeTest, FollowsTheSourceAspect) {
  const SizeCase& c = GetParam();
  CProfile profile;
  profile.s = c.s;
  profile.vcodec = c.vcodec;
  profile.device = c.device;
  std::optional<std::string> size =
      DerivedFrameSize(profile, c.psp_sizes, c.source_width, c.source_height, c.vc_aspect);
  if (!c.expected) {
    EXPECT_FALSE(size.has_value()) << *size;
  } else {
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(*size, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DerivedFrameSizeTest,
    testing::Values(
        // 320 / 1.7778 / 16 = 11.25, up to 12 sixteens.
        SizeCase{"Wide16x9", "320x240", "mpeg4", "", false, 720, 405, 0, "320x192"},
        SizeCase{"VcAspectOneBelow1_9IsFourThirds", "320x240", "mpeg4", "", false, 720, 405, 1,
                 "320x240"},
        SizeCase{"VcAspectOneWideTakesThreeQuarters", "320x240", "mpeg4", "", false, 940, 400, 1,
                 "320x192"},
        SizeCase{"VcAspectTwoIsFourThirds", "640x480", "xvid", "", false, 1920, 800, 2,
                 "640x480"},
        SizeCase{"VcAspectIgnoredForPspDevice", "320x240", "mpeg4", "PSP", false, 720, 405, 1,
                 "320x192"},
        SizeCase{"NarrowSourceIsFourThirds", "352x288", "mpeg4", "", false, 720, 576, 0,
                 "352x272"},
        SizeCase{"ExactFourThirdsNotRoundedUp", "320x240", "mpeg4", "", false, 640, 480, 0,
                 "320x240"},
        SizeCase{"PspOnScope", "320x240", "mpeg4", "PSP", true, 940, 400, 0, "400x192"},
        SizeCase{"PspOn16x9", "320x240", "h264", "PSP", true, 720, 405, 0, "368x208"},
        SizeCase{"PspOn4x3", "480x272", "mpeg4", "PSP", true, 640, 480, 0, "320x240"},
        SizeCase{"H263Untouched", "176x144", "h263", "mobile3gp", false, 720, 405, 0, nullptr},
        SizeCase{"PhoneMpeg4KeepsItsStandardSize", "176x144", "mpeg4", "mobile3gp", false, 720,
                 405, 0, nullptr},
        // Today's devices keep their box; the recording fits the picture in it.
        SizeCase{"PhoneKeepsItsBox", "1280x720", "h264", "phone", false, 1080, 1920, 0, nullptr},
        SizeCase{"WebKeepsItsBox", "1920x1080", "vp9", "webm", false, 640, 480, 1, nullptr},
        SizeCase{"Mpeg2KeepsItsStandardSize", "720x480", "MPEG2VIDEO", "", false, 1280, 720, 0,
                 nullptr},
        SizeCase{"UnknownSource", "320x240", "mpeg4", "", false, 0, 0, 0, nullptr},
        SizeCase{"NoWidth", "x240", "mpeg4", "", false, 720, 405, 0, nullptr},
        SizeCase{"EmptySize", "", "mpeg4", "", true, 720, 405, 0, nullptr}));

// A web profile picks its container and codecs by its device; a profile
// chosen after it without a device of its own must not inherit them (an
// H.264 profile would write WebM under an .mp4 name).
TEST(ChooseContainerTest, WebDevicesAreNotLeftOverForProfilesWithoutOne) {
  struct Step {
    const char* device;
    const char* vcodec;
    const char* acodec;
    int format;
    int kind;
  };
  const Step steps[] = {
      {"webm", "vp9", "opus", kFormatMp4, kDeviceWebm},
      {"", "h264", "aac", kFormatMp4, kDeviceOtherPlayer},
      {"av1", "av1", "opus", kFormatMp4, kDeviceAv1},
      {"", "xvid", "mp3", kFormatFfmpegAvi, kDeviceOtherPlayer},
  };
  OutputConfig output;
  output.format = kFormatAvi;
  for (const Step& step : steps) {
    SCOPED_TRACE(std::string(step.device) + " " + step.vcodec);
    CProfile profile;
    profile.device = step.device;
    profile.vcodec = step.vcodec;
    profile.acodec = step.acodec;
    EXPECT_TRUE(ChooseContainer(profile, &output));
    MatchDeviceKind(profile, false, &output);
    EXPECT_EQ(output.format, step.format);
    EXPECT_EQ(output.device_kind, step.kind);
  }
}

TEST(CellTextTest, LeadingNumbersReadLikeTheCellsShowThem) {
  EXPECT_EQ(LeadingInt("384 kbps"), 384);
  EXPECT_EQ(LeadingInt("  -12x"), -12);
  EXPECT_EQ(LeadingInt("kbps"), 0);
  EXPECT_EQ(LeadingInt("99999999999"), 2147483647);
  EXPECT_DOUBLE_EQ(LeadingReal("29.97 fps"), 29.97);
  EXPECT_DOUBLE_EQ(LeadingReal(" +12.5"), 12.5);
  EXPECT_EQ(LeadingReal("fast"), 0);
  EXPECT_EQ(LeadingReal("nan"), 0);
  EXPECT_EQ(LeadingReal("1e999"), 0);
}

TEST(CellTextTest, SizeEstimateOfHugeRatesStaysInRange) {
  EXPECT_EQ(EstimatedSizeText(1e12, 2000000000, 2000000000), "Estimated size: 2147483647 MB");
}

}  // namespace
}  // namespace ovc
