// When renderers let samples go: in preview on the reference clock, while
// free-running as fast as the work allows with the streams kept together.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/audio_renderer.h"
#include "platform/media/filter_graph.h"
#include "platform/media/grabber_filter.h"
#include "platform/media/media_test_support.h"
#include "platform/media/video_renderer.h"
#include "support/clip_generator.h"
#include "support/temp_world.h"

namespace ovc::media::test {
namespace {

using ovc::test::ClipRecipe;

constexpr ReferenceTime kStart = 50000000;  // the fake clock's time at Run
constexpr ReferenceTime kFrame = 400000;    // 25 pictures a second

class PresentationTest : public ::testing::Test {
 protected:
  // Writes the clip, renders it with both grabbers, the recording surface
  // and sink and the fake clock.
  void Open(const ClipRecipe& clip_recipe) {
    const std::string path = world_.Path("clip.mp4");
    ASSERT_EQ(ovc::test::WriteClip(path, clip_recipe), "");
    graph_.SetVideoSurface(surface_);
    graph_.SetAudioSink(sink_);
    graph_.AddFilter(video_, "Video Grabber");
    graph_.AddFilter(audio_, "Audio Grabber");
    ASSERT_TRUE(Succeeded(graph_.RenderFile(path)));
    ASSERT_EQ(graph_.SetReferenceClock(clock_), kOk);
    recorder_ = std::make_unique<GrabberRecorder>(video_.get(), audio_.get());
  }

  static ClipRecipe Clip(bool video, bool audio) {
    ClipRecipe clip_recipe;
    clip_recipe.width = 160;
    clip_recipe.height = 120;
    clip_recipe.has_video = video;
    clip_recipe.has_audio = audio;
    return clip_recipe;
  }

  ovc::test::TempWorld world_;
  std::shared_ptr<RecordingSurface> surface_ = std::make_shared<RecordingSurface>();
  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  std::shared_ptr<FakeClock> clock_ = std::make_shared<FakeClock>(kStart);
  std::shared_ptr<VideoGrabber> video_ = std::make_shared<VideoGrabber>();
  std::shared_ptr<AudioGrabber> audio_ = std::make_shared<AudioGrabber>();
  // Outlives the graph, whose threads call it until the graph is gone.
  std::unique_ptr<GrabberRecorder> recorder_;
  FilterGraph graph_;
};

TEST_F(PresentationTest, PreviewShowsEachPictureWhenTheClockReachesIt) {
  Open(Clip(true, false));
  ASSERT_EQ(graph_.Run(), kOk);
  ASSERT_TRUE(surface_->WaitForShown(1)) << "picture 0 is due at once";
  for (int n = 1; n <= 4; ++n) {
    ASSERT_TRUE(clock_->WaitForWaiter(kStart + n * kFrame)) << "picture " << n;
    EXPECT_EQ(surface_->shown().size(), static_cast<size_t>(n));
    clock_->Set(kStart + n * kFrame);
    ASSERT_TRUE(surface_->WaitForShown(n + 1));
  }
  EXPECT_EQ(surface_->shown(), (std::vector<int>{0, 1, 2, 3, 4}));

  // Paused a while, playback goes on from where it stood.
  ASSERT_TRUE(clock_->WaitForWaiter(kStart + 5 * kFrame));
  clock_->Set(kStart + 5 * kFrame - 1000);
  ASSERT_EQ(graph_.Pause(), kOk);
  ASSERT_TRUE(clock_->WaitForBlockedCount(0));
  const ReferenceTime resumed = kStart + 100000000;
  clock_->Set(resumed);
  ASSERT_EQ(graph_.Run(), kOk);
  ASSERT_TRUE(clock_->WaitForWaiter(resumed + 1000));
  EXPECT_EQ(surface_->shown().size(), 5u);
  graph_.Stop();
}

TEST_F(PresentationTest, PreviewPlaysEachBlockOfSoundWhenItIsDue) {
  Open(Clip(false, true));
  ASSERT_EQ(graph_.SetVolume(-2000), kOk);
  EXPECT_DOUBLE_EQ(sink_->gain(), 0.1);
  ASSERT_EQ(graph_.Run(), kOk);
  ASSERT_TRUE(sink_->WaitForPlayCalls(1));
  for (int b = 1; b <= 3; ++b) {
    ASSERT_TRUE(recorder_->WaitForAudioCount(b + 1));
    const ReferenceTime due = kStart + recorder_->audio()[b].start;
    ASSERT_TRUE(clock_->WaitForWaiter(due)) << "block " << b;
    EXPECT_EQ(sink_->play_calls(), b);
    clock_->Set(due);
    ASSERT_TRUE(sink_->WaitForPlayCalls(b + 1));
  }
  graph_.Stop();
  EXPECT_EQ(sink_->played_bytes(), 4 * 1024 * 4);
}

TEST_F(PresentationTest, VolumeIsCheckedAndNeedsAnAudioRenderer) {
  Open(Clip(true, false));
  EXPECT_EQ(graph_.SetVolume(0), kErrorNotImplemented);
  int32_t volume = 1;
  EXPECT_EQ(graph_.GetVolume(&volume), kErrorNotImplemented);

  FilterGraph with_audio;
  auto renderer = std::make_shared<AudioRenderer>(sink_);
  with_audio.AddFilter(renderer, "Audio Renderer");
  EXPECT_EQ(with_audio.SetVolume(-10001), kErrorInvalidArg);
  EXPECT_EQ(with_audio.SetVolume(1), kErrorInvalidArg);
  EXPECT_EQ(with_audio.SetVolume(-10000), kOk);
  EXPECT_EQ(sink_->gain(), 0.0);
  EXPECT_EQ(with_audio.GetVolume(&volume), kOk);
  EXPECT_EQ(volume, -10000);
}

TEST_F(PresentationTest, FreeRunningKeepsTheStreamsTogetherWithoutTheClock) {
  // Sound that starts late and has a hole: neither may stall the other.
  ClipRecipe clip_recipe = Clip(true, true);
  clip_recipe.seconds = 3.0;
  clip_recipe.audio_start = 0.5;
  clip_recipe.gap_start = 1.5;
  clip_recipe.gap_seconds = 0.6;
  Open(clip_recipe);
  graph_.SetFreeRunning(true);
  ASSERT_EQ(graph_.Run(), kOk);
  ASSERT_EQ(WaitForEvent(graph_), kEventComplete);
  graph_.Stop();

  EXPECT_EQ(clock_->wait_calls(), 0);
  EXPECT_EQ(sink_->play_calls(), 0) << "sound is consumed, not played";
  const std::vector<VideoRecord> pictures = recorder_->video();
  const std::vector<AudioRecord> blocks = recorder_->audio();
  ASSERT_EQ(pictures.size(), 75u);
  ASSERT_FALSE(blocks.empty());
  EXPECT_NEAR(static_cast<double>(blocks.front().start) / kUnitsPerSecond, 0.5, 0.03);
  // Where the clip has sound, a picture reaches the grabber at most kMaxLead
  // after the end of the latest block of sound that entered the graph, and
  // that block may still be on its way to its grabber: two blocks in all.
  constexpr ReferenceTime kBlock = 1024 * kUnitsPerSecond / 48000 + 1;
  const ReferenceTime gap_begin = 15000000;
  const ReferenceTime gap_end = 21000000 + PresentationScheduler::kMaxLead;
  const ReferenceTime audio_end = blocks.back().stop;
  for (const VideoRecord& picture : pictures) {
    if (picture.other_latest == INT64_MIN || picture.start > audio_end) continue;
    if (picture.start >= gap_begin && picture.start <= gap_end) continue;
    EXPECT_LE(picture.start - picture.other_latest, PresentationScheduler::kMaxLead + 2 * kBlock)
        << "picture at " << picture.start;
  }
  // And sound reaches its grabber at most kMaxLead past the end of the
  // latest picture (plus one picture on its way), across the hole too.
  for (const AudioRecord& block : blocks) {
    if (block.other_latest == INT64_MIN) continue;
    EXPECT_LE(block.start - block.other_latest, PresentationScheduler::kMaxLead + 2 * kFrame)
        << "block at " << block.start;
  }
}

TEST_F(PresentationTest, FreeRunningHoldsTheSoundBackWhileAPictureIsBeingTaken) {
  Open(Clip(true, true));
  recorder_->BlockVideoAt(5);  // the picture at 0.2 s
  graph_.SetFreeRunning(true);
  ASSERT_EQ(graph_.Run(), kOk);
  ASSERT_TRUE(recorder_->WaitUntilBlocked());
  // The sound may run on to kMaxLead past the end of the held picture.
  const ReferenceTime limit = 6 * kFrame + PresentationScheduler::kMaxLead;
  ASSERT_TRUE(recorder_->WaitForAudioAt(limit - 1024 * kUnitsPerSecond / 48000));
  for (const AudioRecord& block : recorder_->audio()) EXPECT_LE(block.start, limit);
  recorder_->Release();
  ASSERT_EQ(WaitForEvent(graph_), kEventComplete);
  graph_.Stop();
  EXPECT_EQ(recorder_->video().size(), 50u);
}

TEST_F(PresentationTest, FreeRunningLetsTheSoundCoverAPictureThatLastsSeconds) {
  // One picture every 2 s: the capture needs the sound of all of a
  // picture's time before it can make that picture's output frames.
  ClipRecipe clip_recipe = Clip(true, true);
  clip_recipe.fps_num = 1;
  clip_recipe.fps_den = 2;
  clip_recipe.seconds = 6.0;
  Open(clip_recipe);
  recorder_->BlockVideoAt(0);
  graph_.SetFreeRunning(true);
  ASSERT_EQ(graph_.Run(), kOk);
  ASSERT_TRUE(recorder_->WaitUntilBlocked());
  constexpr ReferenceTime kPicture = 2 * kUnitsPerSecond;
  ASSERT_TRUE(recorder_->WaitForAudioAt(kPicture - 1024 * kUnitsPerSecond / 48000));
  for (const AudioRecord& block : recorder_->audio())
    EXPECT_LE(block.start, kPicture + PresentationScheduler::kMaxLead);
  recorder_->Release();
  ASSERT_EQ(WaitForEvent(graph_), kEventComplete);
  graph_.Stop();
  EXPECT_EQ(recorder_->video().size(), 3u);
}

TEST_F(PresentationTest, FreeRunningShowsAtMostThirtyPicturesPerWallSecond) {
  std::atomic<int64_t> wall{0};
  graph_.SetWallTimeSource([&wall] { return wall.load(); });
  Open(Clip(true, false));
  // Each picture takes 10 ms of wall time to capture.
  recorder_->OnEachVideo([&wall](const VideoRecord&) { wall += 10000; });
  graph_.SetFreeRunning(true);
  ASSERT_EQ(graph_.Run(), kOk);
  ASSERT_EQ(WaitForEvent(graph_), kEventComplete);
  graph_.Stop();
  std::vector<int> expected;
  for (int n = 0; n < 50; n += 4) expected.push_back(n);
  EXPECT_EQ(surface_->shown(), expected);
  EXPECT_EQ(recorder_->video().size(), 50u) << "every picture still reaches the grabber";
}

TEST_F(PresentationTest, BackInPreviewTheClockTakesOverFromTheMediaTime) {
  Open(Clip(true, false));
  recorder_->BlockVideoAt(10);
  graph_.SetFreeRunning(true);
  ASSERT_EQ(graph_.Run(), kOk);
  ASSERT_TRUE(recorder_->WaitUntilBlocked());
  // The clock crept while the conversion ran; picture 9 (0.36 s) was last.
  const ReferenceTime now = kStart + 1234567;
  clock_->Set(now);
  graph_.SetFreeRunning(false);
  recorder_->Release();
  ASSERT_TRUE(clock_->WaitForWaiter(now + kFrame)) << "picture 10 is one picture away";
  graph_.Stop();
}

TEST_F(PresentationTest, RepaintShowsTheHeldPictureOrAsksTheHost) {
  Open(Clip(true, false));
  EXPECT_EQ(graph_.RequestRepaint(), kFalse);
  EXPECT_EQ(PendingEvents(graph_), (std::vector<int32_t>{kEventRepaint}));

  ASSERT_EQ(graph_.Pause(), kOk);
  ASSERT_TRUE(surface_->WaitForShown(1)) << "a paused graph shows its first picture";
  EXPECT_EQ(graph_.RequestRepaint(), kOk);
  EXPECT_EQ(surface_->shown(), (std::vector<int>{0, 0}));
  EXPECT_TRUE(PendingEvents(graph_).empty());
  graph_.Stop();
}

}  // namespace
}  // namespace ovc::media::test
