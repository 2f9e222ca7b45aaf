#include "engine/record/mp4_format_plan.h"

#include <algorithm>
#include <cmath>

#include "engine/record/device_limits.h"
#include "engine/record/dvd_output.h"
#include "engine/record/web_format_plan.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include "engine/record/output_shape.h"

namespace ovc {
namespace {

bool WantsGlobalHeader(const std::string& muxer) {
  return muxer == "psp" || muxer == "ipod" || muxer == "mp4" || muxer == "mov" || muxer == "3gp";
}

const char* EncoderName(AVCodecID codec) {
  switch (codec) {
    case AV_CODEC_ID_H264:
      return "libx264";
    case AV_CODEC_ID_HEVC:
      return "libx265";
    case AV_CODEC_ID_MPEG4:
      return "mpeg4";
    case AV_CODEC_ID_MPEG2VIDEO:
      return "mpeg2video";
    case AV_CODEC_ID_MPEG1VIDEO:
      return "mpeg1video";
    case AV_CODEC_ID_H263:
      return "h263";
    default:
      return "";
  }
}

// Seconds from key frame to key frame of today's devices' streams.
constexpr double kKeyFrameSeconds = 2;

int Macroblocks(int width, int height) { return ((width + 15) / 16) * ((height + 15) / 16); }

// H.264 and MPEG-4 settings that the PSP and the iPod decode: the PSP takes
// H.264 Main Profile at level 2.1 (3.0 above 320x240-sized pictures) with
// at most two reference frames, the iPod Baseline at level 1.3 (3.0 for
// pictures that level can't hold). One slice per picture. Their rate
// ceilings and the MPEG-4 levels are ApplyDeviceLimits's.
// With Baseline's CAVLC, x264's trellis takes over a third of its time and
// subpixel refinement above 5 (where the psychovisual one starts) nearly a
// tenth more; on the iPod's small pictures they buy some 0.3 dB PSNR and no
// SSIM (a little less with them), so both are left off.
void SetDeviceVideo(const OutputConfig& output, const std::string& muxer, Mp4VideoSettings* video) {
  const int mbs = Macroblocks(video->width, video->height);
  if (video->codec == AV_CODEC_ID_H264 && (muxer == "psp" || muxer == "ipod")) {
    const std::string common = ":weightp=0:slices=1:sliced-threads=0";
    if (muxer == "psp") {
      video->profile = FF_PROFILE_H264_MAIN;
      video->level = mbs <= 396 ? 21 : 30;
      video->x264_params = "ref=2:bframes=2:b-pyramid=none" + common;
    } else {
      video->profile = FF_PROFILE_H264_BASELINE;
      const bool fits_13 = mbs <= 396 && mbs * output.out_frame_rate <= 11880;
      video->level = fits_13 ? 13 : 30;
      video->x264_params = "ref=1:bframes=0:cabac=0:8x8dct=0:trellis=0:subme=5" + common;
    }
  }
  video->single_slice = true;
}

// Phones and Apple's HEVC players: constant quality when asked for, a key
// frame every two seconds (a player seeks to one), the index first.
void SetTodaysDeviceVideo(const OutputConfig& output, Mp4VideoSettings* video, Mp4Plan* plan) {
  if (output.video_quality > 0) {
    video->crf = output.video_quality;
    video->bit_rate = 0;
  }
  const double fps = av_q2d(av_inv_q(video->time_base));
  video->gop_size = std::max(1, static_cast<int>(std::lround(fps * kKeyFrameSeconds)));
  // x264 looks 40 pictures ahead by default, which at 1920x1080 holds
  // some 130 MB more than 20 do for a hardly visible gain.
  if (video->codec == AV_CODEC_ID_H264) video->x264_params = "rc-lookahead=20";
  // 8-bit Main: the pictures reach the encoder as 8-bit 4:2:0.
  if (video->codec == AV_CODEC_ID_HEVC) video->x265_params = "log-level=error";
  plan->fast_start = true;
}

}  // namespace

std::string Mp4MuxerName(const OutputConfig& output) {
  switch (output.format) {
    case kFormatFfmpegAvi:
      return "avi";
    // "vob" writes an MPEG-2 program stream ("mpeg" would write MPEG-1
    // system packs), "dvd" one of 2,048-byte sectors with navigation packs.
    case kFormatMpeg:
      return "vob";
    case kFormatVob:
      return "dvd";
    case kFormat3gp:
      return "3gp";
    case kFormatQuickTime:
      return "mov";
    default:
      if (IsWebOutput(output)) return WebMuxerName(output);
      if (output.device_kind == kDevicePhone || output.device_kind == kDeviceHevc) return "mp4";
      return output.device_kind == kDevicePsp ? "psp" : "ipod";
  }
}

void SetFrameAndRate(const OutputConfig& output, AVCodecID codec, Mp4VideoSettings* video) {
  video->width = output.width;
  video->height = output.height;
  if (const PixelAspect pixel = OutputPixelAspect(output); pixel.num != pixel.den)
    video->sample_aspect = AVRational{pixel.num, pixel.den};
  video->time_base = Mp4VideoTimeBase(output, codec);
  video->bit_rate = static_cast<int64_t>(output.video_bitrate * 1000);
  // libavcodec's rate control steers by this many bits of deviation; 4
  // Mbit is half a minute of a 128 kbit/s phone clip, so a short file
  // could run at almost any rate. One second of the stream at most.
  if (video->bit_rate > 0 && video->bit_rate < video->bit_rate_tolerance)
    video->bit_rate_tolerance = static_cast<int>(video->bit_rate);
}

AVRational Mp4VideoTimeBase(const OutputConfig& output, AVCodecID codec) {
  double rate = output.out_frame_rate;
  // The PSP's grid; only for its own container, so that a PSP device left
  // over from an earlier profile does not re-time an AVI or a 3GP file.
  if (Mp4MuxerName(output) == "psp") rate = rate > 15 ? 29.97 : 14.985;
  if (codec == AV_CODEC_ID_MPEG2VIDEO || codec == AV_CODEC_ID_MPEG1VIDEO) {
    const double ntsc = rate * 1.001;
    const double whole = std::round(ntsc);
    if (std::fabs(ntsc - whole) < 0.0005 * whole && std::fabs(rate - std::round(rate)) > 0.001)
      return AVRational{1001, static_cast<int>(whole) * 1000};
  }
  // Thousandths of a frame per second, cut toward zero as the rate is
  // stored; 29.97 is 29970, not 29969, however the double rounds.
  const int thousandths = static_cast<int>(rate * 1000 + 1e-6);
  return AVRational{1000, thousandths > 0 ? thousandths : 1000};
}

int PlanMp4Output(const OutputConfig& output, Mp4Plan* plan) {
  if (IsWebOutput(output)) return PlanWebOutput(output, plan);
  *plan = Mp4Plan{};
  plan->muxer = Mp4MuxerName(output);
  const AVOutputFormat* container = av_guess_format(plan->muxer.c_str(), nullptr, nullptr);
  if (!container) return -1;
  AVCodecID video = container->video_codec;
  AVCodecID audio = container->audio_codec;
  uint32_t tag = 0;
  switch (output.format) {
    case kFormatMpeg:
    case kFormatVob:
      video = AV_CODEC_ID_MPEG2VIDEO;
      audio = output.mpg_ac3 ? AV_CODEC_ID_AC3 : AV_CODEC_ID_MP2;
      if (output.format == kFormatVob) plan->mux_rate = kDvdMuxBits;
      break;
    case kFormatFfmpegAvi:
      // Both MPEG-4 Simple by libavcodec, whose rate control keeps a
      // ceiling (XviD's one-pass mode through libavcodec takes none);
      // standalone players match the upper-case tags.
      video = AV_CODEC_ID_MPEG4;
      tag = FourCc(output.use_mpeg4_tag ? "DIVX" : "XVID");
      audio = AV_CODEC_ID_MP3;
      break;
    case kFormat3gp:
      if (output.format_3gp > 1) video = AV_CODEC_ID_MPEG4;
      if (output.format_3gp == 1 || output.format_3gp == 3) audio = AV_CODEC_ID_AAC;
      break;
    case kFormatMp4:
    case kFormatQuickTime:
      video = output.use_h264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4;
      if (plan->muxer == "mp4" && output.device_kind == kDevicePhone) video = AV_CODEC_ID_H264;
      if (plan->muxer == "mp4" && output.device_kind == kDeviceHevc) {
        // Apple's players open HEVC in MP4 only under the hvc1 sample
        // entry (parameter sets in the sample description).
        video = AV_CODEC_ID_HEVC;
        tag = FourCc("hvc1");
      }
      break;
    default:
      break;
  }

  Mp4VideoSettings& v = plan->video;
  v.codec = video;
  v.encoder = EncoderName(video);
  v.codec_tag = tag;
  SetFrameAndRate(output, video, &v);
  v.global_header = WantsGlobalHeader(plan->muxer);
  if (video == AV_CODEC_ID_MPEG2VIDEO) v.max_b_frames = 2;
  if (plan->muxer == "psp" || plan->muxer == "ipod" || plan->muxer == "3gp")
    SetDeviceVideo(output, plan->muxer, &v);
  if (plan->muxer == "mp4" &&
      (output.device_kind == kDevicePhone || output.device_kind == kDeviceHevc))
    SetTodaysDeviceVideo(output, &v, plan);
  ApplyDeviceLimits(output, plan->muxer, &v);

  Mp4AudioSettings& a = plan->audio;
  a.codec = audio;
  a.sample_rate = output.audio_output_freq;
  a.channels = output.audio_channels;
  // The encoders take the total of every channel.
  a.bit_rate = static_cast<int64_t>(output.audio_bitrate) * 1000;
  a.global_header = v.global_header;
  return 0;
}

}  // namespace ovc
