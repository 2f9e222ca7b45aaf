#include <gtest/gtest.h>

#include <string>

#include "engine/record/mp4_format_plan.h"

namespace ovc {
namespace {

struct TimeBaseCase {
  const char* name;
  int format;
  int device_kind;
  double fps;
  AVCodecID codec;
  int num, den;
};
void PrintTo(const TimeBaseCase& c, std::ostream* os) { *os << c.name; }

class Mp4TimeBase : public testing::TestWithParam<TimeBaseCase> {};

TEST_P(Mp4TimeBase, IsOneFramePeriod) {
  const TimeBaseCase& c = GetParam();
  OutputConfig output;
  output.format = c.format;
  output.device_kind = c.device_kind;
  output.out_frame_rate = c.fps;
  AVRational time_base = Mp4VideoTimeBase(output, c.codec);
  EXPECT_EQ(time_base.num, c.num);
  EXPECT_EQ(time_base.den, c.den);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, Mp4TimeBase,
    testing::Values(
        // The PSP plays on the 29.97 grid above 15 fps, else on 14.985.
        TimeBaseCase{"Psp14985", kFormatMp4, kDevicePsp, 14.985, AV_CODEC_ID_MPEG4, 1000, 14985},
        TimeBaseCase{"Psp2997", kFormatMp4, kDevicePsp, 29.97, AV_CODEC_ID_H264, 1000, 29970},
        TimeBaseCase{"Psp20", kFormatMp4, kDevicePsp, 20, AV_CODEC_ID_MPEG4, 1000, 29970},
        TimeBaseCase{"Psp10", kFormatMp4, kDevicePsp, 10, AV_CODEC_ID_MPEG4, 1000, 14985},
        TimeBaseCase{"Ipod15", kFormatMp4, kDeviceIpod, 15, AV_CODEC_ID_H264, 1000, 15000},
        // A PSP device left over from an earlier profile doesn't re-time an AVI.
        TimeBaseCase{"AviAfterPsp", kFormatFfmpegAvi, kDevicePsp, 25, AV_CODEC_ID_MPEG4, 1000,
                     25000},
        // MPEG-2 codes only its standard rates: 1000/1001 rates exactly.
        TimeBaseCase{"Mpeg2At2997", kFormatMpeg, kDeviceIpod, 29.97, AV_CODEC_ID_MPEG2VIDEO, 1001,
                     30000},
        TimeBaseCase{"Mpeg2At23976", 5, kDeviceIpod, 23.976, AV_CODEC_ID_MPEG2VIDEO, 1001, 24000},
        TimeBaseCase{"Mpeg2At25", kFormatMpeg, kDeviceIpod, 25, AV_CODEC_ID_MPEG2VIDEO, 1000,
                     25000}),
    [](const testing::TestParamInfo<TimeBaseCase>& info) { return info.param.name; });

TEST(Mp4Plan, AudioGetsTheTotalBitRateOfAllChannels) {
  OutputConfig output;
  output.format = kFormatMp4;
  output.audio_bitrate = 128;
  output.audio_channels = 2;
  Mp4Plan plan;
  ASSERT_EQ(PlanMp4Output(output, &plan), 0);
  EXPECT_EQ(plan.audio.codec, AV_CODEC_ID_AAC);
  EXPECT_EQ(plan.audio.bit_rate, 128000);
}

TEST(Mp4Plan, DeviceLevelsFollowThePictureSize) {
  struct Case {
    int device_kind, width, height, level;
  };
  for (const Case& c : {Case{kDevicePsp, 320, 240, 21}, Case{kDevicePsp, 368, 208, 21},
                        Case{kDevicePsp, 480, 272, 30}, Case{kDeviceIpod, 320, 240, 13},
                        Case{kDeviceIpod, 640, 480, 30}}) {
    OutputConfig output;
    output.format = kFormatMp4;
    output.use_h264 = true;
    output.device_kind = c.device_kind;
    output.width = c.width;
    output.height = c.height;
    output.out_frame_rate = 29.97;
    Mp4Plan plan;
    ASSERT_EQ(PlanMp4Output(output, &plan), 0);
    EXPECT_EQ(plan.video.level, c.level) << c.width << "x" << c.height;
  }
}

TEST(Mp4Plan, ThreeGpKeepsTheContainersCodecsForH263AndAmr) {
  OutputConfig output;
  output.format = kFormat3gp;
  output.format_3gp = 0;
  Mp4Plan plan;
  ASSERT_EQ(PlanMp4Output(output, &plan), 0);
  EXPECT_EQ(plan.muxer, "3gp");
  EXPECT_EQ(plan.video.codec, AV_CODEC_ID_H263);
  EXPECT_EQ(plan.audio.codec, AV_CODEC_ID_AMR_NB);
}

}  // namespace
}  // namespace ovc
