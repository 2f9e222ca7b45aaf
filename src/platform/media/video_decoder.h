#pragma once

#include "platform/media/decoder_filter.h"

namespace ovc::media {

// "Video Decoder": decodes the file's video stream into packed YUY2 (through
// libswscale from whatever the codec produces), with the plain video format
// block, or the extended one when the pixels are not square. An odd width is
// widened by one pixel, as YUY2 pairs pixels. Each picture starts at its
// timestamp and lasts its packet's duration (the frame rate's when unknown).
class VideoDecoder final : public DecoderFilter {
 public:
  VideoDecoder() : DecoderFilter(MajorType::kVideo) {}

 protected:
  MediaResult PrepareOutput(const StreamInfo& info, MediaType* type) override;
  void ResetRun() override;
  void DeliverFrame(AVFrame& frame) override;

 private:
  MediaType TypeFor(int32_t width, int32_t height, AVRational sample_aspect) const;

  // Set when the input connects (no streaming thread runs then).
  ReferenceTime avg_time_per_frame_ = 0;
  bool interlaced_ = false;

  // The size of the pictures delivered: set when the input connects, then
  // written by the streaming thread only.
  int32_t out_width_ = 0;
  int32_t out_height_ = 0;

  // Written by the streaming thread only.
  SwsContextPtr scaler_;
  ReferenceTime next_start_ = 0;  // for frames without a timestamp
};

}  // namespace ovc::media
