#pragma once

#include <atomic>
#include <memory>
#include <optional>

#include "platform/media/decoder_filter.h"
#include "platform/media/hdr_tone_map.h"
#include "platform/media/upright_picture.h"

namespace ovc::media {

// "Video Decoder": decodes the file's video stream into packed YUY2 (through
// libswscale from whatever the codec produces), with the plain video format
// block, or the extended one when the pixels are not square. An odd width is
// widened by one pixel, as YUY2 pairs pixels. Each picture starts at its
// timestamp and lasts its packet's duration (the frame rate's when unknown).
// Pictures of a stream that is to be shown turned (a phone held upright or
// upside down) are delivered turned, upright, with the turned size and
// pixel shape; interlaced pictures have their fields blended, so that
// moving edges show no combs, unless they are shown at half their height
// or less (set_shown_size): scaling them down that far merges the lines
// of both fields anyway, and the blend would only soften the picture.
// Pictures shown at a third of their size or less each way (sizes multiples
// of 4) are delivered halved, as the capture would halve them before
// scaling: a turn, a narrowing and what follows handle a quarter of the
// samples, and a quarter of the picture is kept.
// HDR pictures (PQ, HLG) are tone-mapped and BT.2020 ones converted to
// 8-bit BT.709 SDR (ColourConverter); a stream whose colours cannot be
// converted is refused.
class VideoDecoder final : public DecoderFilter {
 public:
  VideoDecoder() : DecoderFilter(MajorType::kVideo) {}

  // The size the whole upright picture is shown at in the output; 0 × 0
  // when not known (fields are then blended, pictures never halved). Any
  // thread.
  void set_shown_size(int width, int height) { shown_size_.store(ShownSize{width, height}); }

 protected:
  MediaResult PrepareOutput(const StreamInfo& info, MediaType* type) override;
  void ResetRun() override;
  void DeliverFrame(AVFrame& frame) override;

 private:
  MediaType TypeFor(int32_t width, int32_t height, AVRational sample_aspect) const;
  // `frame` itself when its colours go on as decoded; else the picture
  // tone-mapped (HDR) or converted (BT.2020) to 8-bit BT.709, or nullptr
  // when that fails (the picture is dropped, the trace says why).
  AVFrame* WithSdrColours(AVFrame& frame);
  // Eight bytes on their own alignment: loaded and stored whole without a
  // lock.
  struct alignas(8) ShownSize {
    int width = 0;
    int height = 0;
  };
  // Whether the frame, turned upright, is shown at a third of its size or
  // less each way.
  bool ShownAtAThird(const AVFrame& frame) const;
  // Delivers the frame turned upright and with its fields blended as
  // needed; drops a frame libswscale cannot convert.
  void DeliverUpright(AVFrame& frame, bool interlaced, ReferenceTime start, ReferenceTime stop);
  // Delivers `picture`, the frame as 4:2:0, turned as the stream says.
  void DeliverTurned(const I420Buffer& picture, const AVFrame& frame, ReferenceTime start,
                     ReferenceTime stop);
  // Delivers `picture`, made from `frame`, announcing its size and pixel
  // shape when they changed.
  void DeliverPicture(const AVFrame& frame, const I420Buffer& picture, ReferenceTime start,
                      ReferenceTime stop);
  // Packs 4:2:0 planes of the delivered size into the sample and delivers
  // it, the planes passed along.
  void PackAndDeliver(const PlanarPicture& planes, ReferenceTime start, ReferenceTime stop);

  // Set when the input connects (no streaming thread runs then).
  ReferenceTime avg_time_per_frame_ = 0;
  bool interlaced_ = false;
  int rotation_ = 0;  // degrees clockwise
  ColourFacts stream_colours_;
  // Set from any thread, read by the streaming thread.
  std::atomic<ShownSize> shown_size_{ShownSize{}};
  static_assert(std::atomic<ShownSize>::is_always_lock_free);

  // The size of the pictures delivered: set when the input connects, then
  // written by the streaming thread only.
  int32_t out_width_ = 0;
  int32_t out_height_ = 0;

  // Written by the streaming thread only.
  SwsContextPtr scaler_;
  SwsContextPtr to_i420_;
  std::unique_ptr<ColourConverter> colours_;
  std::optional<ColourFacts> traced_colours_;  // the colours last traced
  I420Buffer halved_;     // the frame, or that as 4:2:0, at half its size
  I420Buffer converted_;  // the frame as 4:2:0, fields blended
  I420Buffer upright_;    // that turned
  ReferenceTime next_start_ = 0;  // for frames without a timestamp
};

}  // namespace ovc::media
