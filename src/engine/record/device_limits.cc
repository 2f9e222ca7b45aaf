#include "engine/record/device_limits.h"

#include <algorithm>

#include "engine/record/dvd_output.h"
#include "engine/record/output_shape.h"

namespace ovc {
namespace {

// A level's most macroblocks per picture and per second, and its most bits
// per second and decoder buffer (bits).
struct Level {
  int value;
  int frame_mbs;
  int mbs_per_second;
  int64_t bits_per_second;
  int buffer_bits;
};

// MPEG-4 part 2 Simple Profile; the buffer in units of 16,384 bits.
constexpr Level kMpeg4SimpleLevels[] = {
    {1, 99, 1485, 64000, 10 * 16384},        {2, 396, 5940, 128000, 40 * 16384},
    {3, 396, 11880, 384000, 40 * 16384},     {4, 1200, 36000, 4000000, 80 * 16384},  // 4a
    {5, 1620, 40500, 8000000, 112 * 16384},  {6, 3600, 108000, 12000000, 248 * 16384},
};

// H.263 profile 0. Level 45 is level 10's pictures at level 20's rate.
constexpr Level kH263Levels[] = {
    {10, 99, 1485, 64000, 0},    {45, 99, 1485, 128000, 0},   {20, 396, 5940, 128000, 0},
    {30, 396, 11880, 384000, 0}, {40, 396, 11880, 2048000, 0},
};

// H.264 Constrained Baseline / Main (High: 1.25 times the rates).
constexpr Level kH264Levels[] = {
    {13, 396, 11880, 768000, 2000000},     {21, 792, 19800, 4000000, 4000000},
    {30, 1620, 40500, 10000000, 10000000}, {31, 3600, 108000, 14000000, 14000000},
};

// H.264 High as phones take it: Main's macroblock limits, 1.25 times its
// rates and buffers.
constexpr Level kPhoneH264Levels[] = {
    {31, 3600, 108000, 17500000, 17500000},
    {40, 8192, 245760, 25000000, 31250000},
};

// HEVC Main tier: luma samples per picture and per second (in the
// macroblock columns), rates and buffers.
constexpr Level kHevcLevels[] = {
    {31, 983040, 33177600, 10000000, 10000000},    {40, 2228224, 66846720, 12000000, 12000000},
    {41, 2228224, 133693440, 20000000, 20000000},  {50, 8912896, 267386880, 25000000, 25000000},
    {51, 8912896, 534773760, 40000000, 40000000},
};

// MPEG-2 Main Profile at Main Level; the DVD's video takes at most 9.8
// Mbit/s of the level's 15, and that is what players of MPEG-2 files are
// built for.
constexpr int64_t kMpeg2PeakBits = 9800000;
constexpr int kMpeg2BufferBits = 112 * 16384;  // 1,835,008
// Standalone players of XviD-tagged AVI: 4,854 kbit/s peak, 3 Mbit buffer.
constexpr int64_t kAviPeakBits = 4854000;
constexpr int kAviBufferBits = 3 * 1048576;
// The PSP plays MPEG-4 and H.264 up to 768 kbit/s; the 5th-generation
// iPod H.264 Baseline 1.3 up to 768 kbit/s and MPEG-4 up to 2.5 Mbit/s.
constexpr int64_t kPspPeakBits = 768000;
// MPEG-4 on the PSP: an eighth of a second of its peak for the buffer, so
// the rate ceiling is the other seven eighths (672 kbit/s) and the 768
// kbit/s choice keeps most of its rate on hard content (the peak window
// holds the second). x264 keeps so small a buffer only by coding the whole
// stream coarser; it gets a quarter second (a 576 kbit/s ceiling), which
// leaves it the higher average.
constexpr int kPspMpeg4BufferBits = 96000;
constexpr int kPspH264BufferBits = 192000;
constexpr int64_t kIpodH264PeakBits = 768000;
constexpr int64_t kIpodMpeg4PeakBits = 2500000;
// Phones: H.263 level 45 (128 kbit/s), MPEG-4 Simple up to level 3.
constexpr int64_t kPhoneH263PeakBits = 128000;
constexpr int64_t kPhoneMpeg4PeakBits = 384000;

// The buffer takes at most this share of the peak (a quarter of a second),
// the ceiling at most this many times the asked bit rate.
constexpr int kBufferShareOfPeak = 4;
constexpr int kCeilingTimesRate = 2;

int Macroblocks(int width, int height) { return ((width + 15) / 16) * ((height + 15) / 16); }

template <size_t N>
const Level* LowestLevel(const Level (&levels)[N], int width, int height, double fps,
                         int64_t bits) {
  const int mbs = Macroblocks(width, height);
  for (const Level& level : levels)
    if (mbs <= level.frame_mbs && mbs * fps <= level.mbs_per_second + 0.5 &&
        bits <= level.bits_per_second)
      return &level;
  return nullptr;
}

double FramesPerSecond(const Mp4VideoSettings& video) {
  return video.time_base.num > 0 ? static_cast<double>(video.time_base.den) / video.time_base.num
                                  : 0;
}

const Level* PhoneLevel(int width, int height) {
  const int mbs = Macroblocks(width, height);
  for (const Level& level : kPhoneH264Levels)
    if (mbs <= level.frame_mbs) return &level;
  return nullptr;
}

const Level* HevcLevelFor(int width, int height, double fps) {
  const int64_t samples = int64_t{width} * height;
  for (const Level& level : kHevcLevels)
    if (samples <= level.frame_mbs && samples * fps <= level.mbs_per_second + 0.5) return &level;
  return nullptr;
}

// Phones and Apple's HEVC players: the level that holds the picture sets
// the peak and buffer.
void SetTodaysDeviceLevel(Mp4VideoSettings* video) {
  const Level* level = nullptr;
  if (video->codec == AV_CODEC_ID_H264) {
    level = PhoneLevel(video->width, video->height);
    video->profile = FF_PROFILE_H264_HIGH;
  } else if (video->codec == AV_CODEC_ID_HEVC) {
    level = HevcLevelFor(video->width, video->height, FramesPerSecond(*video));
    video->profile = FF_PROFILE_HEVC_MAIN;
  }
  video->level = level ? level->value : FF_LEVEL_UNKNOWN;
  if (!level) return;
  const int64_t buffer = level->bits_per_second / kBufferShareOfPeak;
  int64_t ceiling = level->bits_per_second - buffer;
  // Constant quality takes what the picture needs up to the ceiling; a bit
  // rate at most twice itself at peaks.
  if (video->crf <= 0 && video->bit_rate > 0) {
    ceiling = std::min(ceiling, video->bit_rate * kCeilingTimesRate);
    video->bit_rate = std::min(video->bit_rate, ceiling);
    video->bit_rate_tolerance =
        static_cast<int>(std::min<int64_t>(video->bit_rate_tolerance, video->bit_rate));
  }
  video->max_bit_rate = ceiling;
  video->buffer_bits = static_cast<int>(buffer);
}

}  // namespace

int PhoneH264Level(int width, int height) {
  const Level* level = PhoneLevel(width, height);
  return level ? level->value : 0;
}

double PhoneH264MaxFrameRate(int width, int height) {
  const Level* level = PhoneLevel(width, height);
  return level ? static_cast<double>(level->mbs_per_second) / Macroblocks(width, height) : 0;
}

int HevcLevel(int width, int height, double fps) {
  const Level* level = HevcLevelFor(width, height, fps);
  return level ? level->value : 0;
}

int Mpeg4SimpleLevel(int width, int height, double fps, int64_t peak_bits) {
  const Level* level = LowestLevel(kMpeg4SimpleLevels, width, height, fps, peak_bits);
  return level ? level->value : 0;
}

int H263Level(int width, int height, double fps, int64_t peak_bits) {
  const Level* level = LowestLevel(kH263Levels, width, height, fps, peak_bits);
  return level ? level->value : 0;
}

VideoLimit DeviceVideoLimit(const std::string& muxer, AVCodecID codec) {
  const bool h264 = codec == AV_CODEC_ID_H264;
  if (muxer == "psp") return {kPspPeakBits, h264 ? kPspH264BufferBits : kPspMpeg4BufferBits};
  if (muxer == "ipod")
    return h264 ? VideoLimit{kIpodH264PeakBits, static_cast<int>(kIpodH264PeakBits)}
                : VideoLimit{kIpodMpeg4PeakBits, 0};
  if (muxer == "3gp")
    return {codec == AV_CODEC_ID_H263 ? kPhoneH263PeakBits : kPhoneMpeg4PeakBits, 0};
  if (muxer == "dvd") return {kDvdVideoPeakBits, kMpeg2BufferBits};
  if (codec == AV_CODEC_ID_MPEG2VIDEO || codec == AV_CODEC_ID_MPEG1VIDEO)
    return {kMpeg2PeakBits, kMpeg2BufferBits};
  if (muxer == "avi") return {kAviPeakBits, kAviBufferBits};
  return {};
}

void ApplyDeviceLimits(const OutputConfig& output, const std::string& muxer,
                       Mp4VideoSettings* video) {
  if (output.device_kind == kDevicePhone || output.device_kind == kDeviceHevc) {
    if (muxer == "mp4") {
      SetTodaysDeviceLevel(video);
      return;
    }
  }
  const double fps = FramesPerSecond(*video);
  VideoLimit limit = DeviceVideoLimit(muxer, video->codec);
  // Without a device, the lowest level that holds the picture and the
  // ceiling the asked rate gets (or, failing that, the rate itself) sets
  // the limit.
  if (limit.peak_bits == 0) {
    const Level* level = nullptr;
    for (int64_t bits : {video->bit_rate * kCeilingTimesRate, video->bit_rate}) {
      if (level) break;
      if (video->codec == AV_CODEC_ID_MPEG4)
        level = LowestLevel(kMpeg4SimpleLevels, video->width, video->height, fps, bits);
      else if (video->codec == AV_CODEC_ID_H264)
        level = LowestLevel(kH264Levels, video->width, video->height, fps, bits);
    }
    if (level) limit = {level->bits_per_second, level->buffer_bits};
  }
  if (limit.peak_bits > 0) {
    int64_t buffer = limit.peak_bits / kBufferShareOfPeak;
    if (limit.buffer_bits > 0) buffer = std::min<int64_t>(buffer, limit.buffer_bits);
    int64_t ceiling = limit.peak_bits - buffer;
    if (video->bit_rate > 0) {
      ceiling = std::min(ceiling, video->bit_rate * kCeilingTimesRate);
      video->bit_rate = std::min(video->bit_rate, ceiling);
      video->bit_rate_tolerance = static_cast<int>(std::min<int64_t>(
          video->bit_rate_tolerance, video->bit_rate));
    }
    video->max_bit_rate = ceiling;
    video->buffer_bits = static_cast<int>(buffer);
    if (video->codec == AV_CODEC_ID_MPEG4 || video->codec == AV_CODEC_ID_H263)
      video->peak_bits = limit.peak_bits;
  }

  switch (video->codec) {
    case AV_CODEC_ID_MPEG4:
      video->profile = FF_PROFILE_MPEG4_SIMPLE;
      video->level = Mpeg4SimpleLevel(video->width, video->height, fps, video->max_bit_rate);
      if (video->level == 0) video->level = FF_LEVEL_UNKNOWN;
      video->max_b_frames = 0;
      break;
    case AV_CODEC_ID_H263:
      video->level = H263Level(video->width, video->height, fps, video->max_bit_rate);
      if (video->level == 0) video->level = FF_LEVEL_UNKNOWN;
      break;
    case AV_CODEC_ID_MPEG2VIDEO: {
      video->profile = FF_PROFILE_MPEG2_MAIN;
      video->level = 8;  // Main Level
      // Players show the frame at 4:3 or 16:9, whatever its pixel size:
      // the shape nearer to the source's.
      const PixelAspect shown = MpegDisplayAspect(output);
      video->display_aspect = AVRational{shown.num, shown.den};
      break;
    }
    default:
      break;
  }
}

}  // namespace ovc
