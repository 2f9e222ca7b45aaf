#include "platform/imaging/zntv_resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ovc {

namespace {

// Converter parameters: 256 table entries per input sample, the -6 dB point
// at 0.95 of the lower rate's Nyquist frequency, a Kaiser window of beta 9
// (about 90 dB of stop band), exact per-phase coefficient sets where the
// rate pair allows.
constexpr int kPhases = 256;
constexpr float kCutoff = 0.95f;
constexpr float kKaiserBeta = 9.0f;
constexpr int kExactPhases = 1;

// The filter reads this far on both sides of the time position; the buffer
// keeps that much history and look-ahead.
static_assert(ZntvResampler::kHistory >= kResamplerReach);

}  // namespace

float ZntvResampler::ConversionFactor(int input_rate, int output_rate) {
  if (output_rate <= 0) return 1.0f;
  return std::max(1.0f, static_cast<float>(input_rate / output_rate));
}

int ZntvResampler::Initialise(int input_rate, int output_rate) {
  Free();
  ResamplerPtr handle;
  if (CreateResampler(&handle, input_rate, output_rate, kPhases, kCutoff, kKaiserBeta,
                      kExactPhases) != 0) {
    return -1;
  }
  SampleBuffer input = AllocateSamples(kInputBufferSamples);
  const double output_samples =
      std::trunc(static_cast<double>(output_rate) * (kBlock - kHistory) / input_rate + 2);
  SampleBuffer output = AllocateSamples(static_cast<int>(output_samples));
  if (!input || !output) return -1;
  PrepareHistory(input.get(), kHistory);

  handle_ = std::move(handle);
  input_ = std::move(input);
  output_ = std::move(output);
  input_rate_ = input_rate;
  output_rate_ = output_rate;
  time_ = kStartTime;
  write_position_ = kHistory;
  return 0;
}

void ZntvResampler::Free() {
  output_.reset();
  input_.reset();
  handle_.reset();
}

int ZntvResampler::MaxProduced(int count) const {
  if (!initialised() || count < 0) return 0;
  return static_cast<int>(static_cast<int64_t>(count) * output_rate_ / input_rate_) + 2;
}

int ZntvResampler::Convert(const int16_t* source, int count, int16_t* destination,
                           int* produced) {
  if (produced == nullptr) return -1;
  *produced = 0;
  if (!initialised() || count < 0 || (count > 0 && (source == nullptr || destination == nullptr))) {
    return -1;
  }
  const float factor = ConversionFactor(input_rate_, output_rate_);
  int total = 0;
  int remaining = count;
  for (;;) {
    // Fill the block from the source; stop when nothing is left to copy.
    const int room = kBlock - write_position_;
    const int copy = std::min(room, remaining);
    if (copy <= 0) break;
    std::memcpy(input_.get() + write_position_, source, static_cast<size_t>(copy) * sizeof(int16_t));
    source += copy;
    remaining -= copy;
    write_position_ += copy;

    // Convert up to kHistory samples short of the write position: those
    // stay as look-ahead.
    int t = static_cast<int>(std::trunc(time_));
    int converted = 0;
    if (ConvertSamples(handle_.get(), input_.get(), write_position_ - kHistory - t,
                       output_.get(), factor, &time_, &converted) != 0) {
      *produced = total;
      return -1;
    }
    std::memcpy(destination + total, output_.get(), static_cast<size_t>(converted) * sizeof(int16_t));
    total += converted;

    // Keep kHistory samples before the new time position and everything
    // after it; shift them to the buffer start.
    t = static_cast<int>(std::trunc(time_));
    MoveSamples(input_.get() + (t - kHistory), input_.get(), write_position_ + kHistory - t);
    write_position_ -= t - kHistory;
    time_ -= t - kHistory;
  }
  *produced = total;
  return 0;
}

}  // namespace ovc
