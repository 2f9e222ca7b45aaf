#include "platform/vfw/sequence_encoder.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "common/trace.h"
#include "platform/av/i420_frame.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/pixdesc.h>
#include <libavutil/rational.h>
}

namespace ovc::vfw {
namespace {

// libavcodec's quantiser range for MPEG-4 and JPEG.
constexpr int kBestQuantiser = 2;
constexpr int kWorstQuantiser = 31;

// Quality 10000 is the finest quantiser, 0 the coarsest.
int QuantiserForQuality(uint32_t quality) {
  int span = kWorstQuantiser - kBestQuantiser;
  return kWorstQuantiser - static_cast<int>((static_cast<int64_t>(quality) * span + 5000) / 10000);
}

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof(text));
  return text;
}

}  // namespace

SequenceEncoder::SequenceEncoder(EncoderSetup setup)
    : stats_in_(std::exchange(setup.stats_in, {})), setup_(std::move(setup)) {}

SequenceEncoder::~SequenceEncoder() = default;

std::unique_ptr<SequenceEncoder> SequenceEncoder::Open(EncoderSetup setup) {
  std::unique_ptr<SequenceEncoder> encoder(new SequenceEncoder(std::move(setup)));
  if (encoder->OpenCodec() < 0) return nullptr;
  return encoder;
}

int SequenceEncoder::OpenCodec() {
  const CompressorInfo& info = *setup_.info;
  const AVCodec* codec = avcodec_find_encoder_by_name(info.encoder_name);
  if (codec == nullptr) {
    TracePrintf("vfw: encoder %s not available", info.encoder_name);
    return -1;
  }
  context_.reset(avcodec_alloc_context3(codec));
  frame_.reset(av_frame_alloc());
  packet_.reset(av_packet_alloc());
  if (!context_ || !frame_ || !packet_) return -1;

  AVCodecContext* c = context_.get();
  c->width = setup_.width;
  c->height = setup_.height;
  c->pix_fmt = info.pixel_format;
  if (info.pixel_format == AV_PIX_FMT_YUVJ422P || info.pixel_format == AV_PIX_FMT_YUVJ420P) {
    c->color_range = AVCOL_RANGE_JPEG;
  }
  // MPEG-4 takes at most 16-bit time-base terms.
  AVRational rate = setup_.frame_rate;
  av_reduce(&rate.num, &rate.den, rate.num, rate.den, 65535);
  c->framerate = rate;
  c->time_base = av_inv_q(rate);
  c->gop_size = setup_.key_interval;
  c->max_b_frames = 0;
  c->thread_count = 1;
  if (info.codec_tag != 0) c->codec_tag = info.codec_tag;

  if (setup_.bit_rate > 0) {
    c->bit_rate = setup_.bit_rate;
    // Keep the average within about a second's worth of bits, as a
    // compressor that aims at a data rate does; libavcodec's default lets
    // short clips overshoot by a fifth.
    c->bit_rate_tolerance = static_cast<int>(std::min<int64_t>(setup_.bit_rate, INT32_MAX));
    // libavcodec's MPEG-4 gets the ceiling standalone players of MPEG-4 AVI
    // take: no second above 4,854 kbit/s. A quarter second of that is the
    // buffer, and the rest, or twice the rate where that is less, the
    // ceiling. (XviD's one-pass mode through libavcodec takes no ceiling.)
    if (codec->id == AV_CODEC_ID_MPEG4 && std::string_view(codec->name) == "mpeg4") {
      constexpr int64_t kPlayerPeakBits = 4854000;
      const int64_t buffer = kPlayerPeakBits / 4;
      c->rc_max_rate = std::min(kPlayerPeakBits - buffer, 2 * setup_.bit_rate);
      c->rc_buffer_size = static_cast<int>(buffer);
      c->bit_rate = std::min(c->bit_rate, c->rc_max_rate);
    }
    if (setup_.pass == PassMode::kFirstPass) {
      c->flags |= AV_CODEC_FLAG_PASS1;
    } else if (setup_.pass == PassMode::kSecondPass) {
      c->flags |= AV_CODEC_FLAG_PASS2;
      c->stats_in = stats_in_.data();
    }
  } else {
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = QuantiserForQuality(setup_.quality) * FF_QP2LAMBDA;
  }

  int result = avcodec_open2(c, codec, nullptr);
  if (result < 0) {
    TracePrintf("vfw: %s refused %dx%d at %lld bit/s: %s", info.encoder_name, setup_.width,
                setup_.height, static_cast<long long>(setup_.bit_rate), AvError(result).c_str());
    return -1;
  }

  frame_->format = c->pix_fmt;
  frame_->width = c->width;
  frame_->height = c->height;
  if (av_frame_get_buffer(frame_.get(), 0) < 0) return -1;
  // JPEG's full-range formats are the plain planar layouts with a full-range
  // output: the input (video range) is stretched to 0..255.
  AVPixelFormat scaled_format = c->pix_fmt;
  bool full_range = c->color_range == AVCOL_RANGE_JPEG;
  if (c->pix_fmt == AV_PIX_FMT_YUVJ422P) scaled_format = AV_PIX_FMT_YUV422P;
  if (c->pix_fmt == AV_PIX_FMT_YUVJ420P) scaled_format = AV_PIX_FMT_YUV420P;
  if (setup_.input_format == AV_PIX_FMT_YUV420P && scaled_format == AV_PIX_FMT_YUV420P &&
      !full_range)
    return 0;
  // Other encoders (4:2:2 JPEG) take I420 frames packed first: the range
  // stretch is right from packed frames, not from planar ones.
  if (setup_.input_format == AV_PIX_FMT_YUV420P) {
    to_packed_.reset(sws_getContext(setup_.width, setup_.height, AV_PIX_FMT_YUV420P, setup_.width,
                                    setup_.height, AV_PIX_FMT_YUYV422, SWS_BILINEAR, nullptr,
                                    nullptr, nullptr));
    packed_.resize(static_cast<size_t>(setup_.width) * setup_.height * 2 + 64);
  }
  converter_.reset(sws_getContext(setup_.width, setup_.height, AV_PIX_FMT_YUYV422, setup_.width,
                                  setup_.height, scaled_format, SWS_BILINEAR, nullptr, nullptr,
                                  nullptr));
  if (!converter_ || (setup_.input_format == AV_PIX_FMT_YUV420P && !to_packed_)) {
    TracePrintf("vfw: no converter from %s for %s", av_get_pix_fmt_name(setup_.input_format),
                info.encoder_name);
    return -1;
  }
  if (full_range) {
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(converter_.get(), bt601, 0, bt601, 1, 0, 1 << 16, 1 << 16);
  }
  return 0;
}

int SequenceEncoder::Encode(const uint8_t* picture, bool force_key_frame,
                            const AVPacket** packet) {
  AVCodecContext* c = context_.get();
  av_packet_unref(packet_.get());
  last_stats_.clear();

  // The encoder may still hold the previous picture as its reference.
  if (av_frame_make_writable(frame_.get()) < 0) return -1;
  const av::I420Frame layout{setup_.width, setup_.height};
  if (!converter_) {
    av::CopyI420ToFrame(picture, layout, frame_.get());
  } else {
    const uint8_t* source[4] = {picture, nullptr, nullptr, nullptr};
    int source_stride[4] = {setup_.width * 2, 0, 0, 0};
    if (to_packed_) {
      const uint8_t* planes[4] = {};
      int strides[4] = {};
      layout.Planes(picture, planes, strides);
      uint8_t* packed[4] = {packed_.data(), nullptr, nullptr, nullptr};
      sws_scale(to_packed_.get(), planes, strides, 0, setup_.height, packed, source_stride);
      source[0] = packed_.data();
    }
    sws_scale(converter_.get(), source, source_stride, 0, setup_.height, frame_->data,
              frame_->linesize);
  }
  frame_->pts = next_pts_++;
  frame_->pict_type = force_key_frame ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
  frame_->quality = (c->flags & AV_CODEC_FLAG_QSCALE) ? c->global_quality : 0;

  int result = avcodec_send_frame(c, frame_.get());
  if (result >= 0) result = avcodec_receive_packet(c, packet_.get());
  if (result == AVERROR(EAGAIN)) {
    result = 0;  // nothing for this frame: an empty frame
  } else if (result < 0) {
    TracePrintf("vfw: %s failed on frame %lld: %s", setup_.info->encoder_name,
                static_cast<long long>(next_pts_ - 1), AvError(result).c_str());
    return -1;
  }
  if ((c->flags & AV_CODEC_FLAG_PASS1) && c->stats_out != nullptr) last_stats_ = c->stats_out;
  *packet = packet_.get();
  return 0;
}

}  // namespace ovc::vfw
