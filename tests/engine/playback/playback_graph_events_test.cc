// The graph event pump's completion rules and the guide's states.

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <vector>

#include "engine/playback/capture_test_support.h"
#include "engine/playback/graph_events.h"
#include "engine/playback/guide.h"
#include "engine/playback/playback_control.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

class FakeEventHost : public GraphEventHost {
 public:
  bool draining() override { return draining_flag; }
  int playback_state() override { return state; }
  bool conversion_running() override { return converting; }
  bool second_pass() override { return pass2; }
  double low_thumb_seconds() override { return low; }
  double end_point_seconds() override { return end; }
  void ProgressTimerStep() override { ++timer_steps; }
  void StopRecording() override { ++stops; }
  void PostConversionFinished() override { ++finished_posts; }
  void RepaintStillPicture() override { ++repaints; }

  bool draining_flag = false;
  int state = kRunning;
  bool converting = true;
  bool pass2 = false;
  double low = 0;
  double end = 100;
  int timer_steps = 0, stops = 0, finished_posts = 0, repaints = 0;
};

struct CompletionCase {
  const char* name;
  bool draining;
  int state;
  bool converting;
  bool second_pass;
  double low;  // end point 100 s
  bool stops;
  int timer_steps;
};

void PrintTo(const CompletionCase& c, std::ostream* os) { *os << c.name; }

class CompletionTest : public testing::TestWithParam<CompletionCase> {};

TEST_P(CompletionTest, EndsTheConversionOnlyWhenItShould) {
  test::TempWorld world;
  const CompletionCase& c = GetParam();
  FakeEventHost host;
  host.draining_flag = c.draining;
  host.state = c.state;
  host.converting = c.converting;
  host.pass2 = c.second_pass;
  host.low = c.low;
  media::GraphEventQueue events;
  events.Post(media::kEventComplete);

  EXPECT_EQ(PumpGraphEvents(&events, true, &host), media::kErrorAbort);
  EXPECT_EQ(host.stops, c.stops ? 1 : 0);
  EXPECT_EQ(host.finished_posts, c.stops ? 1 : 0);
  EXPECT_EQ(host.timer_steps, c.timer_steps);
  // The event was taken either way.
  int32_t code;
  intptr_t p1, p2;
  EXPECT_EQ(events.GetEvent(&code, &p1, &p2, 0), media::kErrorAbort);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompletionTest,
    testing::Values(
        CompletionCase{"OnePassEndsAnywhere", false, kRunning, true, false, 10, true, 1},
        CompletionCase{"SecondPassTenSecondsEarlyIgnored", false, kRunning, true, true, 90, false, 1},
        CompletionCase{"SecondPassOneSecondEarlyEnds", false, kRunning, true, true, 99, true, 1},
        CompletionCase{"NoConversionOnlyTimerStep", false, kRunning, false, false, 0, false, 1},
        CompletionCase{"DrainingDropped", true, kRunning, true, false, 99, false, 0},
        CompletionCase{"PausedDropped", false, kPaused, true, false, 99, false, 0}),
    [](const testing::TestParamInfo<CompletionCase>& info) {
      return std::string(info.param.name);
    });

TEST(GraphEventsTest, RepaintsAndNeedsARenderedSource) {
  FakeEventHost host;
  media::GraphEventQueue events;
  events.Post(media::kEventRepaint);
  events.Post(media::kEventErrorAbort, 5);
  EXPECT_EQ(PumpGraphEvents(&events, false, &host), 0);
  EXPECT_EQ(PumpGraphEvents(nullptr, true, &host), 0);
  EXPECT_EQ(host.repaints, 0);
  PumpGraphEvents(&events, true, &host);
  EXPECT_EQ(host.repaints, 1);
  EXPECT_EQ(host.stops, 0);
}

// --- The guide. ---

class FakeGuideView : public GuideView {
 public:
  int PanelWidth() override { return 642; }
  int LabelWidth(const std::string& text) override { return static_cast<int>(text.size()) * 6; }
  void ShowLabel(const std::string& text, int left, uint32_t colour) override {
    label = text;
    label_left = left;
    font_colour = colour;
  }
  void SetBannerWindowColour() override { banner.push_back(-1); }
  void SetBannerColour(uint32_t colour) override { banner.push_back(colour); }
  void PlayBannerAnimation(int which) override {
    animations.push_back(which);
    if (during_animation) during_animation();
    if (throw_in_animation) throw std::runtime_error("no effect library");
  }
  void FreezeBanner() override { ++freezes; }
  void RestoreBanner() override { ++restores; }

  std::string label;
  int label_left = 0;
  uint32_t font_colour = 1;
  std::vector<int64_t> banner;
  std::vector<int> animations;
  std::function<void()> during_animation;
  bool throw_in_animation = false;
  int freezes = 0, restores = 0;
};

TEST(GuideTest, ReadyShowsTheLengthCentredOnGreen) {
  test::TempWorld world;
  FakeGuideView view;
  Guide guide(&view);
  guide.set_source_length(1, 23, 45);
  guide.ShowGuide(kGuideReady);
  EXPECT_EQ(view.label, "Ready to record this title [1:23:45]");
  EXPECT_EQ(view.label_left, (642 - 36 * 6) / 2 - 10);
  EXPECT_EQ(view.font_colour, 0u);
  EXPECT_EQ(view.banner, std::vector<int64_t>{60285});
  EXPECT_TRUE(view.animations.empty());

  guide.ShowGuide(kGuideFinished);
  EXPECT_EQ(view.label, "Video Panel");
  EXPECT_EQ(view.banner.back(), -1);
  EXPECT_EQ(guide.state(), kGuideFinished);
}

TEST(GuideTest, RecordingAnimatesOnceWhenShownAgainMeanwhile) {
  test::TempWorld world;
  FakeGuideView view;
  Guide guide(&view);
  view.during_animation = [&] {
    view.during_animation = nullptr;
    guide.ShowGuide(kGuideRecording);
  };
  guide.ShowGuide(kGuideRecording);
  EXPECT_EQ(view.label, "Recording ... ");
  EXPECT_EQ(view.animations, (std::vector<int>{1, 2}));
  EXPECT_EQ(view.freezes, 1);
  EXPECT_EQ(view.restores, 2);
  EXPECT_EQ(view.banner.back(), 16747660);
  EXPECT_TRUE(test::TraceHas("re-enter"));
}

TEST(GuideTest, AFailingAnimationIsTracedAndTheBannerRestored) {
  test::TempWorld world;
  FakeGuideView view;
  view.throw_in_animation = true;
  Guide guide(&view);
  guide.ShowGuide(kGuideRecording);
  EXPECT_EQ(view.restores, 1);
  EXPECT_TRUE(test::TraceHas("Exception in Guide 5"));
  // The next recording animates again.
  view.throw_in_animation = false;
  guide.ShowGuide(kGuideRecording);
  EXPECT_EQ(view.animations, (std::vector<int>{1, 1, 2}));
}

}  // namespace
}  // namespace ovc
