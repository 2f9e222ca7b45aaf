#include "platform/imaging/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numeric>
#include <vector>

#include "platform/imaging/resampler_dot.h"
#include "platform/imaging/resampler_filter.h"

namespace ovc {

namespace {

// Exact per-phase coefficient sets are kept while they take at most this many
// coefficients (512 KB): beyond that the interpolated table is as accurate
// and far kinder to the cache.
constexpr int64_t kMaxExactCoefficients = int64_t{1} << 17;
constexpr int kMaxRate = 1000000;
constexpr int kMaxPhases = 4096;
constexpr float kMaxKaiserBeta = 40.0f;

int16_t ToSample(float value) {
  value = std::clamp(value, -32768.0f, 32767.0f);
  return static_cast<int16_t>(std::lrint(value));
}

}  // namespace

struct Resampler {
  // Fixed at creation.
  int input_rate = 0;
  int output_rate = 0;
  int phases = 0;
  float cutoff = 0.0f;
  float kaiser_beta = 0.0f;
  bool exact_wanted = false;
  // Output positions: whole input samples plus grid steps of 1/grid; one
  // output advances by step_whole samples and step_grid steps.
  int64_t grid = 1;
  int64_t step_whole = 0;
  int64_t step_grid = 0;
  // The stretch the rate pair itself needs: input rate ÷ the lower rate.
  double natural_stretch = 1.0;

  // The filter, rebuilt when a call asks for a different stretch.
  double stretch = 0.0;
  bool pass_through = false;
  bool exact = false;
  int half_span = 0;
  int stride = 0;  // coefficients per set, a multiple of kDotBlock
  // exact: `grid` sets, one per output phase; otherwise phases + 1 sets for
  // offsets 0, 1/phases, …, 1.
  std::vector<float> table;

  // Input converted to float for the current call.
  std::vector<float> scratch;
  DotKernels dot = SelectDotKernels();
};

namespace {

void BuildFilter(Resampler& r, double stretch) {
  r.stretch = stretch;
  r.table.clear();
  r.pass_through = r.input_rate == r.output_rate && stretch == 1.0;
  if (r.pass_through) {
    r.half_span = 0;
    r.stride = 0;
    r.exact = true;
    return;
  }
  const LowpassDesign design = DesignLowpass(stretch, r.cutoff, r.kaiser_beta, kResamplerReach);
  r.half_span = design.half_span;
  r.stride = (2 * design.half_span + kDotBlock - 1) / kDotBlock * kDotBlock;
  r.exact = r.exact_wanted && r.grid * r.stride <= kMaxExactCoefficients;
  const int64_t sets = r.exact ? r.grid : r.phases + 1;
  const int64_t divisor = r.exact ? r.grid : r.phases;
  r.table.assign(static_cast<size_t>(sets * r.stride), 0.0f);
  for (int64_t s = 0; s < sets; ++s) {
    FillCoefficientSet(design, static_cast<double>(s) / static_cast<double>(divisor),
                       r.table.data() + s * r.stride, r.stride);
  }
}

}  // namespace

void CloseResampler(Resampler* handle) { delete handle; }

void FreeSamples(int16_t* buffer) { delete[] buffer; }

int CreateResampler(ResamplerPtr* handle, int input_rate, int output_rate, int phases,
                    float cutoff, float kaiser_beta, int exact_phases) {
  if (handle == nullptr) return -1;
  handle->reset();
  if (input_rate < 1 || input_rate > kMaxRate || output_rate < 1 || output_rate > kMaxRate) {
    return -1;
  }
  if (static_cast<int64_t>(input_rate) > int64_t{kMaxResampleRatio} * output_rate ||
      static_cast<int64_t>(output_rate) > int64_t{kMaxResampleRatio} * input_rate) {
    return -1;
  }
  if (phases < 1 || phases > kMaxPhases) return -1;
  if (!(cutoff > 0.0f && cutoff <= 1.0f)) return -1;
  if (!(kaiser_beta >= 0.0f && kaiser_beta <= kMaxKaiserBeta)) return -1;
  if (exact_phases != 0 && exact_phases != 1) return -1;

  ResamplerPtr r(new (std::nothrow) Resampler);
  if (!r) return -1;
  r->input_rate = input_rate;
  r->output_rate = output_rate;
  r->phases = phases;
  r->cutoff = cutoff;
  r->kaiser_beta = kaiser_beta;
  r->exact_wanted = exact_phases == 1;
  const int64_t divisor = std::gcd(input_rate, output_rate);
  r->grid = output_rate / divisor;
  const int64_t step = input_rate / divisor;  // in grid steps
  r->step_whole = step / r->grid;
  r->step_grid = step % r->grid;
  r->natural_stretch =
      std::max(1.0, static_cast<double>(input_rate) / static_cast<double>(output_rate));
  BuildFilter(*r, r->natural_stretch);
  *handle = std::move(r);
  return 0;
}

SampleBuffer AllocateSamples(int count) {
  if (count < 1) return nullptr;
  return SampleBuffer(new (std::nothrow) int16_t[count]());
}

void PrepareHistory(int16_t* buffer, int history) {
  if (buffer == nullptr || history < 1) return;
  std::fill(buffer, buffer + history, int16_t{0});
}

void MoveSamples(const int16_t* source, int16_t* destination, int count) {
  if (source == nullptr || destination == nullptr || count < 1) return;
  std::memmove(destination, source, static_cast<size_t>(count) * sizeof(int16_t));
}

int ConvertSamples(Resampler* handle, const int16_t* input, int available, int16_t* output,
                   float factor, double* time_position, int* produced) {
  if (produced != nullptr) *produced = 0;
  if (handle == nullptr || input == nullptr || output == nullptr || time_position == nullptr ||
      produced == nullptr) {
    return -1;
  }
  Resampler& r = *handle;
  const double time = *time_position;
  if (!(time >= kResamplerReach - 1) || time > 1e15) return -1;
  if (!(factor >= 1.0f) || factor > kMaxResampleRatio) return -1;

  const double stretch = std::max(r.natural_stretch, static_cast<double>(factor));
  if (stretch != r.stretch) BuildFilter(r, stretch);

  // The position as whole samples and grid steps.
  int64_t whole = static_cast<int64_t>(time);
  int64_t step = std::llround((time - static_cast<double>(whole)) * static_cast<double>(r.grid));
  if (step >= r.grid) {
    ++whole;
    step -= r.grid;
  }
  const int64_t limit = static_cast<int64_t>(time) + available;

  int count = 0;
  if (whole < limit) {
    const int64_t span = r.half_span;
    if (r.pass_through) {
      for (; whole < limit; whole += r.step_whole) output[count++] = input[whole];
    } else {
      // Convert the samples the filter will read to float once; the zeros
      // after them meet the padding taps of the last sets.
      const int64_t first = whole - span + 1;
      const int64_t end = limit + span;
      const size_t length = static_cast<size_t>(end - first);
      r.scratch.resize(length + static_cast<size_t>(r.stride));
      float* x = r.scratch.data();
      for (size_t i = 0; i < length; ++i) x[i] = input[first + static_cast<int64_t>(i)];
      std::fill(x + length, x + length + r.stride, 0.0f);

      const float* table = r.table.data();
      const int stride = r.stride;
      while (whole < limit) {
        const float* window = x + (whole - span + 1 - first);
        float value;
        if (r.exact) {
          value = r.dot.dot(table + step * stride, window, stride);
        } else {
          // Offset step / grid in table entries: entry plus a fraction.
          const int64_t scaled = step * r.phases;
          const int64_t entry = scaled / r.grid;
          const float fraction =
              static_cast<float>(scaled % r.grid) / static_cast<float>(r.grid);
          float lower;
          float upper;
          r.dot.dot2(table + entry * stride, table + (entry + 1) * stride, window, stride, &lower,
                     &upper);
          value = lower + fraction * (upper - lower);
        }
        output[count++] = ToSample(value);
        whole += r.step_whole;
        step += r.step_grid;
        if (step >= r.grid) {
          step -= r.grid;
          ++whole;
        }
      }
    }
  }
  *time_position = static_cast<double>(whole) +
                   static_cast<double>(step) / static_cast<double>(r.grid);
  *produced = count;
  return 0;
}

}  // namespace ovc
