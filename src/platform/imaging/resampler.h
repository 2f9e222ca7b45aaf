#pragma once

#include <cstdint>
#include <memory>

namespace ovc {

// Sample-rate conversion of one channel of signed 16-bit audio.
//
// A converter resamples from its input rate to its output rate with a
// polyphase Kaiser-windowed sinc low-pass. The caller keeps the input in a
// buffer of its own and tells the converter where to go on by a time
// position: a real number of input samples from the start of that buffer.
// Output sample positions lie on a grid of 1/L input samples, where L is the
// output rate divided by the greatest common divisor of the two rates, and
// follow each other exactly input rate ÷ output rate input samples apart.
// Positions are counted exactly (in whole grid steps), so the output of a
// stream does not depend on how the caller cuts it into calls, and the
// output samples are the band-limited input at exactly those positions (the
// filter is symmetric: no delay).
//
// Results follow the usual convention: 0 on success, -1 on failure.

// Input samples the filter may read on each side of an output position: an
// output at position p reads no further than the samples
// trunc(p) - kResamplerReach + 1 and trunc(p) + kResamplerReach. A caller keeps that much history before the
// time position and that much look-ahead after the last converted position.
inline constexpr int kResamplerReach = 128;

// Highest ratio of the two rates, either way, that a converter takes.
inline constexpr int kMaxResampleRatio = 64;

struct Resampler;

// Closes a converter; null is ignored.
void CloseResampler(Resampler* handle);

struct ResamplerCloser {
  void operator()(Resampler* handle) const { CloseResampler(handle); }
};
using ResamplerPtr = std::unique_ptr<Resampler, ResamplerCloser>;

// Frees a buffer of AllocateSamples; null is ignored.
void FreeSamples(int16_t* buffer);

struct SampleBufferFreer {
  void operator()(int16_t* buffer) const { FreeSamples(buffer); }
};
using SampleBuffer = std::unique_ptr<int16_t[], SampleBufferFreer>;

// Creates a converter from input_rate to output_rate (Hz, 1 … 1,000,000,
// neither more than kMaxResampleRatio times the other) into *handle.
//   phases       entries per input sample of the interpolated coefficient
//                table (1 … 4096); at 256 the interpolation error stays below
//                the 16-bit noise floor through the pass band.
//   cutoff       the filter's -6 dB point relative to the Nyquist frequency
//                of the lower rate (0 < cutoff <= 1). Its transition band is
//                2 × (1 - cutoff) of that Nyquist frequency wide, so the stop
//                band starts at the Nyquist frequency (0.95: pass band to
//                0.9). Where the reach is too short for that (decimation by
//                more than about 2.2), the cutoff moves down instead.
//   kaiser_beta  the window's shape (0 … 40): 9.0 gives about 90 dB of
//                stop-band attenuation.
//   exact_phases 1: when the rate pair has few distinct output phases (its L
//                above), keep one exact coefficient set per phase, one
//                multiply per tap; otherwise, and with 0, interpolate
//                linearly between neighbouring entries of the table.
// Equal rates pass samples through unchanged.
int CreateResampler(ResamplerPtr* handle, int input_rate, int output_rate, int phases,
                    float cutoff, float kaiser_beta, int exact_phases);

// A zeroed buffer of `count` 16-bit samples, or null when count < 1 or
// memory is short.
SampleBuffer AllocateSamples(int count);

// Prepares the history part of an input buffer: its first `history` samples
// become silence.
void PrepareHistory(int16_t* buffer, int history);

// Converts the input after the time position.
//   input          the caller's input buffer, read from trunc(time) -
//                  kResamplerReach + 1 up to trunc(time) + available - 1 +
//                  kResamplerReach
//   available      input samples from trunc(time) that may be converted: every
//                  output position from the time position up to (not
//                  including) trunc(time) + available is produced. Zero or
//                  less converts nothing.
//   output         receives the samples, at most
//                  ceil(available × output rate ÷ input rate) of them
//   factor         the smallest stretch of the low-pass (>= 1): the pass band
//                  is limited to cutoff × the input's Nyquist frequency ÷ factor,
//                  or to the lower rate's band when that is narrower. A caller
//                  that passes the whole part of input rate ÷ output rate (at
//                  least 1) gets the converter's own band.
//   time_position  in: the first output position, in input samples from the
//                  buffer start (taken to the nearest grid point); out: the
//                  first position not yet produced
//   produced       out: samples written
// Returns -1 (converting nothing) for a null argument, a time position whose
// whole part is below kResamplerReach - 1 (too little history before it) or
// not a number, or a factor below 1 or above kMaxResampleRatio.
int ConvertSamples(Resampler* handle, const int16_t* input, int available, int16_t* output,
                   float factor, double* time_position, int* produced);

// Moves `count` samples from source to destination within one buffer; the
// ranges may overlap.
void MoveSamples(const int16_t* source, int16_t* destination, int count);

}  // namespace ovc
