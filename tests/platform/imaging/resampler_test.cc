#include "platform/imaging/resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "platform/imaging/resampler_dot.h"
#include "platform/imaging/resampler_filter.h"

namespace ovc {
namespace {

constexpr int kHistory = kResamplerReach;

ResamplerPtr Create(int input_rate, int output_rate, int exact_phases = 1) {
  ResamplerPtr handle;
  EXPECT_EQ(CreateResampler(&handle, input_rate, output_rate, 256, 0.95f, 9.0f, exact_phases), 0);
  return handle;
}

// A buffer of kHistory samples of silence, then `samples`.
std::vector<int16_t> WithHistory(const std::vector<int16_t>& samples) {
  std::vector<int16_t> buffer(kHistory, 0);
  buffer.insert(buffer.end(), samples.begin(), samples.end());
  return buffer;
}

std::vector<int16_t> Tone(int rate, double frequency, double amplitude, int count) {
  std::vector<int16_t> samples(count);
  for (int i = 0; i < count; ++i) {
    samples[i] = static_cast<int16_t>(
        std::lrint(amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / rate)));
  }
  return samples;
}

// Converts a whole buffer (history, samples, look-ahead) in one call.
std::vector<int16_t> ConvertBuffer(Resampler* handle, const std::vector<int16_t>& buffer,
                                   int output_capacity, float factor = 1.0f) {
  std::vector<int16_t> output(output_capacity);
  double time = kHistory;
  int produced = -1;
  EXPECT_EQ(ConvertSamples(handle, buffer.data(), static_cast<int>(buffer.size()) - 2 * kHistory,
                           output.data(), factor, &time, &produced),
            0);
  output.resize(std::max(produced, 0));
  return output;
}

double Rms(const std::vector<int16_t>& samples, size_t from, size_t to) {
  double power = 0.0;
  for (size_t i = from; i < to; ++i) power += static_cast<double>(samples[i]) * samples[i];
  return std::sqrt(power / static_cast<double>(to - from));
}

TEST(ResamplerTest, CreateRejectsWhatItCannotConvert) {
  struct Case {
    int input_rate, output_rate, phases;
    float cutoff, beta;
    int exact;
  };
  const Case bad[] = {
      {0, 48000, 256, 0.95f, 9.0f, 1},      {44100, -1, 256, 0.95f, 9.0f, 1},
      {2000000, 48000, 256, 0.95f, 9.0f, 1}, {65000, 1000, 256, 0.95f, 9.0f, 1},
      {1000, 65000, 256, 0.95f, 9.0f, 1},   {44100, 48000, 0, 0.95f, 9.0f, 1},
      {44100, 48000, 5000, 0.95f, 9.0f, 1}, {44100, 48000, 256, 0.0f, 9.0f, 1},
      {44100, 48000, 256, 1.5f, 9.0f, 1},   {44100, 48000, 256, NAN, 9.0f, 1},
      {44100, 48000, 256, 0.95f, -1.0f, 1}, {44100, 48000, 256, 0.95f, 9.0f, 2},
  };
  for (const Case& c : bad) {
    ResamplerPtr handle = Create(8000, 16000);
    EXPECT_EQ(CreateResampler(&handle, c.input_rate, c.output_rate, c.phases, c.cutoff, c.beta,
                              c.exact),
              -1)
        << c.input_rate << " " << c.output_rate << " " << c.phases << " " << c.cutoff;
    EXPECT_EQ(handle, nullptr);
  }
  EXPECT_EQ(CreateResampler(nullptr, 44100, 48000, 256, 0.95f, 9.0f, 1), -1);
}

// Every grid position from the time position up to trunc(time) + available
// is produced, and the time moves on to the first one not produced.
TEST(ResamplerTest, ConvertAdvancesTheTimePositionByTheInputConsumed) {
  ResamplerPtr handle = Create(44100, 48000);
  const std::vector<int16_t> buffer = WithHistory(Tone(44100, 440.0, 8000.0, 1000 + kHistory));
  std::vector<int16_t> output(2000);
  double time = kHistory + 0.5;  // 80/160 of a sample: on the grid
  int produced = 0;
  ASSERT_EQ(ConvertSamples(handle.get(), buffer.data(), 1000, output.data(), 1.0f, &time,
                           &produced),
            0);
  // Positions 128.5 + k × 147/160 below 1128: k = 0 … 1087.
  EXPECT_EQ(produced, 1088);
  EXPECT_NEAR(time, kHistory + 0.5 + 1088.0 * 147.0 / 160.0, 1e-9);

  // Nothing to convert leaves the position where it is.
  const double before = time;
  ASSERT_EQ(ConvertSamples(handle.get(), buffer.data(), 0, output.data(), 1.0f, &time, &produced),
            0);
  EXPECT_EQ(produced, 0);
  EXPECT_NEAR(time, before, 1e-9);
}

TEST(ResamplerTest, ConvertRefusesUnsafeArguments) {
  ResamplerPtr handle = Create(48000, 24000);
  std::vector<int16_t> buffer(1000, 0);
  std::vector<int16_t> output(1000);
  int produced = 5;
  double time = kHistory - 2;  // too little history before it
  EXPECT_EQ(ConvertSamples(handle.get(), buffer.data(), 100, output.data(), 2.0f, &time, &produced),
            -1);
  EXPECT_EQ(produced, 0);
  time = NAN;
  EXPECT_EQ(ConvertSamples(handle.get(), buffer.data(), 100, output.data(), 2.0f, &time, &produced),
            -1);
  time = kHistory;
  EXPECT_EQ(ConvertSamples(handle.get(), buffer.data(), 100, output.data(), 0.5f, &time, &produced),
            -1);
  EXPECT_EQ(ConvertSamples(nullptr, buffer.data(), 100, output.data(), 2.0f, &time, &produced), -1);
  EXPECT_EQ(ConvertSamples(handle.get(), nullptr, 100, output.data(), 2.0f, &time, &produced), -1);
  EXPECT_EQ(time, kHistory);
}

// The interpolated table and the exact per-phase sets describe the same
// filter: their outputs differ by rounding at most.
TEST(ResamplerTest, InterpolatedTableMatchesExactPhases) {
  for (const auto& [in, out] : {std::pair{44100, 48000}, {48000, 44100}, {8000, 48000}}) {
    const std::vector<int16_t> buffer = WithHistory(Tone(in, 3100.0, 30000.0, 20000));
    const int capacity = 20000 * out / in + 2;
    const std::vector<int16_t> exact = ConvertBuffer(Create(in, out, 1).get(), buffer, capacity);
    const std::vector<int16_t> interpolated =
        ConvertBuffer(Create(in, out, 0).get(), buffer, capacity);
    ASSERT_EQ(exact.size(), interpolated.size());
    int largest = 0;
    for (size_t k = 0; k < exact.size(); ++k) {
      largest = std::max(largest, std::abs(exact[k] - interpolated[k]));
    }
    EXPECT_LE(largest, 1) << in << " to " << out;
  }
}

TEST(ResamplerTest, EqualRatesCopySamples) {
  ResamplerPtr handle = Create(32000, 32000);
  std::vector<int16_t> samples(500);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 131 - 32768);
  const std::vector<int16_t> buffer = WithHistory(samples);
  const std::vector<int16_t> output = ConvertBuffer(handle.get(), buffer, 500);
  ASSERT_EQ(output.size(), samples.size() - kHistory);
  EXPECT_TRUE(std::equal(output.begin(), output.end(), samples.begin()));
}

// A factor above the rate ratio narrows the band: at 44100 Hz a factor of 4
// keeps tones below about 5 kHz.
TEST(ResamplerTest, LargerFactorNarrowsTheBand) {
  ResamplerPtr handle = Create(44100, 48000);
  const std::vector<int16_t> low = WithHistory(Tone(44100, 1000.0, 20000.0, 20000));
  const std::vector<int16_t> high = WithHistory(Tone(44100, 8000.0, 20000.0, 20000));
  const std::vector<int16_t> low_out = ConvertBuffer(handle.get(), low, 25000, 4.0f);
  const std::vector<int16_t> high_out = ConvertBuffer(handle.get(), high, 25000, 4.0f);
  const std::vector<int16_t> high_full = ConvertBuffer(handle.get(), high, 25000, 1.0f);
  EXPECT_NEAR(Rms(low_out, 500, low_out.size()), 20000.0 / std::sqrt(2.0), 20.0);
  EXPECT_LT(Rms(high_out, 500, high_out.size()), 2.0);
  EXPECT_NEAR(Rms(high_full, 500, high_full.size()), 20000.0 / std::sqrt(2.0), 20.0);
}

TEST(ResamplerTest, BufferPrimitives) {
  SampleBuffer buffer = AllocateSamples(300);
  ASSERT_NE(buffer, nullptr);
  EXPECT_TRUE(std::all_of(buffer.get(), buffer.get() + 300, [](int16_t s) { return s == 0; }));
  EXPECT_EQ(AllocateSamples(0), nullptr);

  for (int i = 0; i < 300; ++i) buffer[i] = static_cast<int16_t>(i + 1);
  PrepareHistory(buffer.get(), 128);
  EXPECT_EQ(buffer[127], 0);
  EXPECT_EQ(buffer[128], 129);

  // Overlapping move towards the start, as the converter's caller does it.
  MoveSamples(buffer.get() + 100, buffer.get(), 200);
  EXPECT_EQ(buffer[0], 0);      // was buffer[100]
  EXPECT_EQ(buffer[28], 129);   // was buffer[128]
  EXPECT_EQ(buffer[199], 300);  // was buffer[299]
  EXPECT_EQ(buffer[200], 201);  // untouched
}

// The filter's frequency response, read from all its phases together:
// flat through the pass band, at least 85 dB down from the Nyquist frequency
// of the lower rate on.
TEST(ResamplerFilterTest, PassBandFlatStopBandDeep) {
  for (const double stretch : {1.0, 1.5, 2.0, 6.0}) {
    const LowpassDesign design = DesignLowpass(stretch, 0.95, 9.0, kResamplerReach);
    ASSERT_LE(design.half_span, kResamplerReach);
    constexpr int kPhases = 64;
    const int taps = 2 * design.half_span;
    std::vector<std::vector<float>> sets(kPhases, std::vector<float>(taps));
    for (int p = 0; p < kPhases; ++p) {
      FillCoefficientSet(design, static_cast<double>(p) / kPhases, sets[p].data(), taps);
    }
    // Response at f cycles per input sample.
    auto gain = [&](double f) {
      std::complex<double> sum = 0.0;
      for (int p = 0; p < kPhases; ++p) {
        for (int k = 0; k < taps; ++k) {
          const double distance = static_cast<double>(p) / kPhases + design.half_span - 1 - k;
          sum += static_cast<double>(sets[p][k]) *
                 std::polar(1.0, -2.0 * std::numbers::pi * f * distance);
        }
      }
      return std::abs(sum) / kPhases;
    };
    const double nyquist = 0.5 / stretch;  // of the lower rate, per input sample
    const double pass_edge = stretch > 2.2 ? 0.75 : 0.9;  // a wider transition when capped
    for (double f = 0.0; f <= pass_edge * nyquist; f += nyquist / 50) {
      EXPECT_NEAR(gain(f), 1.0, 1e-3) << "stretch " << stretch << " at " << f;
    }
    for (double f = nyquist; f <= 2.0; f += nyquist / 40) {
      EXPECT_LT(20.0 * std::log10(gain(f)), -85.0) << "stretch " << stretch << " at " << f;
    }
  }
}

// The kernels picked for this processor compute what the portable ones do.
TEST(ResamplerDotTest, KernelsAgree) {
  const DotKernels fast = SelectDotKernels();
  const DotKernels portable = PortableDotKernels();
  std::mt19937 random(11);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  for (int length = kDotBlock; length <= 264; length += kDotBlock) {
    std::vector<float> a(length + 3), b(length + 3), x(length + 3);
    for (size_t i = 0; i < a.size(); ++i) {
      a[i] = value(random);
      b[i] = value(random);
      x[i] = 30000.0f * value(random);
    }
    // Odd offsets: the kernels take unaligned data.
    const float expected = portable.dot(a.data() + 1, x.data() + 3, length);
    EXPECT_NEAR(fast.dot(a.data() + 1, x.data() + 3, length), expected, 0.5) << length;
    float fa = 0, fb = 0, pa = 0, pb = 0;
    fast.dot2(a.data() + 1, b.data() + 2, x.data() + 3, length, &fa, &fb);
    portable.dot2(a.data() + 1, b.data() + 2, x.data() + 3, length, &pa, &pb);
    EXPECT_NEAR(fa, expected, 0.5) << length;
    EXPECT_NEAR(fb, pb, 0.5) << length;
    EXPECT_NEAR(pa, expected, 0.5) << length;
  }
}

}  // namespace
}  // namespace ovc
