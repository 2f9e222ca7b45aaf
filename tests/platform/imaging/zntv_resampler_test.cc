#include "platform/imaging/zntv_resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace ovc {
namespace {

constexpr int16_t kCanary = 0x5A5A;

std::vector<int16_t> Sine(int rate, double frequency, double amplitude, int count) {
  std::vector<int16_t> samples(count);
  for (int i = 0; i < count; ++i) {
    samples[i] = static_cast<int16_t>(
        std::lrint(amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / rate)));
  }
  return samples;
}

// Converts `input` fed in pieces of the given sizes (cycled until the input
// is used up). Checks every call against the destination bound: it reports
// no more than MaxProduced and writes nothing past what it reports.
std::vector<int16_t> ConvertInPieces(int input_rate, int output_rate,
                                     const std::vector<int16_t>& input,
                                     const std::vector<int>& pieces) {
  ZntvResampler resampler;
  EXPECT_EQ(resampler.Initialise(input_rate, output_rate), 0);
  std::vector<int16_t> result;
  std::vector<int16_t> destination;
  size_t offset = 0;
  for (size_t call = 0; offset < input.size(); ++call) {
    const int count =
        static_cast<int>(std::min<size_t>(pieces[call % pieces.size()], input.size() - offset));
    const int bound = resampler.MaxProduced(count);
    destination.assign(bound + 64, kCanary);
    int produced = -1;
    EXPECT_EQ(resampler.Convert(input.data() + offset, count, destination.data(), &produced), 0);
    EXPECT_GE(produced, 0);
    EXPECT_LE(produced, bound) << "call " << call << " of " << count << " samples";
    for (size_t i = std::max(produced, 0); i < destination.size(); ++i) {
      if (destination[i] != kCanary) {
        ADD_FAILURE() << "call " << call << " wrote past its count at " << i;
        break;
      }
    }
    result.insert(result.end(), destination.begin(), destination.begin() + produced);
    offset += count;
  }
  return result;
}

std::vector<int16_t> ConvertWhole(int input_rate, int output_rate,
                                  const std::vector<int16_t>& input) {
  return ConvertInPieces(input_rate, output_rate, input, {static_cast<int>(input.size())});
}

// Outputs the converter gives for `count` input samples: one for every
// position k × input ÷ output short of the last kHistory input samples, which
// it keeps as look-ahead.
int64_t ExpectedLength(int input_rate, int output_rate, int64_t count) {
  const int64_t usable = count - ZntvResampler::kHistory;
  if (usable <= 0) return 0;
  return (usable * output_rate + input_rate - 1) / input_rate;
}

struct RatePair {
  int input_rate;
  int output_rate;
};

std::string PairName(const testing::TestParamInfo<RatePair>& info) {
  return std::to_string(info.param.input_rate) + "to" + std::to_string(info.param.output_rate);
}

const RatePair kRatePairs[] = {
    {44100, 48000}, {48000, 44100}, {48000, 24000}, {44100, 22050}, {22050, 44100},
    {48000, 8000},  {8000, 48000},  {44100, 44100}, {32000, 48000}, {11025, 44100},
    {44100, 32000}, {44100, 8000},  {48000, 47999},
};

class ZntvResamplerRatesTest : public testing::TestWithParam<RatePair> {};

// A 1 kHz tone comes out as the same tone at the output rate, at least 90 dB
// above everything else, with output sample k at input time k × in ÷ out.
TEST_P(ZntvResamplerRatesTest, ToneComesThroughCleanAndInTime) {
  const auto [in, out] = GetParam();
  constexpr double kFrequency = 1000.0;
  constexpr double kAmplitude = 32000.0;
  const std::vector<int16_t> input = Sine(in, kFrequency, kAmplitude, in);  // one second
  const std::vector<int16_t> output = ConvertWhole(in, out, input);
  ASSERT_EQ(static_cast<int64_t>(output.size()), ExpectedLength(in, out, input.size()));

  // Skip the start, where the filter still sees the silence before the stream.
  const size_t skip = static_cast<size_t>(std::ceil(2.0 * ZntvResampler::kHistory * out / in)) + 8;
  double signal = 0.0;
  double noise = 0.0;
  for (size_t k = skip; k < output.size(); ++k) {
    const double ideal = kAmplitude * std::sin(2.0 * std::numbers::pi * kFrequency * k / out);
    signal += ideal * ideal;
    noise += (output[k] - ideal) * (output[k] - ideal);
  }
  const double snr = 10.0 * std::log10(signal / std::max(noise, 1e-30));
  RecordProperty("snr_db", std::to_string(snr));
  EXPECT_GE(snr, 90.0);
}

TEST_P(ZntvResamplerRatesTest, AnySplitConvertsExactlyAsOnePiece) {
  const auto [in, out] = GetParam();
  // A tone with a chirp on top, so every output sample depends on its phase.
  std::vector<int16_t> input(60000);
  for (size_t i = 0; i < input.size(); ++i) {
    const double t = static_cast<double>(i) / in;
    input[i] = static_cast<int16_t>(std::lrint(12000.0 * std::sin(2 * std::numbers::pi * 440 * t) +
                                               8000.0 * std::sin(2 * std::numbers::pi * 3000 * t * t)));
  }
  const std::vector<int16_t> whole = ConvertWhole(in, out, input);

  std::mt19937 random(in * 7 + out);
  std::uniform_int_distribution<int> small(0, 300);
  std::uniform_int_distribution<int> large(0, 12000);
  std::bernoulli_distribution pick_small(0.6);
  for (int round = 0; round < 4; ++round) {
    std::vector<int> pieces(200);
    for (int& piece : pieces) piece = pick_small(random) ? small(random) : large(random);
    EXPECT_EQ(ConvertInPieces(in, out, input, pieces), whole) << "round " << round;
  }
  // The block size and the history length are where the buffer handling
  // turns; one sample at a time exercises every position.
  for (const std::vector<int>& pieces : std::vector<std::vector<int>>{
           {1}, {127, 128, 129}, {4095, 4096, 4097}, {3968, 3840, 256, 0}}) {
    EXPECT_EQ(ConvertInPieces(in, out, input, pieces), whole) << "pieces of " << pieces[0];
  }
}

TEST_P(ZntvResamplerRatesTest, LongStreamLengthFollowsTheRateRatio) {
  const auto [in, out] = GetParam();
  ZntvResampler resampler;
  ASSERT_EQ(resampler.Initialise(in, out), 0);
  // Ten minutes of the input rate in periods of 1/29.97 s, as the encoding
  // threads hand them over.
  const int64_t total_input = static_cast<int64_t>(in) * 600;
  std::vector<int16_t> source(in / 29 + 2, 1000);
  std::vector<int16_t> destination(resampler.MaxProduced(source.size()));
  int64_t fed = 0;
  int64_t produced_total = 0;
  double remainder = 0.0;
  while (fed < total_input) {
    const double period = in / 29.97;
    int n = static_cast<int>(period + 0.5);
    remainder += period - n;
    if (std::fabs(remainder) >= 1.0) {
      n += remainder > 0 ? 1 : -1;
      remainder -= remainder > 0 ? 1.0 : -1.0;
    }
    n = static_cast<int>(std::min<int64_t>(n, total_input - fed));
    int produced = 0;
    ASSERT_EQ(resampler.Convert(source.data(), n, destination.data(), &produced), 0);
    fed += n;
    produced_total += produced;
  }
  EXPECT_EQ(produced_total, ExpectedLength(in, out, total_input));
  // Within the look-ahead of the ideal count.
  EXPECT_NEAR(static_cast<double>(produced_total), static_cast<double>(total_input) * out / in,
              static_cast<double>(ZntvResampler::kHistory) * out / in + 1.0);
}

TEST_P(ZntvResamplerRatesTest, SilenceStaysSilent) {
  const auto [in, out] = GetParam();
  const std::vector<int16_t> output =
      ConvertInPieces(in, out, std::vector<int16_t>(20000, 0), {1000, 37, 5000});
  ASSERT_FALSE(output.empty());
  EXPECT_TRUE(std::all_of(output.begin(), output.end(), [](int16_t s) { return s == 0; }));
}

// A full-scale square wave rings past full scale at its edges: the samples
// saturate instead of wrapping round to the other sign.
TEST_P(ZntvResamplerRatesTest, FullScaleSquareWaveSaturates) {
  const auto [in, out] = GetParam();
  const int half_period = in / 200;  // 100 Hz
  std::vector<int16_t> input(in / 2);
  for (size_t i = 0; i < input.size(); ++i) {
    input[i] = (i / half_period) % 2 == 0 ? int16_t{32767} : int16_t{-32768};
  }
  const std::vector<int16_t> output = ConvertWhole(in, out, input);
  ASSERT_FALSE(output.empty());
  int at_limit = 0;
  for (size_t k = 0; k < output.size(); ++k) {
    const double input_time = static_cast<double>(k) * in / out;
    const double from_edge = std::fmod(input_time, half_period);
    // Away from the edges (and the start), the sign follows the square.
    if (input_time < 2 * half_period || from_edge < 8 || from_edge > half_period - 8) continue;
    const bool high = static_cast<int64_t>(input_time / half_period) % 2 == 0;
    if (high) {
      EXPECT_GT(output[k], 20000) << "sample " << k;
    } else {
      EXPECT_LT(output[k], -20000) << "sample " << k;
    }
    if (output[k] == 32767 || output[k] == -32768) ++at_limit;
  }
  EXPECT_GT(at_limit, 0);
}

INSTANTIATE_TEST_SUITE_P(RatePairs, ZntvResamplerRatesTest, testing::ValuesIn(kRatePairs),
                         PairName);

struct StopBandCase {
  int input_rate;
  int output_rate;
  double frequency;  // Hz, above the output's Nyquist frequency
};

// Tones the output rate can't carry are removed, not folded back into the band.
TEST(ZntvResamplerTest, TonesAboveTheOutputBandDoNotAlias) {
  const StopBandCase cases[] = {
      {48000, 24000, 14000.0}, {44100, 22050, 12000.0}, {48000, 8000, 5000.0},
      {44100, 32000, 17000.0}, {48000, 44100, 23000.0},
  };
  for (const StopBandCase& c : cases) {
    const std::vector<int16_t> input = Sine(c.input_rate, c.frequency, 32000.0, c.input_rate);
    const std::vector<int16_t> output = ConvertWhole(c.input_rate, c.output_rate, input);
    const size_t skip = 400;
    ASSERT_GT(output.size(), skip);
    double power = 0.0;
    for (size_t k = skip; k < output.size(); ++k) power += static_cast<double>(output[k]) * output[k];
    const double rms = std::sqrt(power / (output.size() - skip));
    // 32000 / sqrt(2) attenuated by 85 dB is 1.3.
    EXPECT_LT(rms, 1.3) << c.input_rate << " to " << c.output_rate << " at " << c.frequency;
  }
}

TEST(ZntvResamplerTest, FactorIsTheWholeRatioAtLeastOne) {
  struct Case {
    int input_rate;
    int output_rate;
    float factor;
  };
  const Case cases[] = {
      {48000, 24000, 2.0f}, {44100, 48000, 1.0f}, {44100, 22050, 2.0f}, {48000, 44100, 1.0f},
      {44100, 8000, 5.0f},  {48000, 8000, 6.0f},  {8000, 48000, 1.0f},  {44100, 44100, 1.0f},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ZntvResampler::ConversionFactor(c.input_rate, c.output_rate), c.factor)
        << c.input_rate << " to " << c.output_rate;
  }
}

TEST(ZntvResamplerTest, EqualRatesPassSamplesThroughUnchanged) {
  std::vector<int16_t> input(10000);
  std::mt19937 random(5);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  for (int16_t& s : input) s = static_cast<int16_t>(sample(random));
  const std::vector<int16_t> output = ConvertInPieces(44100, 44100, input, {333, 4444, 1});
  ASSERT_EQ(output.size(), input.size() - ZntvResampler::kHistory);
  EXPECT_TRUE(std::equal(output.begin(), output.end(), input.begin()));
}

// A short piece is converted at once up to its look-ahead; what it could not
// convert comes out with the next piece.
TEST(ZntvResamplerTest, ShortPiecesKeepOnlyTheLookAhead) {
  ZntvResampler resampler;
  ASSERT_EQ(resampler.Initialise(48000, 24000), 0);
  const std::vector<int16_t> input = Sine(48000, 500.0, 10000.0, 1000);
  std::vector<int16_t> destination(600);
  int produced = -1;
  ASSERT_EQ(resampler.Convert(input.data(), 100, destination.data(), &produced), 0);
  EXPECT_EQ(produced, 0);  // all of it is look-ahead still
  ASSERT_EQ(resampler.Convert(input.data() + 100, 900, destination.data(), &produced), 0);
  EXPECT_EQ(produced, (1000 - ZntvResampler::kHistory) / 2);
}

TEST(ZntvResamplerTest, InitialiseAgainStartsAFreshStream) {
  const std::vector<int16_t> input = Sine(44100, 1000.0, 20000.0, 9000);
  const std::vector<int16_t> fresh = ConvertWhole(44100, 48000, input);

  ZntvResampler resampler;
  ASSERT_EQ(resampler.Initialise(22050, 48000), 0);
  std::vector<int16_t> destination(30000);
  int produced = 0;
  ASSERT_EQ(resampler.Convert(input.data(), 5000, destination.data(), &produced), 0);
  ASSERT_EQ(resampler.Initialise(44100, 48000), 0);
  ASSERT_EQ(resampler.Convert(input.data(), 9000, destination.data(), &produced), 0);
  destination.resize(produced);
  EXPECT_EQ(destination, fresh);
}

TEST(ZntvResamplerTest, FreedOrFailedConverterRefusesToConvert) {
  ZntvResampler resampler;
  int16_t samples[16] = {};
  int16_t destination[64];
  int produced = 7;
  EXPECT_EQ(resampler.Convert(samples, 16, destination, &produced), -1);
  EXPECT_EQ(produced, 0);

  ASSERT_EQ(resampler.Initialise(44100, 48000), 0);
  EXPECT_EQ(resampler.Convert(samples, 0, destination, &produced), 0);
  EXPECT_EQ(produced, 0);
  resampler.Free();
  resampler.Free();
  EXPECT_FALSE(resampler.initialised());
  EXPECT_EQ(resampler.Convert(samples, 16, destination, &produced), -1);

  EXPECT_EQ(resampler.Initialise(0, 48000), -1);
  EXPECT_EQ(resampler.Initialise(48000, 0), -1);
  EXPECT_EQ(resampler.Initialise(192000, 1000), -1);  // beyond the largest ratio
  EXPECT_FALSE(resampler.initialised());
  EXPECT_EQ(resampler.MaxProduced(100), 0);
}

}  // namespace
}  // namespace ovc
