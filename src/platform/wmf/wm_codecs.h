#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/wmf/wm_media_type.h"

namespace ovc::wmf {

// One format an audio codec offers, described as the codec names it.
struct AudioCodecFormat {
  std::string description;   // e.g. "64 kbps, 44 kHz, stereo CBR"
  int bit_rate = 0;          // bits per second, all channels
  int sample_rate = 0;       // Hz
  int channels = 0;
  int bits_per_sample = 16;  // of the decoded audio
  bool vbr = false;          // listed only while "_VBRENABLED" is true
};

// An installed Windows Media codec and the libavcodec encoder behind it.
struct Codec {
  std::string name;          // as the codec information lists it
  MajorType type = MajorType::kUnknown;
  uint32_t subtype = 0;      // the subtype of the streams it writes
  std::string encoder;       // libavcodec encoder name
  std::vector<AudioCodecFormat> formats;  // audio codecs only
};

using CodecTable = std::vector<Codec>;

// The codecs of this machine: audio "Windows Media Audio 9.2" (the standard
// WMA bitstream, libavcodec wmav2) with its formats, video "Windows Media
// Video 8" (wmv2) and "Windows Media Video 7" (wmv1).
std::shared_ptr<const CodecTable> InstalledCodecs();

// The built-in table, whatever is installed at the moment.
const CodecTable& DefaultCodecs();

// Replaces the installed codecs for the lifetime of the object (tests use
// it to present other machines). Profile managers and writers created
// meanwhile keep the table they started with.
class ScopedCodecTable {
 public:
  explicit ScopedCodecTable(CodecTable table);
  ~ScopedCodecTable();
  ScopedCodecTable(const ScopedCodecTable&) = delete;
  ScopedCodecTable& operator=(const ScopedCodecTable&) = delete;

 private:
  std::shared_ptr<const CodecTable> previous_;
};

// The codec that writes streams of `subtype`; null when none is installed.
const Codec* FindCodecBySubtype(const CodecTable& table, MajorType type, uint32_t subtype);

// The stream media type of an audio format: WMA's wave format with the
// format's rate, channels and bytes per second, and the block the encoder
// writes per frame.
MediaType AudioFormatMediaType(const Codec& codec, const AudioCodecFormat& format);

// The template media type of a video codec: 320 × 240 at 30 frames per
// second and 300 kbit/s, which stream builders then adjust.
MediaType VideoCodecMediaType(const Codec& codec);

}  // namespace ovc::wmf
