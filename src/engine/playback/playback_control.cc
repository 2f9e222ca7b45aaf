#include "engine/playback/playback_control.h"

#include <cmath>
#include <thread>

#include "common/mutex.h"
#include "common/trace.h"
#include "engine/playback/capture_stage.h"
#include "engine/playback/recording_clock.h"
#include "engine/playback/recording_target.h"

namespace ovc {
namespace {

constexpr int32_t kFullVolume = 0;
constexpr int32_t kSilentVolume = -10000;

// Completion of one helper call, shared by the helper and its waiter.
struct HelperDone {
  Mutex mutex;
  CondVar changed;
  bool done OVC_GUARDED_BY(mutex) = false;
};

}  // namespace

PlaybackControl::PlaybackControl(RecordingClock* clock, CaptureStage* capture,
                                 const RecordingTarget* target, PlaybackView* view)
    : clock_(clock), capture_(capture), target_(target), view_(view) {}

PlaybackControl::~PlaybackControl() = default;

template <typename Call>
void PlaybackControl::RunHelper(Call call, std::chrono::milliseconds limit) {
  auto done = std::make_shared<HelperDone>();
  // Detached: a call that is stuck must not hold the user interface. It
  // keeps only shared state and the graph, which is not released while a
  // stop is outstanding.
  std::thread([call, done]() mutable {
    call();
    MutexLock lock(&done->mutex);
    done->done = true;
    done->changed.SignalAll();
  }).detach();
  const auto deadline = std::chrono::steady_clock::now() + limit;
  MutexLock lock(&done->mutex);
  while (!done->done && done->changed.WaitUntil(&done->mutex, deadline)) {
  }
}

void PlaybackControl::SetGraph(PlaybackGraphControl* graph, bool playable) {
  graph_ = graph;
  playable_ = graph != nullptr && playable;
  shared_ = std::make_shared<Shared>();
  shared_->state.store(graph ? kStopped : kClosed);
  if (graph) stop_timed_out_.store(false);
}

int32_t PlaybackControl::PlayMovie() {
  if (graph_ == nullptr || !playable_) return 0;
  WriteTraceLine("Play....");
  pause_requested_.store(false);
  view_->HideStillPicture();
  view_->ShowVideoWindow();

  double position = 0, duration = 0;
  if (graph_->GetPosition(&position) && graph_->GetDuration(&duration) &&
      std::fabs(duration - position) < 0.01)
    graph_->SetPosition(0);  // played to its end: from the start again

  const bool converting = target_->recording();
  if (!converting) {
    capture_->RestartFrameCounter();
    if (clock_->speed() < 1.0f) clock_->SetSpeed(1.0f);
  }
  int32_t result = 0;
  if (state() != kRunning) {
    result = graph_->Run();
    if (result < 0) {
      TracePrintf("FAILED(hr=0x%x) in pMediaControl->Run()\n", static_cast<unsigned>(result));
      return result;
    }
    shared_->state.store(kRunning);
  }
  // The preview is silent while converting.
  if (!converting && clock_->speed() == 1.0f) SetPreviewVolume(kFullVolume);
  else if (converting) SetPreviewVolume(kSilentVolume);
  return result;
}

void PlaybackControl::PauseMovie() {
  if (pausing_.load()) {
    WriteTraceLine("Re-entering pause");
    return;
  }
  if (graph_ == nullptr || state() != kRunning) return;
  pause_requested_.store(true);
  pausing_.store(true);
  PlaybackGraphControl* graph = graph_;
  std::shared_ptr<Shared> shared = shared_;
  RunHelper(
      [graph, shared] {
        if (graph->Pause() >= 0) shared->state.store(kPaused);
      },
      timeouts_.pause);
  pausing_.store(false);
  if (state() != kPaused) WriteTraceLine("Pause time out");
  shared_->state.store(kPaused);
  view_->ShowStillPicture();
}

void PlaybackControl::StopMovie() {
  if (stopping_.load()) {
    WriteTraceLine("Re-entering stop");
    return;
  }
  if (graph_ == nullptr || state() == kStopped) return;
  if (state() == kPaused || state() == kRunning) {
    clock_->SetSpeed(1.0f);
    std::this_thread::sleep_for(timeouts_.before_stop);
    std::this_thread::sleep_for(timeouts_.before_stop_again);
    stopping_.store(true);
    PlaybackGraphControl* graph = graph_;
    std::shared_ptr<Shared> shared = shared_;
    RunHelper(
        [graph, shared] {
          if (graph->Stop() >= 0) shared->state.store(kStopped);
        },
        timeouts_.stop);
    stopping_.store(false);
    if (state() != kStopped) {
      WriteTraceLine("Stop time out");
      stop_timed_out_.store(true);
    }
    shared_->state.store(kStopped);
  }
  if (!stop_timed_out_.load()) graph_->SetPosition(0);
  capture_->ResetRecordedTime();
}

void PlaybackControl::SetPreviewVolume(int32_t volume) {
  if (graph_ == nullptr) return;
  PlaybackGraphControl* graph = graph_;
  RunHelper(
      [graph, volume] {
        if (graph->HasAudio()) graph->SetVolume(volume);
      },
      timeouts_.volume);
}

}  // namespace ovc
