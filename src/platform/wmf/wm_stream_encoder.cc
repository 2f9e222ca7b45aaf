#include "platform/wmf/wm_stream_encoder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

#include "platform/av/i420_frame.h"

namespace ovc::wmf {
namespace {

constexpr int64_t kUnitsPerSecond = 10000000;  // 100-ns units

// Sends `frame` (null to drain) and hands every packet that comes out to
// the sink. A codec failure is `codec_error`.
HResult EncodeFrame(AVCodecContext* context, const AVFrame* frame, const PacketSink& sink,
                    HResult codec_error) {
  int ret = avcodec_send_frame(context, frame);
  if (ret < 0 && !(ret == AVERROR_EOF && !frame))
    return ret == AVERROR(ENOMEM) ? kEOutOfMemory : codec_error;
  PacketPtr packet(av_packet_alloc());
  if (!packet) return kEOutOfMemory;
  for (;;) {
    ret = avcodec_receive_packet(context, packet.get());
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return kSOk;
    if (ret < 0) return ret == AVERROR(ENOMEM) ? kEOutOfMemory : codec_error;
    HResult hr = sink(packet.get());
    av_packet_unref(packet.get());
    if (Failed(hr)) return hr;
  }
}

HResult OpenResult(int ret, HResult codec_error) {
  return ret == AVERROR(ENOMEM) ? kEOutOfMemory : codec_error;
}

// --- Audio --------------------------------------------------------------------

class AudioStreamEncoder : public StreamEncoder {
 public:
  HResult Open(const Codec& codec, const WmStreamConfig& stream, const MediaType& input,
               bool global_header);
  HResult Encode(const uint8_t* data, uint32_t size, int64_t sample_time, uint32_t flags,
                 const PacketSink& sink) override;
  HResult Flush(const PacketSink& sink) override;

 private:
  // Resamples `count` input sample frames (null: what the resampler still
  // holds) into the FIFO.
  HResult Convert(const uint8_t* data, int count);
  // Encodes the FIFO's whole frames; with `pad`, also the rest padded
  // with silence.
  HResult EncodeBuffered(bool pad, const PacketSink& sink);

  int input_block_ = 0;  // bytes per input sample frame
  int frame_size_ = 0;   // encoder samples per frame
  SwrContextPtr resampler_;
  AudioFifoPtr fifo_;
  FramePtr converted_;   // resampler output, reused
  FramePtr frame_;       // encoder input, reused
  bool started_ = false;
  int64_t next_pts_ = 0; // in samples of the output rate
};

HResult AudioStreamEncoder::Open(const Codec& codec, const WmStreamConfig& stream,
                                 const MediaType& input, bool global_header) {
  const WaveFormatEx* out = stream.GetMediaType().wave_format();
  const WaveFormatEx* in = input.wave_format();
  uint32_t bit_rate = stream.GetBitrate();
  if (!out || out->samples_per_sec == 0 || out->channels == 0 || bit_rate == 0)
    return kNsEInvalidOutputFormat;
  if (!IsValidPcmInput(input)) return kNsEInvalidInputFormat;

  const AVCodec* encoder = avcodec_find_encoder_by_name(codec.encoder.c_str());
  if (!encoder || encoder->type != AVMEDIA_TYPE_AUDIO) return kNsEAudioCodecNotInstalled;
  context_.reset(avcodec_alloc_context3(encoder));
  if (!context_) return kEOutOfMemory;
  AVCodecContext* c = context_.get();
  c->sample_fmt = encoder->sample_fmts ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  c->sample_rate = static_cast<int>(out->samples_per_sec);
  av_channel_layout_default(&c->ch_layout, out->channels);
  c->bit_rate = bit_rate;
  c->time_base = AVRational{1, c->sample_rate};
  if (global_header) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int ret = avcodec_open2(c, encoder, nullptr);
  if (ret < 0) return OpenResult(ret, kNsEAudioCodecError);
  frame_size_ = c->frame_size > 0 ? c->frame_size : 1024;

  AVChannelLayout in_layout;
  av_channel_layout_default(&in_layout, in->channels);
  SwrContext* resampler = nullptr;
  ret = swr_alloc_set_opts2(&resampler, &c->ch_layout, c->sample_fmt, c->sample_rate, &in_layout,
                            AV_SAMPLE_FMT_S16, static_cast<int>(in->samples_per_sec), 0, nullptr);
  av_channel_layout_uninit(&in_layout);
  resampler_.reset(resampler);
  if (ret < 0 || swr_init(resampler) < 0) return OpenResult(ret, kNsEInvalidInputFormat);
  input_block_ = in->block_align;

  fifo_.reset(av_audio_fifo_alloc(c->sample_fmt, c->ch_layout.nb_channels, frame_size_ * 2));
  converted_.reset(av_frame_alloc());
  frame_.reset(av_frame_alloc());
  if (!fifo_ || !converted_ || !frame_) return kEOutOfMemory;
  frame_->format = c->sample_fmt;
  frame_->sample_rate = c->sample_rate;
  frame_->nb_samples = frame_size_;
  if (av_channel_layout_copy(&frame_->ch_layout, &c->ch_layout) < 0 ||
      av_frame_get_buffer(frame_.get(), 0) < 0)
    return kEOutOfMemory;
  return kSOk;
}

HResult AudioStreamEncoder::Convert(const uint8_t* data, int count) {
  const AVCodecContext* c = context_.get();
  int room = swr_get_out_samples(resampler_.get(), count);
  if (room < 0) return kNsEAudioCodecError;
  if (room == 0) return kSOk;
  if (converted_->nb_samples < room) {
    av_frame_unref(converted_.get());
    converted_->format = c->sample_fmt;
    converted_->nb_samples = room;
    if (av_channel_layout_copy(&converted_->ch_layout, &c->ch_layout) < 0 ||
        av_frame_get_buffer(converted_.get(), 0) < 0)
      return kEOutOfMemory;
  }
  const uint8_t* planes[1] = {data};
  int got = swr_convert(resampler_.get(), converted_->data, converted_->nb_samples,
                        data ? planes : nullptr, count);
  if (got < 0) return kNsEAudioCodecError;
  if (got > 0 &&
      av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted_->data), got) < got)
    return kEOutOfMemory;
  return kSOk;
}

HResult AudioStreamEncoder::EncodeBuffered(bool pad, const PacketSink& sink) {
  const AVCodecContext* c = context_.get();
  for (;;) {
    int buffered = av_audio_fifo_size(fifo_.get());
    if (buffered == 0 || (buffered < frame_size_ && !pad)) return kSOk;
    if (av_frame_make_writable(frame_.get()) < 0) return kEOutOfMemory;
    int take = std::min(buffered, frame_size_);
    if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), take) < take)
      return kNsEAudioCodecError;
    // The last frame of a file is completed with silence: the end of the
    // audio belongs in the file.
    if (take < frame_size_)
      av_samples_set_silence(frame_->data, take, frame_size_ - take, c->ch_layout.nb_channels,
                             c->sample_fmt);
    frame_->pts = next_pts_;
    next_pts_ += frame_size_;
    HResult hr = EncodeFrame(context_.get(), frame_.get(), sink, kNsEAudioCodecError);
    if (Failed(hr)) return hr;
  }
}

HResult AudioStreamEncoder::Encode(const uint8_t* data, uint32_t size, int64_t sample_time,
                                   uint32_t /*flags*/, const PacketSink& sink) {
  if (size % static_cast<uint32_t>(input_block_) != 0) return kEInvalidArg;
  if (size == 0) return kSOk;
  if (!started_) {
    // The audio runs on from its first sample's time; later samples follow
    // it without gaps.
    started_ = true;
    next_pts_ = av_rescale(std::max<int64_t>(sample_time, 0), context_->sample_rate,
                           kUnitsPerSecond);
  }
  HResult hr = Convert(data, static_cast<int>(size / static_cast<uint32_t>(input_block_)));
  if (Failed(hr)) return hr;
  return EncodeBuffered(false, sink);
}

HResult AudioStreamEncoder::Flush(const PacketSink& sink) {
  HResult hr = kSOk;
  if (started_) {
    hr = Convert(nullptr, 0);
    if (Succeeded(hr)) hr = EncodeBuffered(true, sink);
  }
  if (Succeeded(hr)) hr = EncodeFrame(context_.get(), nullptr, sink, kNsEAudioCodecError);
  return hr;
}

// --- Video --------------------------------------------------------------------

class VideoStreamEncoder : public StreamEncoder {
 public:
  HResult Open(const Codec& codec, const WmStreamConfig& stream, const MediaType& input,
               AVRational pixel_aspect, bool global_header);
  HResult Encode(const uint8_t* data, uint32_t size, int64_t sample_time, uint32_t flags,
                 const PacketSink& sink) override;
  HResult Flush(const PacketSink& sink) override;

 private:
  int input_width_ = 0;
  int input_height_ = 0;
  AVPixelFormat input_format_ = AV_PIX_FMT_YUYV422;  // or AV_PIX_FMT_YUV420P
  int64_t time_per_frame_ = 0;  // 100-ns units
  SwsContextPtr scaler_;
  FramePtr frame_;
  bool has_last_pts_ = false;
  int64_t last_pts_ = 0;
};

HResult VideoStreamEncoder::Open(const Codec& codec, const WmStreamConfig& stream,
                                 const MediaType& input, AVRational pixel_aspect,
                                 bool global_header) {
  const VideoInfoHeader* out = stream.GetMediaType().video_info();
  if (!out || out->bmi.width <= 0 || out->bmi.height == 0 || out->avg_time_per_frame <= 0 ||
      stream.GetBitrate() == 0)
    return kNsEInvalidOutputFormat;
  if (!IsValidVideoInput(input)) return kNsEInvalidInputFormat;
  const VideoInfoHeader* in = input.video_info();
  input_width_ = in->bmi.width;
  input_height_ = std::abs(in->bmi.height);
  input_format_ = input.subtype == kSubtypeI420 ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUYV422;
  time_per_frame_ = out->avg_time_per_frame;

  const AVCodec* encoder = avcodec_find_encoder_by_name(codec.encoder.c_str());
  if (!encoder || encoder->type != AVMEDIA_TYPE_VIDEO) return kNsEVideoCodecNotInstalled;
  context_.reset(avcodec_alloc_context3(encoder));
  if (!context_) return kEOutOfMemory;
  AVCodecContext* c = context_.get();
  c->width = out->bmi.width;
  c->height = std::abs(out->bmi.height);
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  // One tick per frame: the rate control budgets bits per tick.
  av_reduce(&c->time_base.num, &c->time_base.den, time_per_frame_, kUnitsPerSecond, INT32_MAX);
  c->framerate = AVRational{c->time_base.den, c->time_base.num};
  c->bit_rate = stream.GetBitrate();
  // Keep close to the stream's bit rate also over a short file: the
  // library's default tolerance lets the rate drift by megabits.
  c->bit_rate_tolerance = static_cast<int>(std::min<int64_t>(c->bit_rate / 4, INT32_MAX));
  // The stream's leaky bucket: it drains at the bit rate and holds the
  // buffer window's worth of it, so no second carries more than the rate
  // plus the window.
  if (stream.GetBufferWindow() > 0) {
    c->rc_max_rate = c->bit_rate;
    c->rc_buffer_size = static_cast<int>(
        std::min<int64_t>(c->bit_rate * stream.GetBufferWindow() / 1000, INT32_MAX));
  }
  c->gop_size = static_cast<int>(std::max<int64_t>(
      1, std::llround(static_cast<double>(stream.GetMaxKeyFrameSpacing()) / time_per_frame_)));
  if (pixel_aspect.num > 0 && pixel_aspect.den > 0) c->sample_aspect_ratio = pixel_aspect;
  if (global_header) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int ret = avcodec_open2(c, encoder, nullptr);
  if (ret < 0) return OpenResult(ret, kNsEVideoCodecError);

  const bool copies = input_format_ == c->pix_fmt && input_width_ == c->width &&
                      input_height_ == c->height;
  if (!copies)
    scaler_.reset(sws_getContext(input_width_, input_height_, input_format_, c->width, c->height,
                                 c->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
  frame_.reset(av_frame_alloc());
  if ((!copies && !scaler_) || !frame_) return kEOutOfMemory;
  frame_->format = c->pix_fmt;
  frame_->width = c->width;
  frame_->height = c->height;
  if (av_frame_get_buffer(frame_.get(), 0) < 0) return kEOutOfMemory;
  return kSOk;
}

HResult VideoStreamEncoder::Encode(const uint8_t* data, uint32_t size, int64_t sample_time,
                                   uint32_t flags, const PacketSink& sink) {
  const av::I420Frame layout{input_width_, input_height_};
  const uint64_t frame_bytes = input_format_ == AV_PIX_FMT_YUV420P
                                   ? layout.bytes()
                                   : static_cast<uint64_t>(input_width_) * input_height_ * 2;
  if (size < frame_bytes) return kEInvalidArg;
  if (av_frame_make_writable(frame_.get()) < 0) return kEOutOfMemory;
  if (!scaler_) {
    av::CopyI420ToFrame(data, layout, frame_.get());
  } else {
    const uint8_t* planes[4] = {data, nullptr, nullptr, nullptr};
    int strides[4] = {input_width_ * 2, 0, 0, 0};
    if (input_format_ == AV_PIX_FMT_YUV420P) layout.Planes(data, planes, strides);
    sws_scale(scaler_.get(), planes, strides, 0, input_height_, frame_->data, frame_->linesize);
  }
  // Frame times fall on the stream's frame grid; a time that rounds onto
  // the previous frame's slot takes the next one.
  int64_t pts = std::llround(static_cast<double>(sample_time) / time_per_frame_);
  if (has_last_pts_ && pts <= last_pts_) pts = last_pts_ + 1;
  has_last_pts_ = true;
  last_pts_ = pts;
  frame_->pts = pts;
  frame_->pict_type = (flags & kSampleCleanPoint) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
  return EncodeFrame(context_.get(), frame_.get(), sink, kNsEVideoCodecError);
}

HResult VideoStreamEncoder::Flush(const PacketSink& sink) {
  return EncodeFrame(context_.get(), nullptr, sink, kNsEVideoCodecError);
}

}  // namespace

bool IsValidPcmInput(const MediaType& type) {
  const WaveFormatEx* wave = type.wave_format();
  return type.major_type == MajorType::kAudio && type.subtype == kSubtypePcm && wave &&
         wave->format_tag == kWaveFormatPcm && wave->channels >= 1 && wave->channels <= 8 &&
         wave->samples_per_sec >= 1000 && wave->samples_per_sec <= 384000 &&
         wave->bits_per_sample == 16 && wave->block_align == wave->channels * 2 &&
         wave->avg_bytes_per_sec == wave->samples_per_sec * wave->block_align;
}

bool IsValidVideoInput(const MediaType& type) {
  const VideoInfoHeader* info = type.video_info();
  if (type.major_type != MajorType::kVideo || !info) return false;
  const BitmapInfoHeader& bmi = info->bmi;
  const int64_t height = std::abs(static_cast<int64_t>(bmi.height));
  if (bmi.width <= 0 || bmi.width % 2 != 0 || bmi.width > 16384 || height <= 0 || height > 16384)
    return false;
  int64_t frame_bytes = 0;
  if (type.subtype == kSubtypeYuy2 && bmi.compression == kSubtypeYuy2 && bmi.bit_count == 16)
    frame_bytes = bmi.width * height * 2;
  else if (type.subtype == kSubtypeI420 && bmi.compression == kSubtypeI420 && bmi.bit_count == 12)
    frame_bytes = static_cast<int64_t>(av::I420Frame{bmi.width, static_cast<int>(height)}.bytes());
  return frame_bytes > 0 && (bmi.image_size == 0 || bmi.image_size >= frame_bytes);
}

HResult CreateAudioStreamEncoder(const Codec& codec, const WmStreamConfig& stream,
                                 const MediaType& input, bool global_header,
                                 std::unique_ptr<StreamEncoder>* encoder) {
  auto audio = std::make_unique<AudioStreamEncoder>();
  HResult hr = audio->Open(codec, stream, input, global_header);
  if (Succeeded(hr)) *encoder = std::move(audio);
  return hr;
}

HResult CreateVideoStreamEncoder(const Codec& codec, const WmStreamConfig& stream,
                                 const MediaType& input, AVRational pixel_aspect,
                                 bool global_header, std::unique_ptr<StreamEncoder>* encoder) {
  auto video = std::make_unique<VideoStreamEncoder>();
  HResult hr = video->Open(codec, stream, input, pixel_aspect, global_header);
  if (Succeeded(hr)) *encoder = std::move(video);
  return hr;
}

}  // namespace ovc::wmf
