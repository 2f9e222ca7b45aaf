#include "engine/record/channel_split.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

namespace ovc {
namespace {

struct SplitCase {
  const char* name;
  int channels;
  int output_channels;
  int left_right_channel;
  std::vector<int16_t> frame;  // one input sample frame
  int16_t left;
  int16_t right;  // checked when the split fills a right plane
  bool has_right;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class ChannelSplitTable : public testing::TestWithParam<SplitCase> {};

TEST_P(ChannelSplitTable, SplitsOneFrame) {
  const SplitCase& c = GetParam();
  int16_t left = 0x5555, right = 0x5555;
  ChannelSplit(c.frame.data(), 1, c.channels, c.output_channels, c.left_right_channel, &left, &right);
  EXPECT_EQ(left, c.left);
  if (c.has_right) EXPECT_EQ(right, c.right);
  else EXPECT_EQ(right, 0x5555) << "the right plane must stay untouched";
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ChannelSplitTable,
    testing::Values(
        SplitCase{"Mono", 1, 2, 0, {-7}, -7, 0, false},
        SplitCase{"StereoToMonoMix", 2, 1, 0, {100, -51}, 75, 0, false},  // -51/2 = -25
        SplitCase{"StereoToMonoMixSaturates", 2, 1, 0, {30000, 20000}, 32767, 0, false},
        SplitCase{"StereoToMonoMixSaturatesLow", 2, 1, 0, {-30000, -20000}, -32768, 0, false},
        SplitCase{"StereoToMonoLeft", 2, 1, 1, {100, 200}, 100, 0, false},
        SplitCase{"StereoToMonoRight", 2, 1, 2, {100, 200}, 200, 0, false},
        SplitCase{"Stereo", 2, 2, 0, {100, 200}, 100, 200, true},
        SplitCase{"Three", 3, 2, 0, {10, 20, 31}, 25, 20, true},
        SplitCase{"Four", 4, 2, 0, {10, 20, 30, 41}, 45, 40, true},
        SplitCase{"Five", 5, 2, 0, {10, 20, 30, 40, 51}, 70, 65, true},
        // 5.1 as s0..s5: left = half(FL + C + LFE + SL), right = half(FR + C + LFE + SR).
        SplitCase{"FivePointOne", 6, 2, 0, {1000, 2000, 300, 40, 5, 7}, 672, 1173, true},
        SplitCase{"FivePointOneSaturates", 6, 2, 0, {32767, 32767, 32767, 32767, 32767, 32767}, 32767, 32767, true},
        SplitCase{"HalfTruncatesTowardZero", 3, 2, 0, {0, -3, 0}, -1, 0, true}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

TEST(PeriodCutter, WholeRatesGiveEqualPeriods) {
  PeriodCutter cutter;
  for (int i = 0; i < 100; ++i) ASSERT_EQ(cutter.Next(48000, 15), 3200);
  EXPECT_EQ(cutter.remainder(), 0);
}

TEST(PeriodCutter, FractionalRatesCarryTheRemainder) {
  // 44100 Hz at 29.97 fps: 1471.47... sample frames per period.
  PeriodCutter cutter;
  long total = 0;
  for (int i = 0; i < 2997; ++i) {
    int n = cutter.Next(44100, 29.97);
    ASSERT_TRUE(n == 1471 || n == 1472) << n;
    total += n;
  }
  EXPECT_NEAR(total, 4410000, 1);

  // 48000 Hz at 14.985 fps rounds up and carries a negative remainder.
  PeriodCutter down;
  total = 0;
  for (int i = 0; i < 14985; ++i) total += down.Next(48000, 14.985);
  EXPECT_NEAR(total, 48000000, 1);
}

// Rates no profile should carry, yet the period must stay a usable count:
// positive (else the encoders would loop on empty periods), and within the
// encoding buffer (an infinite period once made the buffer resize throw).
struct OddRates {
  double rate, fps;
  int period;
};

class PeriodCutterOddRates : public testing::TestWithParam<OddRates> {};

TEST_P(PeriodCutterOddRates, GiveABoundedPositivePeriod) {
  PeriodCutter cutter;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(cutter.Next(GetParam().rate, GetParam().fps), GetParam().period);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, PeriodCutterOddRates,
    testing::Values(OddRates{44100, 0, 65536}, OddRates{44100, -0.0, 1}, OddRates{44100, -25, 1},
                    OddRates{44100, std::nan(""), 1}, OddRates{0, 25, 1}, OddRates{0, 0, 1},
                    OddRates{44100, 1e-300, 65536}, OddRates{44100, 1e300, 1},
                    OddRates{44100, std::numeric_limits<double>::infinity(), 1}));

}  // namespace
}  // namespace ovc
