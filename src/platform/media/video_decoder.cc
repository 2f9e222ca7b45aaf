#include "platform/media/video_decoder.h"

#include <utility>

#include "common/trace.h"
#include "platform/media/media_formats.h"

namespace ovc::media {
namespace {

// A picture whose end lies within this of the segment start counts as
// before it: timestamps rounded to 100-ns units may miss by a little.
constexpr ReferenceTime kSegmentTolerance = 10000;  // 1 ms

// 25 frames per second when the stream does not say.
constexpr ReferenceTime kDefaultFrameTime = 400000;

int32_t EvenWidth(int32_t width) { return (width + 1) & ~1; }

// The 4:2:0 planes of a decoded frame, as the frame holds them.
PlanarPicture PlanesOf(const AVFrame& frame) {
  PlanarPicture planes;
  for (int i = 0; i < 3; ++i) {
    planes.planes[i] = frame.data[i];
    planes.strides[i] = frame.linesize[i];
  }
  planes.width = frame.width;
  planes.height = frame.height;
  return planes;
}

// A picture the decoder's own planes can go down as: 4:2:0 of the video
// range.
bool IsVideoRangeI420(const AVFrame& frame) {
  return frame.format == AV_PIX_FMT_YUV420P && frame.color_range != AVCOL_RANGE_JPEG;
}

// 8-bit 4:2:0 of the full range, as JPEG and many phones store it.
bool IsFullRangeI420(const AVFrame& frame) {
  return frame.format == AV_PIX_FMT_YUVJ420P ||
         (frame.format == AV_PIX_FMT_YUV420P && frame.color_range == AVCOL_RANGE_JPEG);
}

}  // namespace

MediaType VideoDecoder::TypeFor(int32_t width, int32_t height, AVRational sample_aspect) const {
  return MakeYuy2Type(EvenWidth(width), height, sample_aspect.num, sample_aspect.den,
                      avg_time_per_frame_, interlaced_);
}

MediaResult VideoDecoder::PrepareOutput(const StreamInfo& info, MediaType* type) {
  const AVCodecParameters& parameters = *info.parameters;
  if (parameters.width <= 0 || parameters.height <= 0) return kErrorTypeNotAccepted;
  stream_colours_ = ColourFacts::Of(parameters);
  colours_.reset();
  traced_colours_.reset();
  if (const std::string why = UnconvertibleColours(stream_colours_); !why.empty()) {
    TracePrintf("The picture cannot be decoded: %s", why.c_str());
    return kErrorTypeNotAccepted;
  }
  const ColourRoute route = RouteFor(stream_colours_);
  if ((route == ColourRoute::kToneMap || route == ColourRoute::kToBt709) &&
      !ColourConverter::Create(parameters)) {
    TracePrintf("The picture cannot be decoded: its colours cannot be converted (%s)",
                ColourTraceLine(stream_colours_).c_str());
    return kErrorTypeNotAccepted;
  }
  avg_time_per_frame_ = kDefaultFrameTime;
  if (info.frame_rate.num > 0 && info.frame_rate.den > 0) {
    avg_time_per_frame_ = av_rescale(kUnitsPerSecond, info.frame_rate.den, info.frame_rate.num);
  }
  interlaced_ = parameters.field_order != AV_FIELD_UNKNOWN &&
                parameters.field_order != AV_FIELD_PROGRESSIVE;
  rotation_ = info.rotation;
  if (rotation_ == 90 || rotation_ == 270) {
    // Turned sideways: the sizes and the pixel shape swap; turned pictures
    // are cut to even sizes.
    AVRational aspect = info.sample_aspect;
    std::swap(aspect.num, aspect.den);
    out_width_ = parameters.height & ~1;
    out_height_ = parameters.width & ~1;
    *type = TypeFor(out_width_, out_height_, aspect);
    return kOk;
  }
  if (rotation_ == 180) {
    out_width_ = parameters.width & ~1;
    out_height_ = parameters.height & ~1;
    *type = TypeFor(out_width_, out_height_, info.sample_aspect);
    return kOk;
  }
  *type = TypeFor(parameters.width, parameters.height, info.sample_aspect);
  out_width_ = EvenWidth(parameters.width);
  out_height_ = parameters.height;
  return kOk;
}

void VideoDecoder::ResetRun() { next_start_ = 0; }

AVFrame* VideoDecoder::WithSdrColours(AVFrame& frame) {
  // What a picture leaves unstated, its stream states.
  ColourFacts facts = ColourFacts::Of(frame);
  if (facts.transfer == AVCOL_TRC_UNSPECIFIED) facts.transfer = stream_colours_.transfer;
  if (facts.primaries == AVCOL_PRI_UNSPECIFIED) facts.primaries = stream_colours_.primaries;
  if (facts.matrix == AVCOL_SPC_UNSPECIFIED) facts.matrix = stream_colours_.matrix;
  if (facts.range == AVCOL_RANGE_UNSPECIFIED) facts.range = stream_colours_.range;
  const ColourRoute route = RouteFor(facts);
  if (route == ColourRoute::kAsDecoded) return &frame;
  if (!colours_ || !colours_->Fits(frame, facts)) {
    colours_ = ColourConverter::Create(frame, facts);
    if (traced_colours_ != facts) {
      // Once per change of colours, not for every picture dropped.
      traced_colours_ = facts;
      const std::string line = ColourTraceLine(facts);
      if (!colours_) {
        const std::string why = UnconvertibleColours(facts);
        TracePrintf("Pictures dropped: %s", why.empty() ? "their colours cannot be converted"
                                                        : why.c_str());
      } else if (!line.empty()) {
        WriteTraceLine(line);
      }
    }
    if (!colours_) return nullptr;
  }
  return colours_->Convert(frame);
}

void VideoDecoder::DeliverFrame(AVFrame& decoded) {
  ReferenceTime start = decoded.best_effort_timestamp != AV_NOPTS_VALUE
                            ? SegmentTime(decoded.best_effort_timestamp)
                            : next_start_;
  const ReferenceTime duration =
      decoded.pkt_duration > 0 ? ToReferenceTime(decoded.pkt_duration, stream_info().time_base)
                               : avg_time_per_frame_;
  const ReferenceTime stop = start + duration;
  next_start_ = stop;
  // Decoded only to reach the segment start.
  if (stop <= kSegmentTolerance) return;
  // The picture showing at the segment start begins it.
  if (start < 0) start = 0;

  if (decoded.width <= 0 || decoded.height <= 0) return;
  AVFrame* sdr = WithSdrColours(decoded);
  if (!sdr) return;
  AVFrame& frame = *sdr;
  // Fields lie in the stored lines: shown turned on its side, a picture
  // keeps its blend.
  const int shown = shown_size_.load().height;
  const bool interlaced = frame.interlaced_frame != 0 &&
                          (shown <= 0 || rotation_ % 180 != 0 || 2 * shown > frame.height);
  // Pictures of other layouts (4:2:2 and 4:4:4 camera and studio sources,
  // full-range JPEG and phone ones) go down as 4:2:0 planes of the video
  // range too, converted once, which the capture scales from; only an odd
  // size is packed, widened.
  const bool even = frame.width % 2 == 0 && frame.height % 2 == 0;
  if (rotation_ != 0 || interlaced || (!IsVideoRangeI420(frame) && even)) {
    DeliverUpright(frame, interlaced, start, stop);
    return;
  }
  if (IsVideoRangeI420(frame) && ShownAtAThird(frame) && HalveI420(PlanesOf(frame), &halved_)) {
    DeliverPicture(frame, halved_, start, stop);
    return;
  }
  if (EvenWidth(frame.width) != out_width_ || frame.height != out_height_) {
    AVRational aspect = frame.sample_aspect_ratio;
    if (aspect.num <= 0 || aspect.den <= 0) aspect = stream_info().sample_aspect;
    out_width_ = EvenWidth(frame.width);
    out_height_ = frame.height;
    AnnounceType(TypeFor(frame.width, frame.height, aspect));
  }
  if (IsVideoRangeI420(frame) && out_width_ == frame.width) {
    // The common case (MPEG-2, MPEG-4, H.264 sources) packs without libswscale.
    const PlanarPicture planes = PlanesOf(frame);
    PackAndDeliver(planes, start, stop);
    return;
  }
  Sample& out = sample();
  const int stride = out_width_ * 2;
  out.Resize(stride * out_height_);
  const int flags = out_width_ == frame.width ? SWS_BILINEAR : SWS_BICUBIC;
  scaler_.reset(sws_getCachedContext(scaler_.release(), frame.width, frame.height,
                                     static_cast<AVPixelFormat>(frame.format), out_width_,
                                     out_height_, AV_PIX_FMT_YUYV422, flags, nullptr, nullptr,
                                     nullptr));
  if (!scaler_) return;

  uint8_t* planes[4] = {out.mutable_data(), nullptr, nullptr, nullptr};
  int strides[4] = {stride, 0, 0, 0};
  sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
  out.SetTimes(start, stop);
  DeliverSample();
}

void VideoDecoder::PackAndDeliver(const PlanarPicture& planes, ReferenceTime start,
                                  ReferenceTime stop) {
  // Packed only for a receiver that reads the bytes (the preview's
  // renderer, a capture without use for the planes).
  Sample& out = sample();
  out.DeferPacking(planes);
  out.SetTimes(start, stop);
  DeliverSample();
  out.ClearPlanarSource();
}

bool VideoDecoder::ShownAtAThird(const AVFrame& frame) const {
  const ShownSize shown = shown_size_.load();
  const bool sideways = rotation_ == 90 || rotation_ == 270;
  const int upright_width = sideways ? frame.height : frame.width;
  const int upright_height = sideways ? frame.width : frame.height;
  return shown.width > 0 && shown.height > 0 && 3 * shown.width <= upright_width &&
         3 * shown.height <= upright_height;
}

void VideoDecoder::DeliverUpright(AVFrame& frame, bool interlaced, ReferenceTime start,
                                  ReferenceTime stop) {
  const bool full_range = IsFullRangeI420(frame);
  if (!interlaced && (IsVideoRangeI420(frame) || full_range) && frame.width >= 2 &&
      frame.height >= 2) {
    // Turned (and narrowed) straight from the decoder's planes, or from
    // the picture halved.
    PlanarPicture planes = PlanesOf(frame);
    if (ShownAtAThird(frame) && HalveI420(planes, &halved_)) planes = halved_.View();
    RotateI420(planes, rotation_, &upright_, full_range);
    DeliverPicture(frame, upright_, start, stop);
    return;
  }
  if (ToVideoRangeI420(frame, &converted_)) {
    if (interlaced) BlendFields(&converted_);
    if (ShownAtAThird(frame) && HalveI420(converted_.View(), &halved_)) {
      DeliverTurned(halved_, frame, start, stop);
      return;
    }
    DeliverTurned(converted_, frame, start, stop);
    return;
  }
  converted_.Resize(frame.width, frame.height);
  if (converted_.width() < 2 || converted_.height() < 2) return;
  to_i420_.reset(sws_getCachedContext(to_i420_.release(), frame.width, frame.height,
                                      static_cast<AVPixelFormat>(frame.format), converted_.width(),
                                      converted_.height(), AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                      nullptr, nullptr, nullptr));
  if (!to_i420_) return;
  uint8_t* planes[4] = {converted_.plane(0), converted_.plane(1), converted_.plane(2), nullptr};
  int strides[4] = {converted_.stride(0), converted_.stride(1), converted_.stride(2), 0};
  sws_scale(to_i420_.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
  if (interlaced) BlendFields(&converted_);
  DeliverTurned(converted_, frame, start, stop);
}

void VideoDecoder::DeliverTurned(const I420Buffer& picture, const AVFrame& frame,
                                 ReferenceTime start, ReferenceTime stop) {
  if (rotation_ == 0) {
    DeliverPicture(frame, picture, start, stop);
    return;
  }
  RotateI420(picture.View(), rotation_, &upright_);
  DeliverPicture(frame, upright_, start, stop);
}

void VideoDecoder::DeliverPicture(const AVFrame& frame, const I420Buffer& picture,
                                  ReferenceTime start, ReferenceTime stop) {
  if (picture.width() != out_width_ || picture.height() != out_height_) {
    AVRational aspect = frame.sample_aspect_ratio;
    if (aspect.num <= 0 || aspect.den <= 0) aspect = stream_info().sample_aspect;
    if (rotation_ == 90 || rotation_ == 270) std::swap(aspect.num, aspect.den);
    out_width_ = picture.width();
    out_height_ = picture.height();
    AnnounceType(TypeFor(out_width_, out_height_, aspect));
  }
  PackAndDeliver(picture.View(), start, stop);
}

}  // namespace ovc::media
