#pragma once

#include <cstdint>

#include "platform/imaging/resampler.h"

namespace ovc {

// Converts one channel of 16-bit audio from the input sampling rate to the
// output sampling rate, one piece of the stream at a time.
//
// The converter is fed through an input buffer of kBlock + kHistory + 2
// samples: kHistory samples before the time position stay in it as the
// filter's history, and the last kHistory samples received stay in it as its
// look-ahead, to be converted by a later call. So the output lags the input
// by kHistory input samples (they come out with the next piece), but not in
// time: output sample k is the band-limited input at exactly
// k × input rate ÷ output rate input samples from the stream start. The time
// position keeps its fraction between calls, and a stream cut into pieces of
// any size converts exactly as one piece.
//
// Belongs to one thread (the audio encoding thread of a conversion).
class ZntvResampler {
 public:
  static constexpr int kBlock = 4096;
  static constexpr int kHistory = 128;
  static constexpr int kInputBufferSamples = kBlock + kHistory + 2;
  static constexpr double kStartTime = kHistory;

  ZntvResampler() = default;
  ~ZntvResampler() { Free(); }
  ZntvResampler(const ZntvResampler&) = delete;
  ZntvResampler& operator=(const ZntvResampler&) = delete;
  ZntvResampler(ZntvResampler&&) = default;
  ZntvResampler& operator=(ZntvResampler&&) = default;

  // Prepares conversion from input_rate to output_rate (Hz). Frees what an
  // earlier Initialise set up. Returns 0, or -1 when the converter or its
  // buffers can't be had (the object is then left freed).
  int Initialise(int input_rate, int output_rate);

  // Converts `count` samples of source and writes the converted samples to
  // destination, which must hold MaxProduced(count) samples; *produced is
  // set to the number written. Returns 0, or -1 when not initialised or the
  // arguments are invalid (nothing written).
  int Convert(const int16_t* source, int count, int16_t* destination, int* produced);

  // Releases the converter and its buffers; safe to call more than once.
  void Free();

  bool initialised() const { return handle_ != nullptr; }

  // The most samples one Convert of `count` input samples writes:
  // trunc(count × output rate ÷ input rate) + 2. Zero when not initialised.
  int MaxProduced(int count) const;

  // The filter stretch passed to every conversion: input rate ÷ output rate
  // as a whole number, at least 1.
  static float ConversionFactor(int input_rate, int output_rate);

 private:
  ResamplerPtr handle_;
  SampleBuffer input_;
  SampleBuffer output_;
  int input_rate_ = 0;
  int output_rate_ = 0;
  // Time position, in input samples from the start of input_.
  double time_ = kStartTime;
  // Samples of input_ in use.
  int write_position_ = kHistory;
};

}  // namespace ovc
