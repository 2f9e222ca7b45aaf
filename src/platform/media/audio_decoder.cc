#include "platform/media/audio_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/media/media_formats.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace ovc::media {
namespace {

bool IsEightBit(int format) { return format == AV_SAMPLE_FMT_U8 || format == AV_SAMPLE_FMT_U8P; }

// The frame's layout, or the usual one for its channel count when it names
// no channels.
void InputLayout(const AVFrame& frame, AVChannelLayout* layout) {
  if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
      av_channel_layout_check(&frame.ch_layout) == 0) {
    av_channel_layout_default(layout, frame.ch_layout.nb_channels);
  } else {
    av_channel_layout_copy(layout, &frame.ch_layout);
  }
}

}  // namespace

MediaResult AudioDecoder::PrepareOutput(const StreamInfo& info, MediaType* type) {
  const AVCodecParameters& parameters = *info.parameters;
  const int channels = parameters.ch_layout.nb_channels;
  if (parameters.sample_rate <= 0 || channels <= 0) return kErrorTypeNotAccepted;
  out_rate_ = parameters.sample_rate;
  out_channels_ = std::min(channels, kMaxChannels);
  out_bits_ = IsEightBit(parameters.format) ? 8 : 16;
  *type = MakePcmType(out_rate_, out_channels_, out_bits_);
  return kOk;
}

void AudioDecoder::ResetRun() {
  // Nothing a converter may hold back belongs to the new run.
  converter_.reset();
  in_format_ = -1;
  placed_ = false;
  anchor_time_ = 0;
  anchor_samples_ = 0;
  back_next_ = -1;
}

ReferenceTime AudioDecoder::SamplesToTime(int64_t samples) const {
  return av_rescale(samples, kUnitsPerSecond, out_rate_);
}

bool AudioDecoder::ConfigureConverter(const AVFrame& frame) {
  if (converter_ && frame.format == in_format_ && frame.sample_rate == in_rate_ &&
      frame.ch_layout.nb_channels == in_channels_) {
    return true;
  }
  converter_.reset();
  ChannelLayout in_layout;
  InputLayout(frame, in_layout.get());
  ChannelLayout out_layout;
  if (frame.ch_layout.nb_channels > kMaxChannels) {
    av_channel_layout_from_mask(out_layout.get(), AV_CH_LAYOUT_5POINT1);
  } else {
    av_channel_layout_copy(out_layout.get(), in_layout.get());
  }
  const int bits = IsEightBit(frame.format) ? 8 : 16;
  const AVSampleFormat out_format = bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
  SwrContext* raw = nullptr;
  if (swr_alloc_set_opts2(&raw, out_layout.get(), out_format, frame.sample_rate, in_layout.get(),
                          static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0,
                          nullptr) < 0) {
    return false;
  }
  SwrContextPtr converter(raw);
  if (swr_init(converter.get()) < 0) return false;
  converter_ = std::move(converter);
  in_format_ = frame.format;
  in_rate_ = frame.sample_rate;
  in_channels_ = frame.ch_layout.nb_channels;

  const int channels = out_layout.get()->nb_channels;
  if (frame.sample_rate != out_rate_ || channels != out_channels_ || bits != out_bits_) {
    out_rate_ = frame.sample_rate;
    out_channels_ = channels;
    out_bits_ = bits;
    placed_ = false;
    AnnounceType(MakePcmType(out_rate_, out_channels_, out_bits_));
  }
  return true;
}

void AudioDecoder::DeliverFrame(AVFrame& frame) {
  if (frame.nb_samples <= 0 || !ConfigureConverter(frame)) return;
  Sample& out = sample();
  const int block_align = out_channels_ * out_bits_ / 8;
  const int capacity = swr_get_out_samples(converter_.get(), frame.nb_samples);
  if (capacity <= 0) return;
  out.Resize(capacity * block_align);
  uint8_t* planes[1] = {out.mutable_data()};
  int count = swr_convert(converter_.get(), planes, capacity,
                          const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
  if (count <= 0) return;

  // Place the block on the stream's sample count, or anew after a jump.
  if (frame.best_effort_timestamp != AV_NOPTS_VALUE) {
    const ReferenceTime stamped = SegmentTime(frame.best_effort_timestamp);
    const ReferenceTime counted = anchor_time_ + SamplesToTime(anchor_samples_);
    const bool behind = stamped < counted - kJoinTolerance;
    const bool confirmed = back_next_ >= 0 && std::llabs(stamped - back_next_) <= kJoinTolerance;
    if (!placed_ || stamped > counted + kJoinTolerance || (behind && confirmed)) {
      anchor_time_ = stamped;
      anchor_samples_ = 0;
    }
    back_next_ = behind && !confirmed ? stamped + SamplesToTime(count) : -1;
  }
  placed_ = true;
  int64_t first = anchor_samples_;
  anchor_samples_ += count;
  const ReferenceTime stop = anchor_time_ + SamplesToTime(anchor_samples_);
  if (stop <= 0) return;  // decoded only to reach the segment start

  // A block reaching over the segment start loses the part before it.
  ReferenceTime start = anchor_time_ + SamplesToTime(first);
  if (start < 0) {
    const int64_t skip = std::min<int64_t>(
        count, av_rescale(-anchor_time_, out_rate_, kUnitsPerSecond) - first);
    if (skip > 0) {
      std::memmove(out.mutable_data(), out.mutable_data() + skip * block_align,
                   (count - skip) * block_align);
      count -= static_cast<int>(skip);
      first += skip;
    }
    start = std::max<ReferenceTime>(0, anchor_time_ + SamplesToTime(first));
    if (count <= 0) return;
  }
  out.Resize(count * block_align);
  out.SetTimes(start, stop);
  DeliverSample();
}

}  // namespace ovc::media
