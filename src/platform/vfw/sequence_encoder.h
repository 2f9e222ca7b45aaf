#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/vfw/av_handles.h"
#include "platform/vfw/compressor_settings.h"
#include "platform/vfw/compressor_table.h"

namespace ovc::vfw {

// What one libavcodec encoder instance is opened with.
struct EncoderSetup {
  const CompressorInfo* info = nullptr;
  // The frames given: packed YUY2 or planar I420 (av::I420Frame).
  AVPixelFormat input_format = AV_PIX_FMT_YUYV422;
  int width = 0;  // pixels
  int height = 0;
  AVRational frame_rate{15, 1};  // frames per second
  int key_interval = 0;          // a key frame at least every this many frames
  int64_t bit_rate = 0;          // bit/s; 0 = constant quality
  uint32_t quality = 0;          // 0..10000, used at constant quality
  PassMode pass = PassMode::kOnePass;
  std::string stats_in;          // second pass: the first pass's statistics
};

// One libavcodec encoder fed with packed YUY2 or planar I420 frames:
// converts each frame to the encoder's pixel format (I420 frames for a 4:2:0
// encoder are copied as they are) and returns its compressed frame at once
// (the encoder runs without B-frames, so there is no delay).
class SequenceEncoder {
 public:
  // nullptr when the encoder is missing or refuses the setup (traced).
  static std::unique_ptr<SequenceEncoder> Open(EncoderSetup setup);

  SequenceEncoder(const SequenceEncoder&) = delete;
  SequenceEncoder& operator=(const SequenceEncoder&) = delete;
  ~SequenceEncoder();

  // Encodes one frame of the input format. Returns 0 with the
  // compressed frame in *packet (owned by the encoder, valid until the next
  // call; size 0 when the encoder gave nothing for this frame), or -1.
  int Encode(const uint8_t* picture, bool force_key_frame, const AVPacket** packet);

  // The rate-control statistics the last Encode produced (first pass only),
  // or "".
  const std::string& last_stats() const { return last_stats_; }

 private:
  explicit SequenceEncoder(EncoderSetup setup);
  int OpenCodec();

  // Declared before the context: the context's stats_in points into it
  // (and libavcodec's rate control writes into it while parsing).
  std::string stats_in_;
  const EncoderSetup setup_;  // without stats_in
  CodecContextPtr context_;
  SwsContextPtr converter_;  // null where frames are copied
  // I420 to YUY2 ahead of converter_, and its packed frame.
  SwsContextPtr to_packed_;
  std::vector<uint8_t> packed_;
  FramePtr frame_;
  PacketPtr packet_;
  int64_t next_pts_ = 0;
  std::string last_stats_;
};

}  // namespace ovc::vfw
