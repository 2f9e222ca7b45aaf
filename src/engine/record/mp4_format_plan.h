#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/record/mp4_audio_encoder.h"
#include "engine/record/output_config.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace ovc {

// The video encoder of an FFmpeg output and its parameters.
struct Mp4VideoSettings {
  AVCodecID codec = AV_CODEC_ID_NONE;
  std::string encoder;     // libavcodec's encoder name: "libx264", "mpeg4", "libxvid" …
  uint32_t codec_tag = 0;  // e.g. FourCc("DIVX"); 0 = the container's own
  int width = 0;
  int height = 0;
  // The pixel shape the stream declares; {0, 1} declares none (square).
  AVRational sample_aspect{0, 1};
  AVRational time_base{1, 15};  // one frame period, seconds
  int64_t bit_rate = 0;         // bits per second
  // Constant quality (the encoder's CRF) instead of bit_rate; 0: none.
  int crf = 0;
  // Bits the rate control may run ahead of or behind the bit rate:
  // 4,000,000, but never more than one second of the stream.
  int bit_rate_tolerance = 4000000;
  int64_t max_bit_rate = 0;  // bits per second at peaks; 0 = no limit
  int buffer_bits = 0;       // the decoder buffer that peak is measured over
  // The most bits any one second may carry; pictures that would break it
  // once the rate control is at its coarsest are left out (PeakWindow).
  // 0: none are. Only for streams without B-frames.
  int64_t peak_bits = 0;
  bool global_header = false;
  int gop_size = 12;      // frames from key frame to key frame
  int max_b_frames = -1;  // -1: the encoder's default
  // The shape the frame is shown at (MPEG-2's 4:3 or 16:9, coded as pixel
  // shape); {0, 1}: the pixels' own.
  AVRational display_aspect{0, 1};
  int profile = FF_PROFILE_UNKNOWN;
  int level = FF_LEVEL_UNKNOWN;
  // Extra x264 settings ("key=value:key=value") for device playback.
  std::string x264_params;
  // Extra x265 settings, likewise.
  std::string x265_params;
  // The encoder's own options (of its private data) by name, set before
  // it opens: speed, tiles, constant quality of the VP9 and AV1 encoders.
  std::vector<std::pair<std::string, std::string>> encoder_options;
  // Device playback: one slice per picture, so no slice threads.
  bool single_slice = false;
  // Two passes: 1 records rate-control statistics, 2 encodes by them; 0
  // is one pass. The statistics are the recorded range's (rate_stats.h);
  // the file begins with picture first_frame of the range.
  int pass = 0;
  std::string stats_path;
  int64_t first_frame = 0;
};

// What Mp4Writer writes for an output configuration.
struct Mp4Plan {
  std::string muxer;  // FFmpeg's short name of the container
  Mp4VideoSettings video;
  Mp4AudioSettings audio;  // codec AV_CODEC_ID_NONE: the container has no audio
  // An MPEG program stream's rate in its pack headers, bits per second; 0:
  // the muxer's own from the streams' rates.
  int64_t mux_rate = 0;
  // The index (an MP4's moov) goes before the media data once the file is
  // complete, so that a player can start while the file still downloads.
  bool fast_start = false;
};

// The container and codecs by `format`:
//   4        "vob"   MPEG-2 program stream: MPEG-2 video; AC-3 when mpg_ac3,
//                    else MPEG-1 layer II
//   5        "dvd"   as 4, in DVD sectors at kDvdMuxBits (see dvd_output.h)
//   3        "avi"   MPEG-4 tagged DIVX when use_mpeg4_tag, else XVID; MP3
//   6        "3gp"   MPEG-4 when format_3gp > 1, else H.263; AAC when
//                    format_3gp is 1 or 3, else AMR-NB
//   7        "mov"   H.264 when use_h264, else MPEG-4; AAC
//   2, 8 up  "psp" for the PSP, "mp4" for a phone (H.264 High) and for
//            Apple's HEVC players (HEVC tagged hvc1), both with the index
//            first; else "ipod"; format 2: H.264 when use_h264, else MPEG-4;
//            others the container's defaults; AAC. The web's
//            devices (WebM, AV1) are PlanWebOutput's (web_format_plan.h).
// The video is then held to its player's limits (ApplyDeviceLimits).
// Returns 0, or -1 when FFmpeg has no such container.
int PlanMp4Output(const OutputConfig& output, Mp4Plan* plan);

// FFmpeg's short name of the container `format` calls for.
std::string Mp4MuxerName(const OutputConfig& output);

// The frame size, pixel shape, frame period and bit rate (with its
// tolerance) of the configuration's video.
void SetFrameAndRate(const OutputConfig& output, AVCodecID codec, Mp4VideoSettings* video);

// One frame period for the configuration: 1000 ÷ (rate × 1000 as an
// integer) of a second; the PSP plays on the 29.97 grid above 15 fps and on
// 14.985 at or below. MPEG-1/2 video only codes its standard rates, so for
// it a 1000/1001 rate (29.97, 23.976, 14.985 …) becomes the exact 1001/N000.
AVRational Mp4VideoTimeBase(const OutputConfig& output, AVCodecID codec);

}  // namespace ovc
