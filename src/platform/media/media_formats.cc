#include "platform/media/media_formats.h"

#include <cstdlib>

extern "C" {
#include <libavutil/rational.h>
}

namespace ovc::media {
namespace {

template <typename Header>
void FillVideoHeader(int32_t width, int32_t height, ReferenceTime avg_time_per_frame,
                     Header* header) {
  header->source = {0, 0, width, height};
  header->target = {0, 0, width, height};
  header->avg_time_per_frame = avg_time_per_frame;
  const int64_t frame_bytes = int64_t{width} * height * 2;
  if (avg_time_per_frame > 0) {
    header->bit_rate =
        static_cast<uint32_t>(frame_bytes * 8 * kUnitsPerSecond / avg_time_per_frame);
  }
  header->bmi.width = width;
  header->bmi.height = height;
  header->bmi.planes = 1;
  header->bmi.bit_count = 16;
  header->bmi.compression = kSubtypeYuy2;
  header->bmi.size_image = static_cast<uint32_t>(frame_bytes);
}

}  // namespace

MediaType MakeYuy2Type(int32_t width, int32_t height, int32_t sample_aspect_x,
                       int32_t sample_aspect_y, ReferenceTime avg_time_per_frame,
                       bool interlaced) {
  MediaType type;
  type.major = MajorType::kVideo;
  type.subtype = kSubtypeYuy2;
  const bool square = sample_aspect_x <= 0 || sample_aspect_y <= 0 ||
                      sample_aspect_x == sample_aspect_y;
  if (square) {
    type.format_type = FormatType::kVideoInfo;
    FillVideoHeader(width, height, avg_time_per_frame, &type.video);
    return type;
  }
  type.format_type = FormatType::kVideoInfo2;
  FillVideoHeader(width, height, avg_time_per_frame, &type.video2);
  type.video2.interlace_flags = interlaced ? 1 : 0;
  const int64_t aspect_x = int64_t{width} * sample_aspect_x;
  const int64_t aspect_y = int64_t{height} * sample_aspect_y;
  int reduced_x = 0;
  int reduced_y = 0;
  av_reduce(&reduced_x, &reduced_y, aspect_x, aspect_y, 1 << 30);
  type.video2.picture_aspect_x = static_cast<uint32_t>(reduced_x);
  type.video2.picture_aspect_y = static_cast<uint32_t>(reduced_y);
  return type;
}

MediaType MakePcmType(int32_t samples_per_sec, int32_t channels, int32_t bits) {
  MediaType type;
  type.major = MajorType::kAudio;
  type.subtype = kSubtypePcm;
  type.format_type = FormatType::kWaveFormatEx;
  type.wave.format_tag = 1;
  type.wave.channels = static_cast<uint16_t>(channels);
  type.wave.samples_per_sec = static_cast<uint32_t>(samples_per_sec);
  type.wave.bits_per_sample = static_cast<uint16_t>(bits);
  type.wave.block_align = static_cast<uint16_t>(channels * bits / 8);
  type.wave.avg_bytes_per_sec = type.wave.samples_per_sec * type.wave.block_align;
  return type;
}

bool Yuy2Geometry(const MediaType& type, int32_t* width, int32_t* height, int32_t* stride) {
  if (type.major != MajorType::kVideo || type.subtype != kSubtypeYuy2) return false;
  const BitmapHeader* bmi = nullptr;
  if (type.format_type == FormatType::kVideoInfo) bmi = &type.video.bmi;
  else if (type.format_type == FormatType::kVideoInfo2) bmi = &type.video2.bmi;
  else return false;
  *width = bmi->width;
  *height = std::abs(bmi->height);
  *stride = bmi->width * 2;
  return true;
}

}  // namespace ovc::media
