#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/record/mp4_av_handles.h"
#include "engine/record/mp4_format_plan.h"
#include "engine/record/peak_window.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace ovc {

// The video encoder of the FFmpeg writer: encodes each 4:2:0 frame, handing
// every packet to a
// Mp4PacketWriter time-stamped in frames (the encoder's time base is one
// frame period). Used by one thread at a time (the video encoding thread,
// then Finish).
class Mp4VideoEncoder {
 public:
  // Opens the encoder the settings name. On failure returns null and sets
  // *reason to why, in words for the user.
  static std::unique_ptr<Mp4VideoEncoder> Open(const Mp4VideoSettings& settings,
                                               std::string* reason);
  ~Mp4VideoEncoder();

  // The encoder's name, e.g. "libx264".
  const char* name() const { return context_->codec->name; }
  AVRational time_base() const { return context_->time_base; }
  AVRational frame_rate() const { return context_->framerate; }
  // Describes the stream to the muxer: codec parameters, and the rate
  // ceiling and buffer (which the MPEG program stream sizes its own
  // buffers and mux rate by). Returns 0 or a negative AVERROR.
  int FillStream(AVStream* stream) const;

  // Encodes one 4:2:0 frame of width × height (av::I420Frame), the next
  // frame period after the last. Returns 0, the write's own negative result
  // or a negative AVERROR of the encoder.
  int Encode(const uint8_t* i420, const Mp4PacketWriter& write);
  // Writes the frames the encoder still holds (reordering, look-ahead).
  int Flush(const Mp4PacketWriter& write);

 private:
  Mp4VideoEncoder(Mp4CodecContextPtr context, Mp4FramePtr frame, Mp4PacketPtr packet,
                  int64_t peak_bits);
  int Receive(const Mp4PacketWriter& write);
  // Chooses the pass this file is encoded in and sets the encoder's flags
  // and statistics for it (before the encoder is opened).
  static int SetUpPass(const Mp4VideoSettings& settings, AVCodecContext* context,
                       std::string* stats_in);

  Mp4CodecContextPtr context_;
  Mp4FramePtr frame_;  // the picture given to the encoder
  Mp4PacketPtr packet_;
  int64_t next_pts_ = 0;  // frames
  PeakWindow peak_window_;
  const bool guard_peak_;
  int64_t frames_coded_ = 0;  // pictures given to the encoder
  // The first of two passes with libavcodec's rate control: the records
  // its encoder wrote, added to the range's statistics by Flush.
  int pass_ = 0;
  std::string stats_path_;
  int64_t first_frame_ = 0;
  std::string stats_out_;
  // x264 coded a first-pass part after the range's first picture: its
  // statistics join the range's once it is closed.
  bool join_x264_part_ = false;
};

}  // namespace ovc
