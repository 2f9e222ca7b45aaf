// The output frame grid and the frame-time estimator of the capture: pure
// arithmetic, checked against tables of pictures and frame rates.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <vector>

#include "engine/playback/frame_time_estimator.h"
#include "engine/playback/output_grid.h"

namespace ovc {
namespace {

constexpr double kNoStop = std::numeric_limits<double>::infinity();

struct GridCase {
  const char* name;
  double in_rate;   // pictures per second, from time `first`
  double out_rate;  // output frames per second
  double first;     // the first picture's time: the grid's origin
  int pictures;
  // Output frames per picture, repeated over all pictures.
  std::vector<int64_t> pattern;
};

void PrintTo(const GridCase& c, std::ostream* os) { *os << c.name; }

class OutputGridTest : public testing::TestWithParam<GridCase> {};

TEST_P(OutputGridTest, EachFrameShowsThePictureOnScreenAtItsMiddle) {
  const GridCase& c = GetParam();
  OutputGrid grid;
  grid.Start(c.first, c.out_rate);
  for (int k = 0; k < c.pictures; ++k) {
    const double begin = c.first + k / c.in_rate;
    const double end = c.first + (k + 1) / c.in_rate;
    const int64_t frames = grid.FramesShowing(end, kNoStop);
    ASSERT_EQ(frames, c.pattern[k % c.pattern.size()]) << "picture " << k;
    for (int64_t f = 0; f < frames; ++f) {
      // Never more than half an output frame from the picture's own time.
      const double middle = grid.next() + (f + 0.5) / c.out_rate;
      ASSERT_GE(middle, begin - 1e-6) << "picture " << k;
      ASSERT_LE(middle, end + 1e-6) << "picture " << k;
    }
    grid.Advance(frames);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rates, OutputGridTest,
    testing::Values(
        // One to one, however long, also where the profile's 29.97 is not
        // quite the source's 30000/1001 and the stream starts late.
        GridCase{"Ntsc30000_1001To29_97", 30000.0 / 1001, 29.97, 0.5, 60 * 30, {1}},
        GridCase{"Ntsc29_97To30000_1001", 29.97, 30000.0 / 1001, 1.0 / 3, 60 * 30, {1}},
        // Halving keeps the first picture of the range and every second one;
        // other middles on a boundary go to the earlier picture too.
        GridCase{"Pal25To12_5", 25, 12.5, 2, 100, {1, 0}},
        GridCase{"Pal25To30", 25, 30, 0, 100, {1, 1, 2, 1, 1}},
        GridCase{"Ntsc30To25", 30, 25, 0, 120, {1, 1, 1, 0, 1, 1}},
        GridCase{"Film24To30", 24, 30, 0, 96, {1, 2, 1, 1}}),
    [](const testing::TestParamInfo<GridCase>& info) { return std::string(info.param.name); });

TEST(OutputGridLimits, StopsJumpsAndRateChanges) {
  OutputGrid grid;
  grid.Start(1.0, 25);
  // A long picture fills the frames up to the stop point and no further.
  EXPECT_EQ(grid.FramesShowing(2.0, 1.2), 5);
  EXPECT_EQ(grid.FramesShowing(2.0, kNoStop), 25);
  // Sound up to 1.1 s completes the first two frames and a half.
  EXPECT_EQ(grid.FramesEndingBy(1.1, kNoStop), 2);
  EXPECT_EQ(grid.FramesEndingBy(0.9, kNoStop), 0);
  EXPECT_EQ(grid.FramesShowing(0.9, kNoStop), 0);
  grid.Advance(5);
  EXPECT_DOUBLE_EQ(grid.next(), 1.2);
  EXPECT_TRUE(grid.Reached(1.2));
  EXPECT_FALSE(grid.Reached(1.25));
  // Across a hole the grid starts again on the picture after it.
  EXPECT_DOUBLE_EQ(grid.JumpTo(4.03), 4.03 - 1.2);
  EXPECT_DOUBLE_EQ(grid.next(), 4.03);
  EXPECT_EQ(grid.FramesShowing(4.07, kNoStop), 1);
  // A new rate continues from the next frame.
  grid.Advance(1);
  grid.SetRate(10);
  EXPECT_DOUBLE_EQ(grid.next(), 4.07);
  grid.Advance(3);
  EXPECT_NEAR(grid.next(), 4.37, 1e-12);
  // Times far away never overflow the count.
  EXPECT_EQ(grid.FramesShowing(-1e300, kNoStop), 0);
  EXPECT_GT(grid.FramesShowing(1e300, kNoStop), 0);
  EXPECT_EQ(grid.FramesShowing(std::nan(""), kNoStop), 0);
}

struct EstimateCase {
  const char* name;
  double declared;              // the media type's frame time (0: none)
  bool recording;
  std::vector<double> deltas;   // the pictures' durations, in order
  double last_result;           // what the last picture is taken to last
  double actual, long_term;     // the figures afterwards
};

void PrintTo(const EstimateCase& c, std::ostream* os) { *os << c.name; }

class FrameTimeEstimatorTest : public testing::TestWithParam<EstimateCase> {};

TEST_P(FrameTimeEstimatorTest, FollowsThePicturesOnlyWithoutAPlausibleDeclaration) {
  const EstimateCase& c = GetParam();
  FrameTimeEstimator estimator;
  estimator.Declare(c.declared);
  double result = 0;
  for (double delta : c.deltas) result = estimator.Observe(delta, c.recording);
  EXPECT_NEAR(result, c.last_result, 1e-12);
  EXPECT_NEAR(estimator.actual(), c.actual, 1e-9);
  EXPECT_NEAR(estimator.long_term(), c.long_term, 1e-9);
  EXPECT_EQ(estimator.declared_known(), FrameTimeEstimator::Plausible(c.declared));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameTimeEstimatorTest,
    testing::Values(
        EstimateCase{"DeclaredWins", 0.04, false, {0.05, 0.03}, 0.03, 0.04, 0.04},
        EstimateCase{"ImplausiblePicture", 0.04, true, {0.2}, 0.042, 0.04, 0.04},
        EstimateCase{"TooShortPicture", 0.04, true, {0.01}, 0.042, 0.04, 0.04},
        // A 120 fps source's pictures keep their length; a picture of half
        // that is still taken as cut short.
        EstimateCase{"FastSource", 1 / 120.0, true, {1 / 120.0}, 1 / 120.0, 1 / 120.0,
                     1 / 120.0},
        EstimateCase{"ShorterThanTheFastSource", 1 / 120.0, true, {1 / 240.0}, 0.042,
                     1 / 120.0, 1 / 120.0},
        EstimateCase{"LearnedWhilePlaying", 0, false, {0.04, 0.04, 0.04}, 0.04, 0.04, 0.04},
        // While recording the first picture sets the estimate; the figure
        // that paces playback moves 0.5 % per picture from there.
        EstimateCase{"LearnedWhileRecording", 0, true, {0.04, 0.04}, 0.04, 0.000399,
                     0.04},
        // An implausible declaration is smoothed toward the pictures (1 %).
        EstimateCase{"ImplausibleDeclaration", 0.5, false, {0.04}, 0.04, 0.4954, 0.4954}),
    [](const testing::TestParamInfo<EstimateCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ovc
