#include "ui/main/position_bar.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace ovc {
namespace {

// Records what the bar shows. Bar: left 10, width 218 (200 pixels between
// the thumb insets); the stop label is 60 pixels wide.
class FakeBarView : public PositionBarView {
 public:
  void SetBarMaximum(int seconds) override { maximum = seconds; }
  void SetBarLow(int seconds) override { low = seconds; }
  void SetBarHigh(int seconds) override { high = seconds; }
  int BarLeft() override { return 10; }
  int BarWidth() override { return bar_width; }
  void SetTimeLabel(const std::string& text) override { time_label = text; }
  void SetStartPointCaption(const std::string& text) override { start_caption = text; }
  void SetStartPointLeft(int left) override { start_left = left; }
  void BringStartPointToFront() override {}
  int StartPointWidth() override { return 80; }
  void SetEndPointCaption(const std::string& text) override { end_caption = text; }
  void SetEndPointLeft(int left) override { end_left = left; }
  void BringEndPointToFront() override {}
  int EndPointWidth() override { return 60; }

  int bar_width = 218;
  int maximum = 1, low = 0, high = 1;
  std::string time_label, start_caption, end_caption;
  int start_left = -1, end_left = -1;
};

class FakeBarHost : public PositionBarHost {
 public:
  bool ConversionRunning() override { return converting; }
  SourceState SourceReadiness() override { return readiness; }
  void SeekTo(double seconds) override { seeks.push_back(seconds); }
  void ClearStoppedByUser() override { stopped_by_user = false; }

  bool converting = false;
  SourceState readiness = SourceState::kReady;
  bool stopped_by_user = true;
  std::vector<double> seeks;
};

class PositionBarTest : public testing::Test {
 protected:
  // An hour-long file, rendered and ready.
  void SetUp() override { bar_.SourceRendered(3600.4); }

  FakeBarView view_;
  FakeBarHost host_;
  PositionBar bar_{&view_, &host_};
};

TEST_F(PositionBarTest, RenderingSetsTheWholeFileAsTheRange) {
  EXPECT_EQ(view_.maximum, 3600);
  EXPECT_EQ(view_.high, 3600);
  EXPECT_EQ(view_.low, 0);
  EXPECT_EQ(bar_.StopPointSec(), 3600);
  EXPECT_DOUBLE_EQ(bar_.TitleSeconds(), 3600.4);
  EXPECT_DOUBLE_EQ(bar_.RangeSeconds(), 3600.4);
  EXPECT_EQ(view_.time_label, "0:00:00 of [1:00:00] ");
}

TEST_F(PositionBarTest, DragSeeksOnceAtMouseUpWhileTheTimeLabelFollows) {
  bar_.MoveStartPoint(600);
  bar_.PositionRangeBarMouseDown();
  bar_.PositionRangeBarLowChange(700);
  bar_.PositionRangeBarLowChange(900);
  bar_.PositionRangeBarLowChange(1200);
  EXPECT_EQ(view_.time_label, "0:20:00 of [1:00:00] ");
  EXPECT_EQ(view_.start_caption, "<-20:00 (start point) ");

  // The timer neither overwrites the label nor pulls the thumb meanwhile.
  bar_.SetPlayTime(0, 10, 1);
  bar_.RefreshPlayTime();
  bar_.MoveStartPoint(601);
  EXPECT_EQ(view_.time_label, "0:20:00 of [1:00:00] ");
  EXPECT_EQ(bar_.low(), 1200);
  EXPECT_TRUE(host_.seeks.empty());

  bar_.PositionRangeBarMouseUp();
  EXPECT_EQ(host_.seeks, std::vector<double>{1200});
  EXPECT_EQ(bar_.StartPointSec(), 1200);
  EXPECT_DOUBLE_EQ(bar_.RangeSeconds(), 3600.4 - 1200);
  EXPECT_FALSE(host_.stopped_by_user);
  EXPECT_FALSE(bar_.pause_requested());

  bar_.SetPlayTime(0, 20, 1);
  bar_.RefreshPlayTime();
  EXPECT_EQ(view_.time_label, "0:20:01 of [1:00:00] ");
}

TEST_F(PositionBarTest, ClickWithoutMovingNeitherSeeksNorFreezesTheTimeLabel) {
  bar_.PositionRangeBarMouseDown();
  bar_.PositionRangeBarMouseUp();
  EXPECT_TRUE(host_.seeks.empty());
  bar_.SetPlayTime(0, 0, 7);
  bar_.RefreshPlayTime();
  EXPECT_EQ(view_.time_label, "0:00:07 of [1:00:00] ");
}

struct CaptionCase {
  const char* name;
  int seconds;
  const char* start_caption;
  const char* stop_caption;
};
void PrintTo(const CaptionCase& c, std::ostream* os) { *os << c.name; }

class RangeCaptionTest : public PositionBarTest, public testing::WithParamInterface<CaptionCase> {};

TEST_P(RangeCaptionTest, ShortFormUnderAnHourLongFormFromAnHour) {
  const CaptionCase& c = GetParam();
  bar_.SourceRendered(7200);
  bar_.PositionRangeBarHighChange(c.seconds);
  bar_.ShowStartPoint(c.seconds);
  EXPECT_EQ(view_.end_caption, c.stop_caption);
  EXPECT_EQ(view_.start_caption, c.start_caption);
}

INSTANTIATE_TEST_SUITE_P(
    Captions, RangeCaptionTest,
    testing::Values(CaptionCase{"OneHourTwoMinutes", 3725, "<-1:02:05 (start point) ",
                                " (stop point) 1:02:05->"},
                    CaptionCase{"TwoMinutes", 125, "<-2:05 (start point) ", " (stop point) 2:05->"},
                    CaptionCase{"LastSecondOfTheHour", 3599, "<-59:59 (start point) ",
                                " (stop point) 59:59->"},
                    CaptionCase{"ExactlyAnHour", 3600, "<-1:00:00 (start point) ",
                                " (stop point) 1:00:00->"}),
    testing::PrintToStringParamName());

TEST_F(PositionBarTest, LabelsSitOverTheirThumbs) {
  // 200 pixels between the insets for 3600 seconds.
  bar_.PositionRangeBarHighChange(1800);
  EXPECT_EQ(view_.end_left, 1800 * 200 / 3600 + 10 - 60 + 9);
  bar_.MoveStartPoint(900);
  EXPECT_EQ(view_.start_left, 900 * 200 / 3600 + 10 + 9);
  // The window grew: both labels follow their thumbs.
  view_.bar_width = 418;
  bar_.BarResized();
  EXPECT_EQ(view_.end_left, 1800 * 400 / 3600 + 10 - 60 + 9);
  EXPECT_EQ(view_.start_left, 900 * 400 / 3600 + 10 + 9);
}

TEST_F(PositionBarTest, RangeFromTheTwoThumbs) {
  bar_.PositionRangeBarHighChange(900);
  bar_.PositionRangeBarLowChange(300);
  EXPECT_EQ(bar_.StartPointSec(), 300);
  EXPECT_EQ(bar_.StopPointSec(), 900);
  EXPECT_DOUBLE_EQ(bar_.RangeSeconds(), 600);
  EXPECT_EQ(host_.seeks, std::vector<double>{300});
}

TEST_F(PositionBarTest, DuringAConversionTheStopPointIsFrozen) {
  bar_.ApplyProfileRange(300, 600);
  host_.converting = true;
  bar_.PositionRangeBarHighChange(1000);
  EXPECT_EQ(bar_.StopPointSec(), 900);
  EXPECT_DOUBLE_EQ(bar_.RangeSeconds(), 600);
  EXPECT_EQ(view_.end_caption, " (stop point) 16:40->");

  // The low thumb follows the recording without touching the start point.
  const std::string start_caption = view_.start_caption;
  bar_.MoveStartPoint(450);
  EXPECT_EQ(bar_.low(), 450);
  EXPECT_EQ(bar_.StartPointSec(), 300);
  EXPECT_EQ(view_.start_caption, start_caption);
}

TEST_F(PositionBarTest, ReachingTheStopPointWhilePlayingOnlyRefreshesTheLabels) {
  bar_.ApplyProfileRange(0, 120);
  bar_.MoveStartPoint(120);
  EXPECT_EQ(bar_.StopPointSec(), 120);
  EXPECT_FALSE(bar_.EndtimeReached(120));
  EXPECT_TRUE(host_.seeks.empty());
  EXPECT_EQ(view_.end_caption, " (stop point) 2:00->");
}

TEST_F(PositionBarTest, ProfileRangeGrowsTheBarAndSetsBothPoints) {
  bar_.ApplyProfileRange(3500, 200);
  EXPECT_EQ(view_.maximum, 3700);
  EXPECT_EQ(view_.low, 3500);
  EXPECT_EQ(view_.high, 3700);
  EXPECT_EQ(bar_.StartPointSec(), 3500);
  EXPECT_EQ(bar_.StopPointSec(), 3700);
  // The stop point lies past the end: the range is what the file holds.
  EXPECT_NEAR(bar_.RangeSeconds(), 100.4, 1e-9);
}

TEST_F(PositionBarTest, ProfileWithoutDurationRecordsToTheEndOfTheFile) {
  bar_.ApplyProfileRange(60, 60);
  ASSERT_EQ(bar_.StopPointSec(), 120);
  bar_.ApplyProfileRange(60, 0);
  EXPECT_EQ(bar_.StopPointSec(), 3600);
  EXPECT_TRUE(bar_.StopPointIsFileEnd());
  EXPECT_NEAR(bar_.RangeSeconds(), 3540.4, 1e-9);
}

TEST_F(PositionBarTest, NegativeProfileTimesCountAsZero) {
  bar_.ApplyProfileRange(-30, -10);
  EXPECT_EQ(bar_.low(), 0);
  EXPECT_EQ(bar_.StopPointSec(), 3600);
  EXPECT_GT(bar_.RangeSeconds(), 0);
}

TEST_F(PositionBarTest, SecondPassRecordsWhatTheFirstDid) {
  // Range 0:02:00 to 0:15:00; the user stops pass 1 at 0:10:00.
  bar_.ApplyProfileRange(120, 780);
  host_.converting = true;
  bar_.MoveStartPoint(600);
  host_.converting = false;
  bar_.SetRangeSilently(120, bar_.low());
  EXPECT_TRUE(host_.seeks.empty());
  EXPECT_EQ(view_.low, 120);
  EXPECT_EQ(view_.high, 600);
  EXPECT_EQ(bar_.StartPointSec(), 120);
  EXPECT_EQ(bar_.StopPointSec(), 600);
  EXPECT_DOUBLE_EQ(bar_.RangeSeconds(), 480);

  host_.converting = true;
  EXPECT_FALSE(bar_.EndtimeReached(599));
  EXPECT_TRUE(bar_.EndtimeReached(600));
}

TEST_F(PositionBarTest, EndOfConversionMovesLowOntoHigh) {
  bar_.ApplyProfileRange(60, 60);
  bar_.MoveLowToHigh();
  EXPECT_EQ(view_.low, 120);
  EXPECT_EQ(view_.time_label, "0:02:00 of [1:00:00] ");
  EXPECT_TRUE(host_.seeks.empty());
}

TEST_F(PositionBarTest, PlayAfterAUserStopSeeksBackToTheStartPoint) {
  bar_.PositionRangeBarLowChange(300);
  host_.seeks.clear();
  host_.stopped_by_user = true;
  bar_.NudgeLow();
  ASSERT_FALSE(host_.seeks.empty());
  EXPECT_EQ(host_.seeks.back(), 300);
  EXPECT_EQ(bar_.low(), 300);
  EXPECT_FALSE(host_.stopped_by_user);
}

TEST_F(PositionBarTest, PlayAfterAUserStopAtTheStopPointSeeksThere) {
  bar_.ApplyProfileRange(0, 120);
  bar_.MoveLowToHigh();
  bar_.NudgeLow();
  ASSERT_FALSE(host_.seeks.empty());
  EXPECT_EQ(host_.seeks.back(), 120);
}

TEST_F(PositionBarTest, ClosingTheGraphDropsAPendingSeek) {
  bar_.PositionRangeBarMouseDown();
  bar_.PositionRangeBarLowChange(500);
  bar_.GraphClosed();
  bar_.PositionRangeBarMouseUp();
  EXPECT_TRUE(host_.seeks.empty());
  EXPECT_EQ(view_.maximum, 1);
  EXPECT_FALSE(bar_.StopPointIsFileEnd());
}

// The file-end rule: a stop point at the file's whole-second length leaves
// the end to the completion event.
TEST(PositionBarFileEnd, StopAtTheEndOfTheFileRunsToItsTrueEnd) {
  FakeBarView view;
  FakeBarHost host;
  PositionBar bar(&view, &host);
  EXPECT_FALSE(bar.StopPointIsFileEnd());

  bar.SourceRendered(10.48);
  host.converting = true;
  EXPECT_TRUE(bar.StopPointIsFileEnd());
  EXPECT_FALSE(bar.EndtimeReached(10));
  EXPECT_FALSE(bar.EndtimeReached(11));

  host.converting = false;
  bar.ApplyProfileRange(2, 5);
  host.converting = true;
  EXPECT_FALSE(bar.StopPointIsFileEnd());
  EXPECT_FALSE(bar.EndtimeReached(6));
  EXPECT_TRUE(bar.EndtimeReached(7));

  host.converting = false;
  bar.ApplyProfileRange(2, 0);
  EXPECT_TRUE(bar.StopPointIsFileEnd());
  EXPECT_NEAR(bar.RangeSeconds(), 8.48, 1e-9);
}

TEST(PositionBarFileEnd, SubSecondFileIsNotStoppedAtOnce) {
  FakeBarView view;
  FakeBarHost host;
  PositionBar bar(&view, &host);
  bar.SourceRendered(0.6);
  host.converting = true;
  EXPECT_EQ(bar.StopPointSec(), 0);
  EXPECT_FALSE(bar.EndtimeReached(0));
}

}  // namespace
}  // namespace ovc
