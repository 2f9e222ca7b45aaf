#include "engine/playback/playback_control.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/playback/capture_stage.h"
#include "engine/playback/capture_test_support.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

// A graph whose Stop and Pause can be held until the test lets them go.
class FakeGraph : public PlaybackGraphControl {
 public:
  int32_t Run() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++runs;
    return run_result;
  }
  int32_t Pause() override { return Hold(&hold_pause, &pauses); }
  int32_t Stop() override { return Hold(&hold_stop, &stops); }
  bool HasAudio() override { return true; }
  int32_t SetVolume(int32_t volume) override {
    std::lock_guard<std::mutex> lock(mutex_);
    volumes.push_back(volume);
    return 0;
  }
  bool GetPosition(double* seconds) override {
    *seconds = position;
    return true;
  }
  bool GetDuration(double* seconds) override {
    *seconds = duration;
    return true;
  }
  void SetPosition(double seconds) override { positions_set.push_back(seconds); }

  // Lets held calls return and waits until they have.
  void Release() {
    std::unique_lock<std::mutex> lock(mutex_);
    hold_pause = hold_stop = false;
    changed_.notify_all();
    changed_.wait(lock, [&] { return inside_ == 0; });
  }
  void WaitUntilInside() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return inside_ > 0; });
  }
  std::vector<int32_t> Volumes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return volumes;
  }

  int32_t run_result = 0;
  bool hold_pause = false;
  bool hold_stop = false;
  int runs = 0, pauses = 0, stops = 0;
  double position = 0, duration = 60;
  std::vector<double> positions_set;
  std::vector<int32_t> volumes;

 private:
  int32_t Hold(bool* hold, int* count) {
    std::unique_lock<std::mutex> lock(mutex_);
    ++inside_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !*hold; });
    ++*count;
    --inside_;
    changed_.notify_all();
    return 0;
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  int inside_ = 0;
};

class FakeView : public PlaybackView {
 public:
  void HideStillPicture() override { ++hides; }
  void ShowVideoWindow() override { ++video_shown; }
  void ShowStillPicture() override { ++stills; }
  int hides = 0, video_shown = 0, stills = 0;
};

class PlaybackControlTest : public testing::Test {
 protected:
  PlaybackControlTest() {
    PlaybackControl::Timeouts quick;
    quick.before_stop = quick.before_stop_again = std::chrono::milliseconds(0);
    control_.set_timeouts(quick);
    control_.SetGraph(&graph_, true);
    target_.recording_flag = false;
  }
  ~PlaybackControlTest() override { graph_.Release(); }

  test::TempWorld world_;
  test::FakeTicks ticks_;
  RecordingClock clock_{&ticks_};
  test::FakeTarget target_;
  test::FakeHost host_;
  CaptureStage capture_{&clock_, &target_, &host_};
  FakeGraph graph_;
  FakeView view_;
  PlaybackControl control_{&clock_, &capture_, &target_, &view_};
};

TEST_F(PlaybackControlTest, PlayAfterTheEndStartsAgainAtFullVolume) {
  graph_.position = 60;
  clock_.SetSpeed(0.01f);
  EXPECT_EQ(control_.PlayMovie(), 0);
  EXPECT_EQ(control_.state(), kRunning);
  EXPECT_EQ(graph_.positions_set, std::vector<double>{0});
  EXPECT_EQ(graph_.runs, 1);
  EXPECT_FLOAT_EQ(clock_.speed(), 1.0f);
  EXPECT_EQ(capture_.frame_counter(), -1);
  EXPECT_EQ(graph_.Volumes(), std::vector<int32_t>{0});
  EXPECT_EQ(view_.hides, 1);
  EXPECT_TRUE(test::TraceHas("Play...."));
  // Running already: no second Run.
  control_.PlayMovie();
  EXPECT_EQ(graph_.runs, 1);
}

TEST_F(PlaybackControlTest, DuringAConversionThePreviewStaysMuted) {
  target_.recording_flag = true;
  clock_.SetSpeed(0.01f);
  control_.PlayMovie();
  EXPECT_EQ(graph_.Volumes(), std::vector<int32_t>{-10000});
  EXPECT_FLOAT_EQ(clock_.speed(), 0.01f);
}

TEST_F(PlaybackControlTest, NothingPlayableOrAFailedRunLeavesTheStateAlone) {
  control_.SetGraph(&graph_, false);
  EXPECT_EQ(control_.PlayMovie(), 0);
  EXPECT_EQ(graph_.runs, 0);
  control_.SetGraph(&graph_, true);
  graph_.run_result = static_cast<int32_t>(0x80004005);
  EXPECT_EQ(control_.PlayMovie(), static_cast<int32_t>(0x80004005));
  EXPECT_EQ(control_.state(), kStopped);
  EXPECT_TRUE(test::TraceHas("FAILED(hr=0x80004005) in pMediaControl->Run()\n"));
}

TEST_F(PlaybackControlTest, PauseOnlyPausesARunningGraph) {
  control_.PauseMovie();  // stopped
  EXPECT_EQ(graph_.pauses, 0);
  control_.PlayMovie();
  control_.PauseMovie();
  EXPECT_EQ(control_.state(), kPaused);
  EXPECT_TRUE(control_.pause_requested());
  EXPECT_EQ(view_.stills, 1);
  control_.PauseMovie();  // paused already
  EXPECT_EQ(graph_.pauses, 1);
  control_.PlayMovie();
  EXPECT_FALSE(control_.pause_requested());
}

TEST_F(PlaybackControlTest, AStopThatHangsReturnsAfterItsTimeOut) {
  PlaybackControl::Timeouts quick;
  quick.before_stop = quick.before_stop_again = std::chrono::milliseconds(0);
  quick.stop = std::chrono::milliseconds(20);
  control_.set_timeouts(quick);
  control_.PlayMovie();
  graph_.hold_stop = true;
  control_.StopMovie();
  EXPECT_EQ(control_.state(), kStopped);
  EXPECT_TRUE(control_.stop_timed_out());
  EXPECT_TRUE(test::TraceHas("Stop time out"));
  EXPECT_TRUE(graph_.positions_set.empty());  // not rewound
  graph_.Release();
  // The next graph clears the mark.
  control_.SetGraph(&graph_, true);
  EXPECT_FALSE(control_.stop_timed_out());
}

TEST_F(PlaybackControlTest, AStopOrPauseWhileOneWaitsIsRefused) {
  PlaybackControl::Timeouts patient;
  patient.before_stop = patient.before_stop_again = std::chrono::milliseconds(0);
  patient.stop = patient.pause = std::chrono::minutes(10);
  control_.set_timeouts(patient);
  control_.PlayMovie();

  graph_.hold_pause = true;
  std::thread pausing([&] { control_.PauseMovie(); });
  graph_.WaitUntilInside();
  control_.PauseMovie();
  EXPECT_TRUE(test::TraceHas("Re-entering pause"));
  graph_.Release();
  pausing.join();
  EXPECT_EQ(graph_.pauses, 1);

  graph_.hold_stop = true;
  std::thread stopping([&] { control_.StopMovie(); });
  graph_.WaitUntilInside();
  control_.StopMovie();
  EXPECT_TRUE(test::TraceHas("Re-entering stop"));
  graph_.Release();
  stopping.join();
  EXPECT_EQ(graph_.stops, 1);
  EXPECT_FALSE(control_.stop_timed_out());
  EXPECT_EQ(graph_.positions_set.back(), 0);
}

}  // namespace
}  // namespace ovc
