#pragma once

#include <memory>
#include <string>

#include "engine/record/mp4_audio_encoder.h"

namespace ovc {

// AMR-NB speech encoding for 3GP files, over libopencore-amrnb.
//
// Takes 8000 Hz mono only, 160 samples (20 ms) per frame. Each frame
// becomes one packet in the storage format that 3GP files hold as one
// sample: a header byte (frame type in bits 3..6, quality bit 2) followed
// by the speech bits, 13 to 32 bytes by mode.
class AmrNbEncoder : public Mp4AudioEncoder {
 public:
  static constexpr int kSampleRate = 8000;
  static constexpr int kFrameSamples = 160;
  // The largest storage-format frame (12.2 kbit/s).
  static constexpr int kMaxFrameBytes = 32;
  static constexpr int kModeCount = 8;

  // The mode (0 = 4.75 … 7 = 12.2 kbit/s) whose rate is nearest `kbps`.
  static int NearestMode(double kbps);
  // The rate of a mode in kbit/s.
  static double ModeKbps(int mode);

  // Opens an encoder at the mode nearest to `kbps`. Refuses any other
  // rate than 8000 Hz or channel count than 1: returns null and sets
  // *reason to why, in words for the user.
  static std::unique_ptr<AmrNbEncoder> Open(int sample_rate, int channels, double kbps,
                                            std::string* reason);
  ~AmrNbEncoder() override;
  AmrNbEncoder(const AmrNbEncoder&) = delete;
  AmrNbEncoder& operator=(const AmrNbEncoder&) = delete;

  int mode() const { return mode_; }

  // One frame of 160 samples into `out` (kMaxFrameBytes at least).
  // Returns the bytes written, or -1.
  int EncodeFrame(const int16_t* samples, uint8_t* out);

  int frame_size() const override { return kFrameSamples; }
  bool takes_short_last_frame() const override { return false; }
  int sample_rate() const override { return kSampleRate; }
  int initial_padding() const override { return 0; }
  int channels() const override { return 1; }
  int FillParameters(AVCodecParameters* parameters) const override;
  int Encode(const int16_t* pcm, int samples, int64_t pts, const Mp4PacketWriter& write) override;
  // AMR-NB holds nothing back: every frame comes out at once.
  int Flush(const Mp4PacketWriter&) override { return 0; }

 private:
  AmrNbEncoder(void* state, int mode, Mp4PacketPtr packet)
      : state_(state), mode_(mode), packet_(std::move(packet)) {}

  void* state_;  // the library's encoder state
  const int mode_;
  Mp4PacketPtr packet_;
};

}  // namespace ovc
