#include "platform/wmf/wm_media_type.h"

#include "platform/av/i420_frame.h"

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

namespace {

MediaType VideoMediaType(uint32_t subtype, int bit_count, uint32_t image_size, int width,
                         int height, int64_t avg_time_per_frame) {
  MediaType type;
  type.major_type = MajorType::kVideo;
  type.subtype = subtype;
  VideoInfoHeader info;
  info.source = Rect32{0, 0, width, height};
  info.target = info.source;
  info.avg_time_per_frame = avg_time_per_frame;
  info.bmi.width = width;
  info.bmi.height = height;
  info.bmi.bit_count = static_cast<uint16_t>(bit_count);
  info.bmi.compression = subtype;
  info.bmi.image_size = image_size;
  type.SetVideoInfo(info);
  return type;
}

}  // namespace

MediaType Yuy2MediaType(int width, int height, int64_t avg_time_per_frame) {
  return VideoMediaType(kSubtypeYuy2, 16,
                        static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 2, width,
                        height, avg_time_per_frame);
}

MediaType I420MediaType(int width, int height, int64_t avg_time_per_frame) {
  return VideoMediaType(kSubtypeI420, 12,
                        static_cast<uint32_t>(av::I420Frame{width, height}.bytes()), width,
                        height, avg_time_per_frame);
}

}  // namespace ovc::wmf
