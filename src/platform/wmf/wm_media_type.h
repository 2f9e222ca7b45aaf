#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace ovc::wmf {

// Major type of a stream or an input (WMMEDIATYPE_Audio, WMMEDIATYPE_Video).
enum class MajorType { kUnknown, kAudio, kVideo };

// A media subtype is identified by the first 32 bits of its GUID: the wave
// format tag for audio, the four-character code for video.
constexpr uint32_t FourCcCode(std::string_view code) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4 && i < code.size(); ++i)
    value |= static_cast<uint32_t>(static_cast<uint8_t>(code[i])) << (8 * i);
  return value;
}

inline constexpr uint32_t kSubtypePcm = 0x0001;        // WMMEDIASUBTYPE_PCM
inline constexpr uint32_t kSubtypeWmAudioV8 = 0x0161;  // WMMEDIASUBTYPE_WMAudioV8: standard WMA
inline constexpr uint32_t kSubtypeYuy2 = FourCcCode("YUY2");
inline constexpr uint32_t kSubtypeI420 = FourCcCode("I420");
inline constexpr uint32_t kSubtypeWmv1 = FourCcCode("WMV1");
inline constexpr uint32_t kSubtypeWmv2 = FourCcCode("WMV2");
inline constexpr uint32_t kSubtypeWmv3 = FourCcCode("WMV3");

// What the format block of a media type holds (WMFORMAT_WaveFormatEx,
// WMFORMAT_VideoInfo).
enum class FormatType { kNone, kWaveFormatEx, kVideoInfo };

inline constexpr uint16_t kWaveFormatPcm = 1;  // WAVE_FORMAT_PCM

#pragma pack(push, 1)
// WAVEFORMATEX: 18 bytes, followed by `extra_size` bytes of codec data.
struct WaveFormatEx {
  uint16_t format_tag = 0;
  uint16_t channels = 0;
  uint32_t samples_per_sec = 0;    // Hz
  uint32_t avg_bytes_per_sec = 0;
  uint16_t block_align = 0;        // bytes
  uint16_t bits_per_sample = 0;
  uint16_t extra_size = 0;
};

struct Rect32 {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// BITMAPINFOHEADER: 40 bytes.
struct BitmapInfoHeader {
  uint32_t size = 40;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 1;
  uint16_t bit_count = 0;
  uint32_t compression = 0;        // four-character code
  uint32_t image_size = 0;         // bytes
  int32_t x_pels_per_meter = 0;
  int32_t y_pels_per_meter = 0;
  uint32_t colors_used = 0;
  uint32_t colors_important = 0;
};

// VIDEOINFOHEADER: 88 bytes.
struct VideoInfoHeader {
  Rect32 source;
  Rect32 target;
  uint32_t bit_rate = 0;           // bits per second
  uint32_t bit_error_rate = 0;
  int64_t avg_time_per_frame = 0;  // 100-ns units
  BitmapInfoHeader bmi;
};
#pragma pack(pop)

static_assert(sizeof(WaveFormatEx) == 18);
static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(sizeof(VideoInfoHeader) == 88);

// WM_MEDIA_TYPE: the type of a stream's compressed data or of an input's
// uncompressed samples. The format block is kept as bytes, as the platform
// passes it; the accessors view it as its structure when it is big enough.
struct MediaType {
  MajorType major_type = MajorType::kUnknown;
  uint32_t subtype = 0;
  bool fixed_size_samples = false;
  bool temporal_compression = false;
  uint32_t sample_size = 0;
  FormatType format_type = FormatType::kNone;
  std::vector<uint8_t> format;  // cbFormat bytes

  void SetWaveFormat(const WaveFormatEx& wave) { SetFormat(FormatType::kWaveFormatEx, wave); }
  void SetVideoInfo(const VideoInfoHeader& info) { SetFormat(FormatType::kVideoInfo, info); }

  // The format block as its structure; null when the type holds another
  // kind of block or fewer bytes than the structure needs.
  const WaveFormatEx* wave_format() const { return View<WaveFormatEx>(FormatType::kWaveFormatEx); }
  WaveFormatEx* wave_format() {
    return const_cast<WaveFormatEx*>(std::as_const(*this).wave_format());
  }
  const VideoInfoHeader* video_info() const {
    return View<VideoInfoHeader>(FormatType::kVideoInfo);
  }
  VideoInfoHeader* video_info() {
    return const_cast<VideoInfoHeader*>(std::as_const(*this).video_info());
  }

  bool operator==(const MediaType&) const = default;

 private:
  template <class Block>
  void SetFormat(FormatType type, const Block& block) {
    format_type = type;
    format.resize(sizeof(Block));
    std::memcpy(format.data(), &block, sizeof(Block));
  }
  // The blocks are packed, so any byte address holds them.
  template <class Block>
  const Block* View(FormatType type) const {
    if (format_type != type || format.size() < sizeof(Block)) return nullptr;
    return reinterpret_cast<const Block*>(format.data());
  }
};

// 16-bit PCM of `channels` channels at `rate` Hz.
MediaType PcmMediaType(int channels, int rate);
// Packed YUY2 frames of width × height pixels, `avg_time_per_frame` 100-ns
// units apart.
MediaType Yuy2MediaType(int width, int height, int64_t avg_time_per_frame);
// Planar I420 frames (av::I420Frame) of width × height pixels, likewise.
MediaType I420MediaType(int width, int height, int64_t avg_time_per_frame);

}  // namespace ovc::wmf
