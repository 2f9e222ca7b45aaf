#include "ui/main/progress_status.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "support/temp_world.h"

namespace ovc {
namespace {

struct StatusCase {
  const char* name;
  ProgressFigures figures;
  bool finished;
  const char* status;
  int bar;
};
void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

ProgressFigures Figures(double elapsed, double recorded, double range, int n_pass, int pass,
                        double mb) {
  ProgressFigures f;
  f.elapsed_seconds = elapsed;
  f.recorded_seconds = recorded;
  f.range_seconds = range;
  f.n_pass = n_pass;
  f.pass = pass;
  f.output_mb = mb;
  f.output_path = "/videos/clip.mp4";
  return f;
}

class ProgressStatusTest : public testing::TestWithParam<StatusCase> {};

TEST_P(ProgressStatusTest, StatusLineAndBar) {
  const StatusCase& c = GetParam();
  const ProgressDisplay display = BuildProgressDisplay(c.figures, c.finished);
  EXPECT_EQ(display.status, c.status);
  EXPECT_EQ(display.bar, c.bar);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ProgressStatusTest,
    testing::Values(
        StatusCase{"QuarterDoneSmallOutput", Figures(50, 150, 600, 1, 1, 2.5), false,
                   "25.0% Recorded 0:02:30    Elapsed 0:00:50  Remaining 0:02:30"
                   "  Output: 2.5 MB  /videos/clip.mp4 ",
                   25},
        StatusCase{"EstimateAboveThreeMb", Figures(50, 150, 600, 1, 1, 3.5), false,
                   "25.0% Recorded 0:02:30    Elapsed 0:00:50  Remaining 0:02:30"
                   "  Output: 3.5 MB  Estimated: 14.0 MB  /videos/clip.mp4 ",
                   25},
        StatusCase{"ExactlyThreeMbHasNoEstimate", Figures(50, 150, 600, 1, 1, 3.0), false,
                   "25.0% Recorded 0:02:30    Elapsed 0:00:50  Remaining 0:02:30"
                   "  Output: 3.0 MB  /videos/clip.mp4 ",
                   25},
        StatusCase{"SecondOfTwoPasses", Figures(50, 150, 600, 2, 2, 1.0), false,
                   "[Pass 2 of 2]  25.0% Recorded 0:02:30    Elapsed 0:00:50  Remaining 0:02:30"
                   "  Output: 1.0 MB  /videos/clip.mp4 ",
                   25},
        StatusCase{"FinishedShowsTheWholeRange", Figures(200, 597, 600, 1, 1, 12.0), true,
                   "100.0% Recorded 0:10:00    Elapsed 0:03:20  Remaining 0:00:00"
                   "  Output: 12.0 MB  Estimated: 12.0 MB  /videos/clip.mp4 ",
                   100},
        StatusCase{"LongRunOverAnHour", Figures(5400, 5400, 7200, 1, 1, 0), false,
                   "75.0% Recorded 1:30:00    Elapsed 1:30:00  Remaining 0:30:00"
                   "  Output: 0.0 MB  /videos/clip.mp4 ",
                   75},
        // A message with a parameter can arrive before anything is recorded.
        StatusCase{"NothingRecordedYet", Figures(3, 0, 600, 1, 1, 5.0), false,
                   "0.0% Recorded 0:00:00    Elapsed 0:00:03  Remaining 0:00:00"
                   "  Output: 5.0 MB  /videos/clip.mp4 ",
                   0},
        StatusCase{"NoRange", Figures(3, 2, 0, 1, 1, 0), false,
                   "0.0% Recorded 0:00:02    Elapsed 0:00:03  Remaining 0:00:00"
                   "  Output: 0.0 MB  /videos/clip.mp4 ",
                   0},
        StatusCase{"OvershootFillsTheBar", Figures(10, 603, 600, 1, 1, 0), false,
                   "100.0% Recorded 0:10:03    Elapsed 0:00:10  Remaining 0:00:00"
                   "  Output: 0.0 MB  /videos/clip.mp4 ",
                   100},
        // The text shows no more than the bar: 97.96 % is 97.9 % and 97.
        StatusCase{"TextNeverAheadOfTheBar", Figures(10, 97.96, 100, 1, 1, 0), false,
                   "97.9% Recorded 0:01:37    Elapsed 0:00:10  Remaining 0:00:01"
                   "  Output: 0.0 MB  /videos/clip.mp4 ",
                   97},
        // A fast conversion at 80 % still has a fraction of a second to go.
        StatusCase{"LessThanASecondLeftIsNotNothing", Figures(0.5, 1.6, 2, 1, 1, 0), false,
                   "80.0% Recorded 0:00:01    Elapsed 0:00:00  Remaining 0:00:01"
                   "  Output: 0.0 MB  /videos/clip.mp4 ",
                   80}),
    testing::PrintToStringParamName());

TEST(ProgressStatus, LongOutputPathIsKeptWhole) {
  ProgressFigures f = Figures(50, 150, 600, 1, 1, 1.0);
  f.output_path = "/" + std::string(3000, 'x') + ".mp4";
  EXPECT_NE(BuildProgressDisplay(f, false).status.find(f.output_path + " "), std::string::npos);
}

struct StepCase {
  const char* name;
  double range;
  int64_t wparam, lparam;
  bool converting;
  double recorded;
  ProgressStep step;
};
void PrintTo(const StepCase& c, std::ostream* os) { *os << c.name; }

class ProgressStepTest : public testing::TestWithParam<StepCase> {};

TEST_P(ProgressStepTest, Decides) {
  const StepCase& c = GetParam();
  EXPECT_EQ(DecideProgressStep(c.range, c.wparam, c.lparam, c.converting, c.recorded), c.step);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ProgressStepTest,
    testing::Values(
        StepCase{"CaptureTickAfterOneSecond", 600, 0, 0, true, 1.0, ProgressStep::kUpdate},
        StepCase{"CaptureTickTooEarly", 600, 0, 0, true, 0.9, ProgressStep::kNone},
        StepCase{"CaptureTickAfterTheConversion", 600, 0, 0, false, 5, ProgressStep::kNone},
        StepCase{"WParamForcesAnUpdate", 600, 1, 0, false, 0, ProgressStep::kUpdate},
        StepCase{"EndMessage", 600, 0, -1, true, 0.5, ProgressStep::kFinished},
        StepCase{"EndMessageOfAOneSecondRange", 1, 0, -1, true, 1, ProgressStep::kNone},
        StepCase{"OtherLParamIsAnUpdate", 600, 0, 7, false, 0, ProgressStep::kUpdate}),
    testing::PrintToStringParamName());

TEST(OutputSize, FilesBeyondFourGigabytesAreMeasuredWhole) {
  test::TempWorld world;
  const std::string path = world.Path("big.mp4");
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  // Sparse: 5 GiB of size, no blocks.
  ASSERT_EQ(::ftruncate(fd, int64_t{5} << 30), 0);
  ::close(fd);
  EXPECT_DOUBLE_EQ(ReadOutputSizeMb(path), 5120.0);

  ProgressFigures f = Figures(100, 300, 600, 1, 1, ReadOutputSizeMb(path));
  EXPECT_NE(BuildProgressDisplay(f, false).status.find("Output: 5120.0 MB  Estimated: 10240.0 MB"),
            std::string::npos);
}

TEST(OutputSize, MissingFileCountsAsZero) {
  test::TempWorld world;
  EXPECT_EQ(ReadOutputSizeMb(world.Path("none.mp4")), 0);
  EXPECT_EQ(ReadOutputSizeMb(""), 0);
}

struct EndtimeCase {
  const char* name;
  bool converting;
  int position, stop;
  bool file_end;
  bool reached;
};
void PrintTo(const EndtimeCase& c, std::ostream* os) { *os << c.name; }

class EndtimeTest : public testing::TestWithParam<EndtimeCase> {};

TEST_P(EndtimeTest, StopCheck) {
  const EndtimeCase& c = GetParam();
  EXPECT_EQ(EndtimeReached(c.converting, c.position, c.stop, c.file_end), c.reached);
}

INSTANTIATE_TEST_SUITE_P(
    Stops, EndtimeTest,
    testing::Values(EndtimeCase{"BeforeTheStopPoint", true, 899, 900, false, false},
                    EndtimeCase{"AtTheStopPoint", true, 900, 900, false, true},
                    EndtimeCase{"PastTheStopPoint", true, 903, 900, false, true},
                    EndtimeCase{"PlayingWithoutConversion", false, 950, 900, false, false},
                    EndtimeCase{"StopPointIsTheFileEnd", true, 900, 900, true, false}),
    testing::PrintToStringParamName());

TEST(Endtime, TraceText) { EXPECT_EQ(EndtimeTraceText(901, 900), "Endtime reached 901 900"); }

}  // namespace
}  // namespace ovc
