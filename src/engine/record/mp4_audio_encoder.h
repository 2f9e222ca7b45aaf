#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/record/mp4_av_handles.h"

namespace ovc {

// An audio encoder of the FFmpeg writer: takes interleaved signed 16-bit
// PCM one encoder frame at a time and hands each encoded packet to a
// Mp4PacketWriter, time-stamped in sample frames (time base 1/sample rate).
// Two kinds: libavcodec's encoders, and AMR-NB through libopencore-amrnb,
// which libavcodec here lacks.
//
// Used by one thread at a time (the audio encoding thread, then Finish).
class Mp4AudioEncoder {
 public:
  virtual ~Mp4AudioEncoder() = default;

  // Sample frames per encoded frame.
  virtual int frame_size() const = 0;
  // Whether the last frame of a stream may be shorter than frame_size();
  // otherwise the caller pads it with silence.
  virtual bool takes_short_last_frame() const = 0;
  virtual int sample_rate() const = 0;
  // Sample frames of encoder delay before the first input sample: the
  // first packets carry times this far below 0.
  virtual int initial_padding() const = 0;
  virtual int channels() const = 0;
  // The stream parameters a muxer needs.
  virtual int FillParameters(AVCodecParameters* parameters) const = 0;

  // Encodes `samples` sample frames at `pts` (sample frames from the
  // stream start): frame_size(), or fewer for the last frame when
  // takes_short_last_frame(). Returns 0, the write's own negative result,
  // or a negative AVERROR of the encoder.
  virtual int Encode(const int16_t* pcm, int samples, int64_t pts,
                     const Mp4PacketWriter& write) = 0;
  // Writes what the encoder still holds. Returns as Encode.
  virtual int Flush(const Mp4PacketWriter& write) = 0;
};

struct Mp4AudioSettings {
  AVCodecID codec = AV_CODEC_ID_NONE;
  int sample_rate = 44100;    // Hz
  int channels = 2;           // 1 or 2
  int64_t bit_rate = 128000;  // bits per second, all channels together
  bool global_header = false;
};

// Opens libavcodec's encoder for settings.codec (by its preferred name
// first: "aac", "libmp3lame", "mp2", "ac3", "libopus"). On failure returns
// null and sets *reason to why, in words for the user.
std::unique_ptr<Mp4AudioEncoder> OpenLavcAudioEncoder(const Mp4AudioSettings& settings,
                                                      std::string* reason);

}  // namespace ovc
