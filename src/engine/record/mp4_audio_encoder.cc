#include "engine/record/mp4_audio_encoder.h"

#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace ovc {
namespace {

// libavcodec's encoder of a codec, the one we mean first: a codec id can
// have hardware or experimental encoders beside the usual one.
const AVCodec* FindAudioEncoder(AVCodecID codec) {
  const char* preferred = nullptr;
  switch (codec) {
    case AV_CODEC_ID_AAC:
      preferred = "aac";
      break;
    case AV_CODEC_ID_MP3:
      preferred = "libmp3lame";
      break;
    case AV_CODEC_ID_MP2:
      preferred = "mp2";
      break;
    case AV_CODEC_ID_AC3:
      preferred = "ac3";
      break;
    // libavcodec's own Opus encoder is experimental; libopus codes 20 ms
    // frames (960 sample frames) after a pre-skip the containers carry.
    case AV_CODEC_ID_OPUS:
      preferred = "libopus";
      break;
    default:
      break;
  }
  const AVCodec* encoder = preferred ? avcodec_find_encoder_by_name(preferred) : nullptr;
  return encoder ? encoder : avcodec_find_encoder(codec);
}

// The sample format to feed: 16-bit when the encoder takes it, else its first.
AVSampleFormat ChooseSampleFormat(const AVCodec* encoder) {
  if (!encoder->sample_fmts) return AV_SAMPLE_FMT_S16;
  for (const AVSampleFormat* format = encoder->sample_fmts; *format != AV_SAMPLE_FMT_NONE; ++format)
    if (*format == AV_SAMPLE_FMT_S16) return AV_SAMPLE_FMT_S16;
  return encoder->sample_fmts[0];
}

bool TakesSampleRate(const AVCodec* encoder, int rate) {
  if (!encoder->supported_samplerates) return true;
  for (const int* supported = encoder->supported_samplerates; *supported; ++supported)
    if (*supported == rate) return true;
  return false;
}

// Writes `samples` interleaved 16-bit sample frames into `frame` in its
// sample format. Returns false for a format this writer does not convert to.
bool FillFrame(const int16_t* pcm, int samples, int channels, AVFrame* frame) {
  const auto format = static_cast<AVSampleFormat>(frame->format);
  const bool planar = av_sample_fmt_is_planar(format);
  for (int c = 0; c < channels; ++c) {
    uint8_t* plane = frame->extended_data[planar ? c : 0];
    const int step = planar ? 1 : channels;
    const int offset = planar ? 0 : c;
    for (int i = 0; i < samples; ++i) {
      const int16_t value = pcm[static_cast<size_t>(i) * channels + c];
      const size_t at = static_cast<size_t>(i) * step + offset;
      switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_S16:
          reinterpret_cast<int16_t*>(plane)[at] = value;
          break;
        case AV_SAMPLE_FMT_S32:
          reinterpret_cast<int32_t*>(plane)[at] = static_cast<int32_t>(value) * 65536;
          break;
        case AV_SAMPLE_FMT_FLT:
          reinterpret_cast<float*>(plane)[at] = static_cast<float>(value) / 32768.0f;
          break;
        case AV_SAMPLE_FMT_DBL:
          reinterpret_cast<double*>(plane)[at] = static_cast<double>(value) / 32768.0;
          break;
        default:
          return false;
      }
    }
  }
  return true;
}

class LavcAudioEncoder : public Mp4AudioEncoder {
 public:
  LavcAudioEncoder(Mp4CodecContextPtr context, Mp4FramePtr frame, Mp4PacketPtr packet,
                   int frame_size)
      : context_(std::move(context)),
        frame_(std::move(frame)),
        packet_(std::move(packet)),
        frame_size_(frame_size) {}

  int frame_size() const override { return frame_size_; }
  bool takes_short_last_frame() const override {
    return (context_->codec->capabilities &
            (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) != 0;
  }
  int sample_rate() const override { return context_->sample_rate; }
  int initial_padding() const override { return context_->initial_padding; }
  int channels() const override { return context_->ch_layout.nb_channels; }
  int FillParameters(AVCodecParameters* parameters) const override {
    return avcodec_parameters_from_context(parameters, context_.get());
  }

  int Encode(const int16_t* pcm, int samples, int64_t pts, const Mp4PacketWriter& write) override {
    int result = av_frame_make_writable(frame_.get());
    if (result < 0) return result;
    frame_->nb_samples = samples;
    frame_->pts = pts;
    if (!FillFrame(pcm, samples, channels(), frame_.get())) return AVERROR(ENOSYS);
    result = avcodec_send_frame(context_.get(), frame_.get());
    if (result < 0) return result;
    return Receive(write);
  }

  int Flush(const Mp4PacketWriter& write) override {
    int result = avcodec_send_frame(context_.get(), nullptr);
    if (result < 0 && result != AVERROR_EOF) return result;
    return Receive(write);
  }

 private:
  int Receive(const Mp4PacketWriter& write) {
    for (;;) {
      int result = avcodec_receive_packet(context_.get(), packet_.get());
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return 0;
      if (result < 0) return result;
      result = write(packet_.get());
      av_packet_unref(packet_.get());
      if (result < 0) return result;
    }
  }

  Mp4CodecContextPtr context_;
  Mp4FramePtr frame_;
  Mp4PacketPtr packet_;
  const int frame_size_;
};

}  // namespace

std::unique_ptr<Mp4AudioEncoder> OpenLavcAudioEncoder(const Mp4AudioSettings& settings,
                                                      std::string* reason) {
  const AVCodec* encoder = FindAudioEncoder(settings.codec);
  if (!encoder) {
    *reason = "the encoder is not in the installed FFmpeg libraries";
    return nullptr;
  }
  if (!TakesSampleRate(encoder, settings.sample_rate)) {
    *reason = "it does not take the sampling rate " + std::to_string(settings.sample_rate) + " Hz";
    return nullptr;
  }
  Mp4CodecContextPtr context(avcodec_alloc_context3(encoder));
  Mp4FramePtr frame(av_frame_alloc());
  Mp4PacketPtr packet(av_packet_alloc());
  if (!context || !frame || !packet) {
    *reason = "out of memory";
    return nullptr;
  }
  context->codec_type = AVMEDIA_TYPE_AUDIO;
  context->sample_fmt = ChooseSampleFormat(encoder);
  context->sample_rate = settings.sample_rate;
  av_channel_layout_default(&context->ch_layout, settings.channels);
  // The bit rate of every channel together: the encoders in use divide it.
  context->bit_rate = settings.bit_rate;
  context->time_base = AVRational{1, settings.sample_rate};
  context->flags |= AV_CODEC_FLAG_BITEXACT;
  if (settings.global_header) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  // Opus's free VBR spends a third more than asked on tonal sound; held
  // to the rate on average, the file comes out the size it was estimated.
  if (std::strcmp(encoder->name, "libopus") == 0)
    av_opt_set(context->priv_data, "vbr", "constrained", 0);
  int result = avcodec_open2(context.get(), encoder, nullptr);
  if (result < 0) {
    *reason = Mp4ErrorText(result);
    return nullptr;
  }
  // An encoder that takes any frame length gets frames of 1024.
  const int frame_size = context->frame_size > 0 ? context->frame_size : 1024;
  frame->format = context->sample_fmt;
  frame->nb_samples = frame_size;
  frame->sample_rate = context->sample_rate;
  result = av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
  if (result >= 0) result = av_frame_get_buffer(frame.get(), 0);
  if (result < 0) {
    *reason = Mp4ErrorText(result);
    return nullptr;
  }
  return std::make_unique<LavcAudioEncoder>(std::move(context), std::move(frame), std::move(packet),
                                            frame_size);
}

}  // namespace ovc
