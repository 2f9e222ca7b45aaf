#pragma once

#include "platform/media/decoder_filter.h"

namespace ovc::media {

// "Audio Decoder": decodes the file's audio stream into interleaved PCM at
// the source's rate and channel count, 16-bit signed, or 8-bit unsigned when
// the source is 8-bit; more than kMaxChannels channels are mixed down to 5.1.
//
// Block times follow the sample count from where a block's timestamp first
// placed the stream, so consecutive blocks join without a seam; a timestamp
// more than kJoinTolerance away from that count (a hole in the audio, a
// jump) places the stream anew. A timestamp behind the count places it anew
// only once the next block's timestamp follows on from it: damaged streams
// (an Ogg page that lost its granule position) stamp a run of blocks with
// one stale time, which would put the sound seconds back.
class AudioDecoder final : public DecoderFilter {
 public:
  static constexpr int kMaxChannels = 6;
  static constexpr ReferenceTime kJoinTolerance = 50000;  // 5 ms

  AudioDecoder() : DecoderFilter(MajorType::kAudio) {}

 protected:
  MediaResult PrepareOutput(const StreamInfo& info, MediaType* type) override;
  void ResetRun() override;
  void DeliverFrame(AVFrame& frame) override;

 private:
  // Sets the converter up for this frame's format; false when it cannot.
  bool ConfigureConverter(const AVFrame& frame);
  ReferenceTime SamplesToTime(int64_t samples) const;

  // The format delivered: set when the input connects, then written by
  // the streaming thread only.
  int out_rate_ = 0;
  int out_channels_ = 0;
  int out_bits_ = 0;

  // Written by the streaming thread only.
  SwrContextPtr converter_;
  int in_format_ = -1;
  int in_rate_ = 0;
  int in_channels_ = 0;
  bool placed_ = false;
  ReferenceTime anchor_time_ = 0;   // segment time of the anchor sample
  int64_t anchor_samples_ = 0;      // sample frames delivered since the anchor
  // Where the next block's timestamp would be if the last block's, behind
  // the count, were true; -1 when the last block followed the count.
  ReferenceTime back_next_ = -1;
};

}  // namespace ovc::media
