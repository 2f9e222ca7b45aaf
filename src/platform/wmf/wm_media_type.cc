#include "platform/wmf/wm_media_type.h"

namespace ovc::wmf {

MediaType PcmMediaType(int channels, int rate) {
  MediaType type;
  type.major_type = MajorType::kAudio;
  type.subtype = kSubtypePcm;
  WaveFormatEx wave;
  wave.format_tag = kWaveFormatPcm;
  wave.channels = static_cast<uint16_t>(channels);
  wave.samples_per_sec = static_cast<uint32_t>(rate);
  wave.block_align = static_cast<uint16_t>(channels * 2);
  wave.avg_bytes_per_sec = wave.samples_per_sec * wave.block_align;
  wave.bits_per_sample = 16;
  type.SetWaveFormat(wave);
  return type;
}

MediaType Yuy2MediaType(int width, int height, int64_t avg_time_per_frame) {
  MediaType type;
  type.major_type = MajorType::kVideo;
  type.subtype = kSubtypeYuy2;
  VideoInfoHeader info;
  info.source = Rect32{0, 0, width, height};
  info.target = info.source;
  info.avg_time_per_frame = avg_time_per_frame;
  info.bmi.width = width;
  info.bmi.height = height;
  info.bmi.bit_count = 16;
  info.bmi.compression = kSubtypeYuy2;
  info.bmi.image_size = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 2;
  type.SetVideoInfo(info);
  return type;
}

}  // namespace ovc::wmf
