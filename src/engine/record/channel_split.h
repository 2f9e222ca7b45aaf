#pragma once

#include <cstdint>

namespace ovc {

// Splits n sample frames of interleaved 16-bit PCM with `channels` (1..6)
// channels into a left plane (also the mono plane) and a right plane.
// "Half" is a sum divided by 2, truncated towards zero.
//   1: copied to the left plane.
//   2, one output channel: left_right_channel 0 mixes left + half of right
//      (saturated at the 16-bit limits), 1 takes left, 2 takes right.
//   2, two output channels: the planes as they come.
//   3 (s0..s2): left = half(s1+s2), right = half(s0+s2).
//   4: left = half(s1+s2+s3), right = half(s0+s2+s3).
//   5: left = half(s1+s2+s3+s4), right = half(s0+s2+s3+s4).
//   6: left = half(s0+s2+s3+s4), right = half(s1+s2+s3+s5).
// Every result saturates at the 16-bit limits instead of wrapping around
// (a wrapped peak is a loud click); the planes each hold n samples. `right` is untouched for one
// input channel and for a mono stereo mix.
void ChannelSplit(const int16_t* input, int n, int channels, int output_channels,
                  int left_right_channel, int16_t* left, int16_t* right);

// Sample frames of audio at `rate` (Hz) per picture at `fps`: rate / fps,
// kept between 1 and kMaxSamplesPerFrame whatever the rates are (0, negative,
// infinite or NaN), so that every period takes some audio, fits the
// encoding buffer and no count derived from it overflows an int.
inline constexpr double kMaxSamplesPerFrame = 65536;
double SamplesPerFrame(double rate, double fps);

// The audio of one output frame period: R / F sample frames, with the
// fraction carried from period to period so that whole seconds come out
// exact (44100 Hz at 29.97 fps alternates 1471 and 1472 sample frames).
class PeriodCutter {
 public:
  // Sample frames of the next period at input rate `rate` (Hz) and `fps`,
  // from SamplesPerFrame.
  int Next(double rate, double fps);
  double remainder() const { return remainder_; }
  void Reset() { remainder_ = 0; }

 private:
  double remainder_ = 0;
};

}  // namespace ovc
