#include "platform/wmf/wm_codecs.h"

#include <algorithm>

#include "common/mutex.h"

namespace ovc::wmf {
namespace {

AudioCodecFormat Cbr(const char* description, int kbps, int rate, int channels,
                     int bits = 16) {
  return AudioCodecFormat{description, kbps * 1000, rate, channels, bits, false};
}

CodecTable MakeDefaultCodecs() {
  CodecTable table;
  // The standard WMA bitstream. Every format is one libavcodec's wmav2
  // encoder writes (24 kbit/s and up, 48 kHz at most, one or two channels)
  // and that common players decode. The order is the codec's own: the
  // music formats from the highest rate down, then the formats tuned for a
  // stream beside video, "(A/V)".
  Codec wma{"Windows Media Audio 9.2", MajorType::kAudio, kSubtypeWmAudioV8, "wmav2", {}};
  wma.formats = {
      Cbr("320 kbps, 44 kHz, stereo CBR", 320, 44100, 2),
      Cbr("256 kbps, 48 kHz, stereo 24 bit CBR", 256, 48000, 2, 24),
      Cbr("192 kbps, 48 kHz, stereo CBR", 192, 48000, 2),
      Cbr("192 kbps, 44 kHz, stereo CBR", 192, 44100, 2),
      Cbr("160 kbps, 48 kHz, stereo CBR", 160, 48000, 2),
      Cbr("160 kbps, 44 kHz, stereo CBR", 160, 44100, 2),
      Cbr("128 kbps, 48 kHz, stereo CBR", 128, 48000, 2),
      Cbr("128 kbps, 44 kHz, stereo CBR", 128, 44100, 2),
      Cbr("96 kbps, 48 kHz, stereo CBR", 96, 48000, 2),
      Cbr("96 kbps, 44 kHz, stereo CBR", 96, 44100, 2),
      Cbr("80 kbps, 44 kHz, stereo CBR", 80, 44100, 2),
      Cbr("64 kbps, 48 kHz, stereo CBR", 64, 48000, 2),
      Cbr("64 kbps, 44 kHz, stereo CBR", 64, 44100, 2),
      Cbr("48 kbps, 44 kHz, stereo CBR", 48, 44100, 2),
      Cbr("48 kbps, 32 kHz, stereo CBR", 48, 32000, 2),
      Cbr("40 kbps, 32 kHz, stereo CBR", 40, 32000, 2),
      Cbr("32 kbps, 44 kHz, stereo CBR", 32, 44100, 2),
      Cbr("32 kbps, 32 kHz, stereo CBR", 32, 32000, 2),
      Cbr("32 kbps, 22 kHz, stereo CBR", 32, 22050, 2),
      Cbr("24 kbps, 22 kHz, stereo CBR", 24, 22050, 2),
      Cbr("48 kbps, 44 kHz, mono CBR", 48, 44100, 1),
      Cbr("32 kbps, 44 kHz, mono CBR", 32, 44100, 1),
      Cbr("32 kbps, 22 kHz, mono CBR", 32, 22050, 1),
      Cbr("24 kbps, 22 kHz, mono CBR", 24, 22050, 1),
      Cbr("24 kbps, 16 kHz, mono CBR", 24, 16000, 1),
      Cbr("24 kbps, 8 kHz, mono CBR", 24, 8000, 1),
      Cbr("64 kbps, 44 kHz, stereo (A/V) CBR", 64, 44100, 2),
      Cbr("48 kbps, 44 kHz, stereo (A/V) CBR", 48, 44100, 2),
      Cbr("32 kbps, 32 kHz, stereo (A/V) CBR", 32, 32000, 2),
      Cbr("24 kbps, 22 kHz, mono (A/V) CBR", 24, 22050, 1),
  };
  table.push_back(std::move(wma));
  table.push_back(Codec{"Windows Media Video 8", MajorType::kVideo, kSubtypeWmv2, "wmv2", {}});
  table.push_back(Codec{"Windows Media Video 7", MajorType::kVideo, kSubtypeWmv1, "wmv1", {}});
  return table;
}

Mutex installed_lock;
std::shared_ptr<const CodecTable> installed OVC_GUARDED_BY(installed_lock);

// Samples per WMA frame for version 2 of the bitstream, by sampling rate.
int WmaFrameLength(int sample_rate) {
  if (sample_rate <= 16000) return 512;
  if (sample_rate <= 22050) return 1024;
  return 2048;
}

}  // namespace

const CodecTable& DefaultCodecs() {
  static const CodecTable table = MakeDefaultCodecs();
  return table;
}

std::shared_ptr<const CodecTable> InstalledCodecs() {
  MutexLock lock(&installed_lock);
  if (!installed) installed = std::make_shared<const CodecTable>(DefaultCodecs());
  return installed;
}

ScopedCodecTable::ScopedCodecTable(CodecTable table) {
  auto replacement = std::make_shared<const CodecTable>(std::move(table));
  MutexLock lock(&installed_lock);
  previous_ = installed;
  installed = std::move(replacement);
}

ScopedCodecTable::~ScopedCodecTable() {
  MutexLock lock(&installed_lock);
  installed = std::move(previous_);
}

const Codec* FindCodecBySubtype(const CodecTable& table, MajorType type, uint32_t subtype) {
  auto found = std::find_if(table.begin(), table.end(), [&](const Codec& codec) {
    return codec.type == type && codec.subtype == subtype;
  });
  return found == table.end() ? nullptr : &*found;
}

MediaType AudioFormatMediaType(const Codec& codec, const AudioCodecFormat& format) {
  MediaType type;
  type.major_type = MajorType::kAudio;
  type.subtype = codec.subtype;
  type.fixed_size_samples = true;
  WaveFormatEx wave;
  wave.format_tag = static_cast<uint16_t>(codec.subtype);
  wave.channels = static_cast<uint16_t>(format.channels);
  wave.samples_per_sec = static_cast<uint32_t>(format.sample_rate);
  wave.avg_bytes_per_sec = static_cast<uint32_t>(format.bit_rate / 8);
  int64_t block = static_cast<int64_t>(format.bit_rate) * WmaFrameLength(format.sample_rate) /
                  (static_cast<int64_t>(format.sample_rate) * 8);
  wave.block_align = static_cast<uint16_t>(std::clamp<int64_t>(block, 1, 32768 - 1));
  wave.bits_per_sample = static_cast<uint16_t>(format.bits_per_sample);
  type.sample_size = wave.block_align;
  type.SetWaveFormat(wave);
  return type;
}

MediaType VideoCodecMediaType(const Codec& codec) {
  MediaType type;
  type.major_type = MajorType::kVideo;
  type.subtype = codec.subtype;
  type.temporal_compression = true;
  VideoInfoHeader info;
  info.source = Rect32{0, 0, 320, 240};
  info.target = info.source;
  info.bit_rate = 300000;
  info.avg_time_per_frame = 10000000 / 30;
  info.bmi.width = 320;
  info.bmi.height = 240;
  info.bmi.bit_count = 24;
  info.bmi.compression = codec.subtype;
  type.SetVideoInfo(info);
  return type;
}

}  // namespace ovc::wmf
