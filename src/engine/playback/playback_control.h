#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace ovc {

class CaptureStage;
class RecordingClock;
class RecordingTarget;

// The state of the preview's playback.
//
//   stopped --PlayMovie--> running --PauseMovie--> paused --PlayMovie--> running
//   running, paused --StopMovie--> stopped;   any --graph closed--> closed
enum PlaybackState : int { kStopped = 0, kPaused = 1, kRunning = 2, kClosed = 3 };

// The calls the playback helpers make on the graph. Run, Pause and Stop may
// block for a long time (a streaming thread stuck in a capture callback);
// they return 0 or a negative failure code.
class PlaybackGraphControl {
 public:
  virtual ~PlaybackGraphControl() = default;
  virtual int32_t Run() = 0;
  virtual int32_t Pause() = 0;
  virtual int32_t Stop() = 0;
  // The audio interface: false when the graph has none.
  virtual bool HasAudio() = 0;
  // Preview volume in hundredths of a decibel: 0 full, -10,000 silent.
  virtual int32_t SetVolume(int32_t volume) = 0;
  // Position and length in seconds; false when they cannot be read.
  virtual bool GetPosition(double* seconds) = 0;
  virtual bool GetDuration(double* seconds) = 0;
  virtual void SetPosition(double seconds) = 0;
};

// The main window's share of play and pause.
class PlaybackView {
 public:
  virtual ~PlaybackView() = default;
  virtual void HideStillPicture() = 0;
  virtual void ShowVideoWindow() = 0;
  // Shows the paused still picture over the video (its geometry is the
  // view's business).
  virtual void ShowStillPicture() = 0;
};

// Play, pause, stop and volume of the preview. Each graph call runs on a
// short-lived helper thread that the caller (the user interface thread)
// waits for with a time-out; when the time-out expires the program goes on
// as if the call had worked and records the fact. A helper whose call is
// stuck keeps running and sets the state when its call returns.
class PlaybackControl {
 public:
  struct Timeouts {
    std::chrono::milliseconds stop{6500};
    std::chrono::milliseconds pause{3000};
    std::chrono::milliseconds volume{800};
    // Pauses before a stop, letting the streams settle at normal speed.
    std::chrono::milliseconds before_stop{500};
    std::chrono::milliseconds before_stop_again{50};
  };

  // None owned; all must outlive the control.
  PlaybackControl(RecordingClock* clock, CaptureStage* capture, const RecordingTarget* target,
                  PlaybackView* view);
  ~PlaybackControl();

  void set_timeouts(const Timeouts& timeouts) { timeouts_ = timeouts; }

  // A new graph (none: the graph was torn down, the state becomes closed).
  // `playable` is false when nothing was rendered or the video grabber is
  // not connected. The graph must stay alive while a helper may still be
  // running in it (see stop_timed_out()).
  void SetGraph(PlaybackGraphControl* graph, bool playable);

  // Starts or resumes playback. 0, or the failing code of Run (0 also when
  // playback is refused because there is nothing playable).
  int32_t PlayMovie();
  void PauseMovie();
  void StopMovie();
  // Hundredths of a decibel: 0 full, -10,000 silent.
  void SetPreviewVolume(int32_t volume);

  PlaybackState state() const { return static_cast<PlaybackState>(shared_->state.load()); }
  bool pause_requested() const { return pause_requested_.load(); }
  bool stop_timed_out() const { return stop_timed_out_.load(); }

 private:
  struct Shared {
    std::atomic<int> state{kClosed};
  };
  // Runs `call` on a helper thread and waits up to `limit` for it.
  template <typename Call>
  void RunHelper(Call call, std::chrono::milliseconds limit);

  RecordingClock* clock_;
  CaptureStage* capture_;
  const RecordingTarget* target_;
  PlaybackView* view_;
  Timeouts timeouts_;
  PlaybackGraphControl* graph_ = nullptr;  // user interface thread only
  bool playable_ = false;
  // Shared with helpers that may outlive a time-out.
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::atomic<bool> pausing_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> pause_requested_{false};
  std::atomic<bool> stop_timed_out_{false};
};

}  // namespace ovc
