// The plan's video for each shipped profile's settings stays inside what
// its player takes; levels follow size, rate and bits; the peak window
// leaves out exactly the pictures that would break its second.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/record/device_limits.h"
#include "engine/record/dvd_output.h"
#include "engine/record/mp4_format_plan.h"
#include "engine/record/output_shape.h"
#include "engine/record/peak_window.h"

namespace ovc {
namespace {

struct ProfileCase {
  const char* name;
  int format;
  int format_3gp;
  int device_kind;
  bool use_h264;
  bool use_mpeg4_tag;
  int width, height;
  double fps;
  float kbps;  // the profile's highest bit-rate choice
  // What the plan must give.
  const char* muxer;
  AVCodecID codec;
  const char* tag;   // "" the container's own
  int64_t peak_kbps;  // ceiling + buffer within this
  int profile, level;
};
void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.name; }

constexpr int kMpeg4Sp = FF_PROFILE_MPEG4_SIMPLE;
constexpr int kNone = FF_PROFILE_UNKNOWN;

const ProfileCase kProfiles[] = {
    {"PSP", kFormatMp4, 0, kDevicePsp, false, false, 320, 240, 29.97, 768, "psp",
     AV_CODEC_ID_MPEG4, "", 768, kMpeg4Sp, 4},
    {"PSP_AVC", kFormatMp4, 0, kDevicePsp, true, false, 320, 240, 29.97, 768, "psp",
     AV_CODEC_ID_H264, "", 768, FF_PROFILE_H264_MAIN, 21},
    {"iPod", kFormatMp4, 0, kDeviceIpod, true, false, 320, 240, 29.97, 768, "ipod",
     AV_CODEC_ID_H264, "", 768, FF_PROFILE_H264_BASELINE, 13},
    {"iPod_MPEG4", kFormatMp4, 0, kDeviceIpod, false, false, 480, 360, 29.97, 2500, "ipod",
     AV_CODEC_ID_MPEG4, "", 2500, kMpeg4Sp, 4},
    {"3GP_phone", kFormat3gp, 0, kDeviceOtherPlayer, false, false, 176, 144, 15, 128, "3gp",
     AV_CODEC_ID_H263, "", 128, kNone, 45},
    {"3GP_phone_low", kFormat3gp, 0, kDeviceOtherPlayer, false, false, 176, 144, 15, 32, "3gp",
     AV_CODEC_ID_H263, "", 128, kNone, 10},
    {"3GP_MPEG4", kFormat3gp, 3, kDeviceOtherPlayer, false, false, 176, 144, 15, 384, "3gp",
     AV_CODEC_ID_MPEG4, "", 384, kMpeg4Sp, 3},
    {"3GP_MPEG4_low", kFormat3gp, 3, kDeviceOtherPlayer, false, false, 176, 144, 15, 64, "3gp",
     AV_CODEC_ID_MPEG4, "", 384, kMpeg4Sp, 2},
    {"AVI_xvid", kFormatFfmpegAvi, 0, kDevicePsp, false, false, 720, 576, 25, 3000, "avi",
     AV_CODEC_ID_MPEG4, "XVID", 4854, kMpeg4Sp, 5},
    {"AVI_mpeg4", kFormatFfmpegAvi, 0, kDevicePsp, false, true, 640, 480, 29.97, 1200, "avi",
     AV_CODEC_ID_MPEG4, "DIVX", 4854, kMpeg4Sp, 4},
    {"MPEG2", kFormatMpeg, 0, kDevicePsp, false, false, 720, 480, 29.97, 8000, "vob",
     AV_CODEC_ID_MPEG2VIDEO, "", 9800, FF_PROFILE_MPEG2_MAIN, 8},
    {"VOB", kFormatVob, 0, kDevicePsp, false, false, 720, 576, 25, 8000, "dvd",
     AV_CODEC_ID_MPEG2VIDEO, "", 9000, FF_PROFILE_MPEG2_MAIN, 8},
    {"QuickTime_mpeg4", kFormatQuickTime, 0, kDevicePsp, false, false, 640, 480, 29.97, 3000,
     "mov", AV_CODEC_ID_MPEG4, "", 8000, kMpeg4Sp, 5},
    {"QuickTime_h264", kFormatQuickTime, 0, kDevicePsp, true, false, 640, 480, 29.97, 3000, "mov",
     AV_CODEC_ID_H264, "", 10000, kNone, FF_LEVEL_UNKNOWN},
    {"Phone_720p", kFormatMp4, 0, kDevicePhone, true, false, 1280, 720, 30, 6000, "mp4",
     AV_CODEC_ID_H264, "", 17500, FF_PROFILE_H264_HIGH, 31},
    {"Phone_720p_upright", kFormatMp4, 0, kDevicePhone, true, false, 720, 1280, 30, 6000, "mp4",
     AV_CODEC_ID_H264, "", 17500, FF_PROFILE_H264_HIGH, 31},
    {"Phone_1080p", kFormatMp4, 0, kDevicePhone, true, false, 1920, 1080, 30, 12000, "mp4",
     AV_CODEC_ID_H264, "", 25000, FF_PROFILE_H264_HIGH, 40},
    {"HEVC_1080p60", kFormatMp4, 0, kDeviceHevc, false, false, 1920, 1080, 60, 16000, "mp4",
     AV_CODEC_ID_HEVC, "hvc1", 20000, FF_PROFILE_HEVC_MAIN, 41},
    {"HEVC_4K", kFormatMp4, 0, kDeviceHevc, false, false, 3840, 2160, 30, 16000, "mp4",
     AV_CODEC_ID_HEVC, "hvc1", 25000, FF_PROFILE_HEVC_MAIN, 50},
};

class DeviceLimits : public testing::TestWithParam<ProfileCase> {};

TEST_P(DeviceLimits, PlanStaysInsideThePlayersLimits) {
  const ProfileCase& c = GetParam();
  OutputConfig output;
  output.format = c.format;
  output.format_3gp = c.format_3gp;
  output.device_kind = c.device_kind;
  output.use_h264 = c.use_h264;
  output.use_mpeg4_tag = c.use_mpeg4_tag;
  output.width = c.width;
  output.height = c.height;
  output.out_frame_rate = c.fps;
  output.video_bitrate = c.kbps;
  Mp4Plan plan;
  ASSERT_EQ(PlanMp4Output(output, &plan), 0);
  const Mp4VideoSettings& v = plan.video;
  EXPECT_EQ(plan.muxer, c.muxer);
  EXPECT_EQ(v.codec, c.codec);
  EXPECT_EQ(v.codec_tag, *c.tag ? FourCc(c.tag) : 0u);
  ASSERT_GT(v.max_bit_rate, 0) << "every encoder gets a ceiling";
  ASSERT_GT(v.buffer_bits, 0);
  EXPECT_LE(v.max_bit_rate + v.buffer_bits, c.peak_kbps * 1000);
  EXPECT_LE(v.bit_rate, v.max_bit_rate);
  EXPECT_LE(v.bit_rate, static_cast<int64_t>(c.kbps * 1000));
  EXPECT_EQ(v.profile, c.profile);
  EXPECT_EQ(v.level, c.level);
}

INSTANTIATE_TEST_SUITE_P(Shipped, DeviceLimits, testing::ValuesIn(kProfiles),
                         [](const auto& info) { return std::string(info.param.name); });

// Constant quality: no bit rate, the level's ceiling and buffer as the
// encoder's VBV, and the index first.
TEST(DeviceLimits, ConstantQualityStaysWithinThePhonesLevel) {
  OutputConfig output;
  output.format = kFormatMp4;
  output.device_kind = kDevicePhone;
  output.width = 1280;
  output.height = 720;
  output.out_frame_rate = 30;
  output.video_bitrate = 4000;
  output.video_quality = 23;
  Mp4Plan plan;
  ASSERT_EQ(PlanMp4Output(output, &plan), 0);
  EXPECT_EQ(plan.video.crf, 23);
  EXPECT_EQ(plan.video.bit_rate, 0);
  EXPECT_EQ(plan.video.max_bit_rate + plan.video.buffer_bits, 17500000);
  EXPECT_GT(plan.video.buffer_bits, 0);
  EXPECT_EQ(plan.video.gop_size, 60);
  EXPECT_TRUE(plan.fast_start);
  EXPECT_EQ(plan.audio.codec, AV_CODEC_ID_AAC);
}

// The phone's level holds 1280x720 at 30 and 1920x1080 at 30 pictures a
// second; HEVC takes the lowest level from 3.1 that holds size and rate.
TEST(DeviceLimits, TodaysLevelsFollowSizeAndRate) {
  EXPECT_EQ(PhoneH264Level(1280, 720), 31);
  EXPECT_EQ(PhoneH264Level(720, 1280), 31);
  EXPECT_EQ(PhoneH264Level(1920, 1080), 40);
  EXPECT_EQ(PhoneH264Level(3840, 2160), 0);
  EXPECT_DOUBLE_EQ(PhoneH264MaxFrameRate(1280, 720), 30);
  EXPECT_DOUBLE_EQ(PhoneH264MaxFrameRate(640, 360), 108000.0 / (40 * 23));
  EXPECT_NEAR(PhoneH264MaxFrameRate(1920, 1080), 30.1, 0.05);
  EXPECT_EQ(PhoneH264MaxFrameRate(3840, 2160), 0);
  EXPECT_EQ(HevcLevel(640, 360, 30), 31);
  EXPECT_EQ(HevcLevel(1920, 1080, 30), 40);
  EXPECT_EQ(HevcLevel(1920, 1080, 60), 41);
  EXPECT_EQ(HevcLevel(3840, 2160, 60), 51);
  EXPECT_EQ(HevcLevel(7680, 4320, 30), 0);
}

TEST(DeviceLimits, Mpeg2ShowsTheSourcesShapeAsFourThreeOrSixteenNine) {
  struct Case {
    int aspect_x, aspect_y, num, den;
  };
  for (const Case& c : {Case{4, 3, 4, 3}, Case{16, 9, 16, 9}, Case{427, 240, 16, 9},
                        Case{5, 4, 4, 3}, Case{235, 100, 16, 9}, Case{3, 2, 4, 3}}) {
    OutputConfig output;
    output.format = kFormatMpeg;
    output.width = 720;
    output.height = 480;
    output.out_frame_rate = 29.97;
    output.video_bitrate = 4000;
    output.aspect_x = c.aspect_x;
    output.aspect_y = c.aspect_y;
    Mp4Plan plan;
    ASSERT_EQ(PlanMp4Output(output, &plan), 0);
    EXPECT_EQ(plan.video.display_aspect.num, c.num) << c.aspect_x << ":" << c.aspect_y;
    EXPECT_EQ(plan.video.display_aspect.den, c.den) << c.aspect_x << ":" << c.aspect_y;
  }
}

TEST(DeviceLimits, AVobTakesTheNearestDvdFrameAndIsShownWideOnlyAtFullWidth) {
  struct Case {
    int width, height;
    double fps;
    int dvd_width, dvd_height;
    double dvd_fps;
    int shown_num;  // of a 16:9 source: 16 wide, 4 letterboxed
  };
  for (const Case& c : {
           Case{720, 480, 29.97, 720, 480, 29.97, 16}, Case{720, 576, 25, 720, 576, 25, 16},
           Case{704, 576, 25, 704, 576, 25, 16},       Case{352, 288, 25, 352, 288, 25, 4},
           Case{352, 240, 29.97, 352, 240, 29.97, 4},  Case{352, 480, 30, 352, 480, 29.97, 4},
           // Sizes and rates a DVD doesn't have: the nearest of its system.
           Case{640, 360, 23.976, 704, 480, 29.97, 16}, Case{480, 576, 15, 352, 576, 25, 4},
           Case{320, 240, 24, 352, 240, 29.97, 4},      Case{1920, 1080, 50, 720, 480, 29.97, 16},
       }) {
    OutputConfig output;
    output.format = kFormatVob;
    output.width = c.width;
    output.height = c.height;
    output.out_frame_rate = c.fps;
    output.audio_output_freq = 44100;
    output.audio_bitrate = 448;
    output.aspect_x = 16;
    output.aspect_y = 9;
    FitDvdOutput(&output);
    const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height);
    EXPECT_EQ(output.width, c.dvd_width) << name;
    EXPECT_EQ(output.height, c.dvd_height) << name;
    EXPECT_DOUBLE_EQ(output.out_frame_rate, c.dvd_fps) << name;
    EXPECT_EQ(output.audio_output_freq, 48000) << name;
    EXPECT_EQ(output.audio_bitrate, 384) << name << ": MPEG-1 layer II on a DVD";
    EXPECT_EQ(MpegDisplayAspect(output).num, c.shown_num) << name;
    Mp4Plan plan;
    ASSERT_EQ(PlanMp4Output(output, &plan), 0);
    EXPECT_EQ(plan.mux_rate, 10080000) << name;
    EXPECT_EQ(plan.audio.codec, AV_CODEC_ID_MP2);
  }
  // AC-3 takes up to 448 kbit/s.
  OutputConfig output;
  output.format = kFormatVob;
  output.mpg_ac3 = true;
  output.audio_bitrate = 640;
  FitDvdOutput(&output);
  EXPECT_EQ(output.audio_bitrate, 448);
  Mp4Plan plan;
  ASSERT_EQ(PlanMp4Output(output, &plan), 0);
  EXPECT_EQ(plan.audio.codec, AV_CODEC_ID_AC3);
}

struct LevelCase {
  int width, height;
  double fps;
  int64_t kbps;
  int mpeg4, h263;  // 0: no level holds it
};

TEST(DeviceLimits, LevelsAreTheLowestThatHoldSizeRateAndBits) {
  for (const LevelCase& c : {
           LevelCase{176, 144, 15, 64, 1, 10},    LevelCase{176, 144, 15, 96, 2, 45},
           LevelCase{176, 144, 15, 128, 2, 45},   LevelCase{176, 144, 30, 128, 2, 20},
           LevelCase{176, 144, 15, 300, 3, 30},   LevelCase{352, 288, 30, 384, 3, 30},
           LevelCase{320, 240, 29.97, 576, 4, 40}, LevelCase{640, 480, 29.97, 4000, 4, 0},
           LevelCase{720, 576, 25, 4000, 5, 0},   LevelCase{1920, 1080, 30, 8000, 0, 0},
       }) {
    EXPECT_EQ(Mpeg4SimpleLevel(c.width, c.height, c.fps, c.kbps * 1000), c.mpeg4)
        << c.width << "x" << c.height << "@" << c.fps << " " << c.kbps;
    EXPECT_EQ(H263Level(c.width, c.height, c.fps, c.kbps * 1000), c.h263)
        << c.width << "x" << c.height << "@" << c.fps << " " << c.kbps;
  }
}

TEST(PeakWindow, FramesPerWindowAreThoseWithinOneSecond) {
  EXPECT_EQ(PeakWindow::FramesPerWindow(29.97), 30);
  EXPECT_EQ(PeakWindow::FramesPerWindow(30), 30);
  EXPECT_EQ(PeakWindow::FramesPerWindow(14.985), 15);
  EXPECT_EQ(PeakWindow::FramesPerWindow(12.5), 13);
}

TEST(PeakMeter, MeasuresTheMostBitsInAnyOneSecond) {
  struct Case {
    std::vector<std::pair<double, int64_t>> packets;
    int64_t peak;
  };
  for (const Case& c : {
           Case{{{0, 10}, {0.5, 10}, {0.99, 10}, {1.0, 10}, {1.5, 10}}, 30},
           // Exactly one second apart is in no window together, also after
           // the time base's rounding.
           Case{{{0, 50}, {1.0000001, 50}, {2.5, 20}}, 50},
           Case{{{0, 5}, {0.9, 5}, {1.2, 40}, {1.8, 40}, {2.1, 40}}, 120},
       }) {
    PeakMeter meter;
    for (const auto& [seconds, bits] : c.packets) meter.Add(seconds, bits);
    EXPECT_EQ(meter.peak_bits(), c.peak);
  }
}

// Pictures of the given sizes (bits) offered one after the other to a
// window of 100 bits over 4 pictures; key frames every 4th offered picture
// that was coded. Returns the bits of each picture: 0 where left out.
std::vector<int> CodeThroughWindow(const std::vector<int>& sizes) {
  PeakWindow window(100, 4);
  std::vector<int> coded;
  int sent = 0;
  for (int size : sizes) {
    const bool key = sent % 4 == 0;
    if (!window.Admits(key)) {
      window.Add(0, false);
      coded.push_back(0);
      continue;
    }
    ++sent;
    window.Add(size, key);
    coded.push_back(size);
  }
  return coded;
}

TEST(PeakWindow, LeavesOutPicturesThatWouldBreakTheWindow) {
  struct Case {
    std::vector<int> sizes, coded;
  };
  for (const Case& c : {
           // Small pictures: all pass.
           Case{{20, 20, 20, 20, 20, 20, 20, 20}, {20, 20, 20, 20, 20, 20, 20, 20}},
           // A 60-bit key frame and two 20s fill the window: the next is
           // left out, and the one after it fits again.
           Case{{60, 20, 20, 20, 20, 20}, {60, 20, 20, 0, 20, 20}},
           // Judged by the larger of the last two: after 50 + 30 another 30
           // would not fit, nor after it; then 50 (expected 30) and 10
           // (expected 50) fill the window exactly.
           Case{{50, 30, 30, 30, 50, 10}, {50, 30, 0, 0, 50, 10}},
           // A picture bigger than the window still passes an empty window.
           Case{{150, 30, 30, 30, 30}, {150, 0, 0, 0, 30}},
       }) {
    const std::vector<int> coded = CodeThroughWindow(c.sizes);
    EXPECT_EQ(coded, c.coded);
    for (size_t i = 0; i + 4 <= coded.size(); ++i) {
      int sum = 0;
      for (size_t j = i; j < i + 4; ++j) sum += coded[j];
      if (coded[i] <= 100) {
        EXPECT_LE(sum, 100) << "window at " << i;
      }
    }
  }
}

}  // namespace
}  // namespace ovc
