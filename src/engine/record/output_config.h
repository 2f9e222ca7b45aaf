#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ovc {

// Container and writer codes of OutputConfig::format.
//   0  AVI through AviWriter, video by an installed compressor, audio MP3
//   1  Windows Media
//   2  MP4 for a PSP or an iPod (and every code from 8 up)
//   3  AVI written by FFmpeg: XviD, or MPEG-4 tagged DIVX; MP3
//   4  MPEG program stream: MPEG-2 video, MP2 or AC-3
//   5  MPEG program stream as a DVD player's VOB file
//   6  3GP, codecs by format_3gp
//   7  QuickTime
enum OutputFormat : int {
  kFormatAvi = 0,
  kFormatWmv = 1,
  kFormatMp4 = 2,
  kFormatFfmpegAvi = 3,
  kFormatMpeg = 4,
  kFormatVob = 5,
  kFormat3gp = 6,
  kFormatQuickTime = 7,
};

// Which flavour of the FFmpeg-written outputs (format 2) a device gets:
// the MP4 players of old, today's phones (H.264 High) and Apple's HEVC
// players in MP4, and the web's WebM (VP9 + Opus) and AV1 + Opus files.
enum DeviceKind : int {
  kDevicePsp = 0,
  kDeviceIpod = 1,
  kDeviceOtherPlayer = 2,
  kDevicePhone = 3,
  kDeviceHevc = 4,
  kDeviceWebm = 5,
  kDeviceAv1 = 6,
};

// Four-character codes held as little-endian 32-bit words.
constexpr uint32_t FourCc(std::string_view code) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4 && i < code.size(); ++i)
    value |= static_cast<uint32_t>(static_cast<uint8_t>(code[i])) << (8 * i);
  return value;
}

// The video compressor of format 0.
struct AviCodec {
  std::string name = "XviD MPEG-4 Codec";  // display name, setting "VideoCodec"
  uint32_t fcc_type = FourCc("vidc");
  uint32_t fcc_handler = FourCc("XVID");
};

// Everything a recording needs to know about its output. The settings load
// fills it at start-up, the profile in use and the main window change it.
struct OutputConfig {
  std::string title;             // the source's base name; MP4/3GP metadata
  int file_number = 0;           // output counter, for generated names
  int audio_volume = 5;          // 1..9, 5 = unchanged
  int audio_quality_level = 2;   // kept, not used by the encoders
  double out_frame_rate = 15;    // frames per second
  int disable_screensaver = 1;
  float video_bitrate = 240;     // kbit/s
  // Constant quality (x264/x265/VP9/AV1 CRF) instead of video_bitrate;
  // 0 = the bit rate rules.
  int video_quality = 0;
  int audio_bitrate = 128;       // kbit/s
  int audio_sampling = 0;        // rate code: 0 22050, 1 44100, 2 8000, 3+ 48000
  int audio_output_freq = 22050; // Hz
  int stereo = 0;                // 3 = mono, else stereo
  int audio_channels = 2;        // 1 or 2
  int mp3_setting_19 = 0;        // MP3 encoder parameters 19 and 17
  int mp3_setting_17 = 0;
  int left_right_channel = 1;    // stereo to mono: 0 mix, 1 left, 2 right
  int width = 320;
  int height = 240;
  bool auto_stretch = false;
  int n_pass = 1;                // 1 or 2
  int pass = 1;                  // current pass
  // Given to the writer of each file of two passes by the recording
  // session: the rate-control statistics of the recorded range (a file in
  // the temp folder), and the picture of the range the file begins with.
  std::string rate_stats_path;
  int64_t part_first_frame = 0;
  float output_size = 250;       // target size for estimates
  // The Output Setting aspect choice (setting "vc_aspect"): 0 keeps the
  // picture's shape, 1 stretches widescreen pictures to 4:3 (see
  // OutputPictureAspect).
  int vc_aspect = 0;
  int brightness_a = 0;          // additive brightness term
  float brightness_b = 1;        // brightness gain
  int split_size = 2048;         // MB
  // Power off when the conversion is done; chosen per run, never stored.
  bool shutdown_when_done = false;

  // Beside the record: the container and its codec choices.
  int format = kFormatAvi;
  int format_3gp = 0;            // 0 H.263+AMR, 1 H.263+AAC, 2 MPEG-4+AMR, 3 MPEG-4+AAC
  int device_kind = kDevicePsp;
  // The profile in use is made for the PSP (its "device" is "PSP"); set by
  // ApplyProfile.
  bool psp_profile = false;
  bool use_h264 = false;
  bool use_mpeg4_tag = false;
  bool mpg_ac3 = false;
  AviCodec avi_codec;
  // The Windows Media codecs and audio format of format 1, by name.
  std::string wm_video_codec = "Windows Media Video 8";
  std::string wm_audio_codec = "Windows Media Audio 9.2";
  std::string wm_audio_format = "64 kbps, 44 kHz, stereo CBR";

  // The input as the playback engine reports it.
  int input_sample_rate = 44100; // Hz
  int input_channels = 2;        // 1..6, signed 16-bit interleaved
  int source_width = 0;
  int source_height = 0;
  double source_frame_rate = 0;  // frames per second the file declares; 0 unknown
  int aspect_x = 4;              // source display aspect, e.g. 4:3
  int aspect_y = 3;
};

}  // namespace ovc
