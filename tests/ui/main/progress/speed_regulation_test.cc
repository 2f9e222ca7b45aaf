#include "ui/main/speed_regulation.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace ovc {
namespace {

class FakePacing : public PacingControl {
 public:
  double ActualFrameTime() override { return actual; }
  void SetActualFrameTime(double seconds) override { actual = seconds; }
  double NominalFramePeriod() override { return nominal; }
  void RestartClockBase() override { clock_calls.push_back("restart"); }
  void SetClockSpeed(float speed) override {
    clock_calls.push_back("speed " + std::to_string(speed));
  }

  double actual = 0.04;
  double nominal = 0.04;
  std::vector<std::string> clock_calls;
};

class SpeedRegulationTest : public testing::Test {
 protected:
  // A tick that qualifies: converting, playing, adjust_speed on.
  SpeedRegulation::TickState Qualifying() {
    SpeedRegulation::TickState state;
    state.adjust_speed = true;
    state.converting = true;
    state.playing = true;
    return state;
  }
  bool TickAt(double load, SpeedRegulation::TickState state) {
    return regulation_.Tick(state, [&] { ++loads_taken_; return load; }, &pacing_);
  }

  FakePacing pacing_;
  std::vector<std::string> trace_;
  SpeedRegulation regulation_{[this](const std::string& line) { trace_.push_back(line); }};
  int loads_taken_ = 0;
};

struct BoundCase {
  const char* name;
  double actual, nominal;
  double expected;
};
void PrintTo(const BoundCase& c, std::ostream* os) { *os << c.name; }

class RegulationBoundsTest : public SpeedRegulationTest,
                             public testing::WithParamInterface<BoundCase> {};

TEST_P(RegulationBoundsTest, FrameTimeEndsWithinBounds) {
  const BoundCase& c = GetParam();
  pacing_.actual = c.actual;
  pacing_.nominal = c.nominal;
  regulation_.Step(50, 0, &pacing_);
  EXPECT_NEAR(pacing_.actual, c.expected, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, RegulationBoundsTest,
    testing::Values(BoundCase{"AtNominalUnchanged", 0.04, 0.04, 0.04},
                    BoundCase{"JustUnderTheNominalBound", 0.04003, 0.04, 0.04003},
                    BoundCase{"AboveNominalCutToBound", 0.05, 0.04, 0.04 * 1.0008},
                    BoundCase{"BelowNominalKept", 0.03, 0.04, 0.03},
                    BoundCase{"LongerThanTheLongest", 0.1, 0.2, 0.07},
                    BoundCase{"ShorterThanTheShortest", 0.01, 0.01, 0.0167},
                    BoundCase{"NominalBoundBelowTheShortest", 0.02, 0.0125, 0.0167},
                    BoundCase{"UnknownNominalOnlyFixedBounds", 0.09, 0, 0.07}),
    testing::PrintToStringParamName());

TEST_F(SpeedRegulationTest, StepPutsTheClockBackToRealTime) {
  regulation_.Step(50, 0, &pacing_);
  EXPECT_EQ(pacing_.clock_calls,
            (std::vector<std::string>{"restart", "speed " + std::to_string(1.0f), "restart"}));
}

TEST_F(SpeedRegulationTest, RunsOnThreeOfFourQualifyingTicks) {
  std::vector<bool> ran;
  for (int i = 0; i < 8; ++i) ran.push_back(TickAt(50, Qualifying()));
  EXPECT_EQ(ran, (std::vector<bool>{true, true, true, false, true, true, true, false}));
  EXPECT_EQ(regulation_.step_counter(), 6);
  EXPECT_EQ(regulation_.tick_counter(), 0);
}

TEST_F(SpeedRegulationTest, HighLoadRestartsTheCount) {
  TickAt(50, Qualifying());
  TickAt(50, Qualifying());
  ASSERT_EQ(regulation_.tick_counter(), 2);
  pacing_.actual = 0.5;
  EXPECT_FALSE(TickAt(96, Qualifying()));
  EXPECT_EQ(regulation_.tick_counter(), 0);
  EXPECT_EQ(pacing_.actual, 0.5);
  EXPECT_EQ(regulation_.step_counter(), 2);
  EXPECT_TRUE(TickAt(50, Qualifying()));
  EXPECT_EQ(regulation_.tick_counter(), 1);
}

TEST_F(SpeedRegulationTest, TicksOutsideAConversionRestartTheCount) {
  TickAt(50, Qualifying());
  SpeedRegulation::TickState paused = Qualifying();
  paused.playing = false;
  EXPECT_FALSE(TickAt(50, paused));
  EXPECT_EQ(regulation_.tick_counter(), 0);
  SpeedRegulation::TickState idle = Qualifying();
  idle.converting = false;
  TickAt(50, Qualifying());
  EXPECT_FALSE(TickAt(50, idle));
  EXPECT_EQ(regulation_.tick_counter(), 0);
}

TEST_F(SpeedRegulationTest, WithoutAdjustSpeedOrALoadValueTheCountStands) {
  TickAt(50, Qualifying());
  SpeedRegulation::TickState off = Qualifying();
  off.adjust_speed = false;
  loads_taken_ = 0;
  EXPECT_FALSE(TickAt(50, off));
  EXPECT_EQ(loads_taken_, 0);
  EXPECT_FALSE(TickAt(0, Qualifying()));
  EXPECT_EQ(regulation_.tick_counter(), 1);
}

TEST_F(SpeedRegulationTest, TraceLines) {
  pacing_.actual = 0.05;
  regulation_.Step(50, 0, &pacing_);
  pacing_.actual = 0.03;
  regulation_.Step(42, 0, &pacing_);
  regulation_.Step(50, 1, &pacing_);
  EXPECT_EQ(trace_, (std::vector<std::string>{
                        "  A 0.00000   0.500  0.0400320  0.0400000 *",
                        "  A 0.00000   0.420  0.0300000  0.0400000  ",
                        "  A 0.00000   [50.0%]  ActualFrameTime=0.0300000",
                    }));
}

TEST_F(SpeedRegulationTest, QuietTraceThinsOutAfterTheFirstHundredSteps) {
  for (int i = 0; i < 240; ++i) regulation_.Step(50, 0, &pacing_);
  // Steps 1..99, then 120 and 240.
  EXPECT_EQ(trace_.size(), 101u);
  for (int i = 0; i < 240; ++i) regulation_.Step(50, 5, &pacing_);
  EXPECT_EQ(trace_.size(), 101u + 240u);
}

}  // namespace
}  // namespace ovc
