#include "engine/record/amr_nb_encoder.h"

#include <cmath>
#include <cstdio>

extern "C" {
#include <libavutil/channel_layout.h>
#include <opencore-amrnb/interf_enc.h>
}

namespace ovc {
namespace {

// kbit/s of the modes MR475 … MR122, in the library's order.
constexpr double kModeKbps[AmrNbEncoder::kModeCount] = {4.75, 5.15, 5.9,  6.7,
                                                        7.4,  7.95, 10.2, 12.2};

}  // namespace

int AmrNbEncoder::NearestMode(double kbps) {
  int best = 0;
  for (int mode = 1; mode < kModeCount; ++mode)
    if (std::fabs(kModeKbps[mode] - kbps) < std::fabs(kModeKbps[best] - kbps)) best = mode;
  return best;
}

double AmrNbEncoder::ModeKbps(int mode) {
  return mode >= 0 && mode < kModeCount ? kModeKbps[mode] : 0;
}

std::unique_ptr<AmrNbEncoder> AmrNbEncoder::Open(int sample_rate, int channels, double kbps,
                                                 std::string* reason) {
  if (sample_rate != kSampleRate || channels != 1) {
    char text[160];
    std::snprintf(text, sizeof text, "it takes 8000 Hz mono only, not %d Hz with %d channel%s",
                  sample_rate, channels, channels == 1 ? "" : "s");
    *reason = text;
    return nullptr;
  }
  Mp4PacketPtr packet(av_packet_alloc());
  if (!packet) {
    *reason = "out of memory";
    return nullptr;
  }
  // No discontinuous transmission: every 20 ms is a speech frame, so the
  // samples of the file follow the audio one for one.
  void* state = Encoder_Interface_init(0);
  if (!state) {
    *reason = "the AMR-NB library could not start an encoder";
    return nullptr;
  }
  return std::unique_ptr<AmrNbEncoder>(
      new AmrNbEncoder(state, NearestMode(kbps), std::move(packet)));
}

AmrNbEncoder::~AmrNbEncoder() { Encoder_Interface_exit(state_); }

int AmrNbEncoder::EncodeFrame(const int16_t* samples, uint8_t* out) {
  int bytes = Encoder_Interface_Encode(state_, static_cast<Mode>(mode_), samples, out, 0);
  return bytes > 0 && bytes <= kMaxFrameBytes ? bytes : -1;
}

int AmrNbEncoder::FillParameters(AVCodecParameters* parameters) const {
  parameters->codec_type = AVMEDIA_TYPE_AUDIO;
  parameters->codec_id = AV_CODEC_ID_AMR_NB;
  parameters->sample_rate = kSampleRate;
  av_channel_layout_uninit(&parameters->ch_layout);
  av_channel_layout_default(&parameters->ch_layout, 1);
  parameters->frame_size = kFrameSamples;
  parameters->bit_rate = std::lround(ModeKbps(mode_) * 1000);
  return 0;
}

int AmrNbEncoder::Encode(const int16_t* pcm, int samples, int64_t pts,
                         const Mp4PacketWriter& write) {
  if (samples != kFrameSamples) return AVERROR(EINVAL);
  int result = av_new_packet(packet_.get(), kMaxFrameBytes);
  if (result < 0) return result;
  int bytes = EncodeFrame(pcm, packet_->data);
  if (bytes < 0) {
    av_packet_unref(packet_.get());
    return AVERROR_EXTERNAL;
  }
  av_shrink_packet(packet_.get(), bytes);
  packet_->pts = packet_->dts = pts;
  packet_->duration = kFrameSamples;
  packet_->flags |= AV_PKT_FLAG_KEY;
  result = write(packet_.get());
  av_packet_unref(packet_.get());
  return result;
}

}  // namespace ovc
