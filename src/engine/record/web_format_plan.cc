#include "engine/record/web_format_plan.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavformat/avformat.h>
}

namespace ovc {
namespace {

// libvpx's speed for "good" quality: 5 codes 720p at several pictures a
// second on two cores, at a few percent more bits than 4.
constexpr int kVp9CpuUsed = 5;
// SVT-AV1's preset: 10 keeps 720p near real time on two cores; lower ones
// save a few percent of the size at two to three times the time.
constexpr int kSvtAv1Preset = 10;
// SVT-AV1 codes pictures at least 64 pixels wide and high; libaom-av1,
// slower on large ones, codes the smaller ones at this speed.
constexpr int kSvtAv1MinSide = 64;
constexpr int kAomCpuUsed = 6;
// Pictures larger than 720p are coded without SVT-AV1's look-ahead.
constexpr int kSvtAv1LookAheadPixels = 1280 * 720;
// libvpx splits the picture into columns of tiles at least 256 pixels wide,
// which its threads code side by side.
constexpr int kVp9MinTileWidth = 256;
constexpr int kVp9MaxTileColumnsLog2 = 6;

// log2 of the tile columns a picture `width` pixels wide holds.
int Vp9TileColumnsLog2(int width) {
  int log2 = 0;
  while (log2 < kVp9MaxTileColumnsLog2 && (kVp9MinTileWidth << (log2 + 1)) <= width) ++log2;
  return log2;
}

void SetVp9(const OutputConfig& output, Mp4VideoSettings* video) {
  video->codec = AV_CODEC_ID_VP9;
  video->encoder = "libvpx-vp9";
  video->encoder_options = {
      {"deadline", "good"},
      {"cpu-used", std::to_string(kVp9CpuUsed)},
      // Rows of each tile coded by several threads: the speed of two cores
      // also on pictures too narrow for two tile columns.
      {"row-mt", "1"},
      {"tile-columns", std::to_string(Vp9TileColumnsLog2(video->width))},
  };
  // Constant quality with no bit rate is libvpx's "Q" mode; a bit rate
  // beside it would make the rate a ceiling as well.
  if (output.video_quality > 0) {
    video->encoder_options.push_back({"crf", std::to_string(output.video_quality)});
    video->crf = output.video_quality;
    video->bit_rate = 0;
  }
}

void SetAv1(const OutputConfig& output, Mp4VideoSettings* video) {
  video->codec = AV_CODEC_ID_AV1;
  if (video->width >= kSvtAv1MinSide && video->height >= kSvtAv1MinSide) {
    video->encoder = "libsvtav1";
    video->encoder_options = {{"preset", std::to_string(kSvtAv1Preset)}};
    // Its look-ahead holds pictures by the dozen: 640 MB at 1080p, 370
    // without, for 4 % more bits.
    if (video->width * video->height > kSvtAv1LookAheadPixels)
      video->encoder_options.push_back({"svtav1-params", "lookahead=0"});
  } else {
    video->encoder = "libaom-av1";
    video->encoder_options = {{"cpu-used", std::to_string(kAomCpuUsed)}, {"row-mt", "1"}};
  }
  if (output.video_quality > 0) {
    video->encoder_options.push_back({"crf", std::to_string(output.video_quality)});
    video->crf = output.video_quality;
    video->bit_rate = 0;
  }
}

}  // namespace

bool IsWebOutput(const OutputConfig& output) {
  const bool mp4_family = output.format == kFormatMp4 || output.format > kFormatQuickTime;
  return mp4_family && (output.device_kind == kDeviceWebm || output.device_kind == kDeviceAv1);
}

std::string WebMuxerName(const OutputConfig& output) {
  if (!IsWebOutput(output)) return "";
  return output.device_kind == kDeviceWebm ? "webm" : "mp4";
}

int PlanWebOutput(const OutputConfig& output, Mp4Plan* plan) {
  *plan = Mp4Plan{};
  if (!IsWebOutput(output)) return -1;
  plan->muxer = WebMuxerName(output);
  const AVOutputFormat* container = av_guess_format(plan->muxer.c_str(), nullptr, nullptr);
  if (!container) return -1;

  Mp4VideoSettings& v = plan->video;
  SetFrameAndRate(output, AV_CODEC_ID_NONE, &v);
  // Both containers take the codec's set-up from the encoder, not from the
  // first picture.
  v.global_header = (container->flags & AVFMT_GLOBALHEADER) != 0;
  const double fps = av_q2d(av_inv_q(v.time_base));
  v.gop_size = std::max(1, static_cast<int>(std::lround(fps * kKeyFrameSeconds)));
  if (output.device_kind == kDeviceWebm)
    SetVp9(output, &v);
  else
    SetAv1(output, &v);

  Mp4AudioSettings& a = plan->audio;
  a.codec = AV_CODEC_ID_OPUS;
  a.sample_rate = kOpusSampleRate;
  a.channels = output.audio_channels == 1 ? 1 : 2;
  a.bit_rate = static_cast<int64_t>(output.audio_bitrate) * 1000;
  a.global_header = v.global_header;
  return 0;
}

}  // namespace ovc
