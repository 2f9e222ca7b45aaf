#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <vector>

#include "common/mutex.h"
#include "platform/media/media_types.h"
#include "platform/media/reference_clock.h"

namespace ovc::media {

// The graph's state. The values are the host's playback-state numbers.
//
//            Pause              Run
//   kStopped ------> kPaused -------> kRunning
//       ^   <------         <-------     |
//       |      Stop          Pause       |
//       +--------------------------------+
//                      Stop
enum class GraphState { kStopped = 0, kPaused = 1, kRunning = 2 };

// How a renderer is to treat a sample the scheduler lets go.
enum class Release {
  kPresent,  // preview: the sample is due on the reference clock; show or play it
  kFreeRun,  // free-running: consume it at once; the clock plays no part
  kFlushed,  // the stream is stopping or seeking: drop it and return
};

// Decides when each renderer may render: the one place where the streaming
// threads wait on the graph's state, the reference clock and each other.
//
// Preview (the default): a sample whose start is s (segment time) is due
// when the clock reads base + s; the base is taken at Run so that playback
// resumes where it paused.
//
// Free-running (while a conversion runs): nothing waits on the clock. The
// streams are kept interleaved by media time instead, where each sample
// enters the graph (before the grabber sees it): a stream whose sample
// starts more than kMaxLead after the end of the latest sample of another
// stream that has not ended waits for that stream to catch up. (Two streams can never
// wait for each other: only the one that is further ahead waits.)
//
// Every wait ends at once when what it waits for changes: a state or mode
// change, a seek, another stream's progress, the clock (through
// ReferenceClock::WaitUntil, cancelled on every change).
class PresentationScheduler {
 public:
  // How far one stream may run ahead of another while free-running.
  static constexpr ReferenceTime kMaxLead = 3000000;  // 0.3 s
  // A sample counts as ending at most this long after its start. A long
  // sample lets the other streams run on over all of its time: the capture
  // makes the output frames of a picture that lasts seconds (a slide show,
  // a source of one picture every few seconds) only once it holds the sound
  // of all of them. Up to 5 s of sound fits the capture's buffer in every
  // format it takes.
  static constexpr ReferenceTime kLongestSample = 50000000;  // 5 s

  // `on_complete` runs (on a streaming thread, no lock held) once per
  // segment, when every stream has ended while the graph runs.
  explicit PresentationScheduler(std::function<void()> on_complete);

  // --- The graph's control side. ---

  // The clock samples are timed against. Change it only while stopped.
  void SetClock(std::shared_ptr<ReferenceClock> clock);
  std::shared_ptr<ReferenceClock> clock() const;

  // A streaming run starts in `state` (paused or running) with no streams;
  // renderers then add theirs. Segment time 0 is due now when running.
  void BeginSegment(GraphState state);
  // One more stream to schedule; returns its number.
  int AddStream();
  // Releases every wait with kFlushed; the streaming threads then leave.
  void EndSegment();
  // Paused <-> running while streaming, or stopped after EndSegment (which
  // forgets the segment's streams).
  void SetState(GraphState state);
  // Forgets the streams of the last segment; no streaming thread may run.
  void ClearStreams();
  GraphState state() const;

  void SetFreeRunning(bool free_running);
  bool free_running() const;

  // Segment time (100-ns units) of the latest sample any stream rendered,
  // or of the latest end when streams ended. 0 before the first.
  ReferenceTime Position() const;
  // Whether every stream of the segment ended (false with no streams).
  bool AllEnded() const;

  // --- The streaming threads' side. ---

  // A decoder is about to send a sample of `start` to `stop` down `stream`.
  // While the graph runs free, waits until no other stream lags more than
  // kMaxLead behind it; otherwise returns at once. kFlushed when the stream
  // is stopping.
  Release WaitForTurn(int stream, ReferenceTime start, ReferenceTime stop);

  // A sample starting at `start` reached the renderer of `stream`. Returns
  // when it is to be rendered, or kFlushed. While the graph is paused the
  // sample is held; `on_preroll` (may be empty) then runs once, without the
  // lock, so that a video renderer can show the held picture.
  Release WaitForSample(int stream, ReferenceTime start, const std::function<void()>& on_preroll);
  // The stream reached its end, its last sample stopping at `end`. Waits
  // like a sample at `end`, marks the stream ended and, when it was the last
  // one, reports completion.
  void EndOfStream(int stream, ReferenceTime end);

 private:
  struct Stream {
    bool arrived = false;          // a sample entered the graph
    ReferenceTime arrival = 0;     // start of the latest one that did
    ReferenceTime arrival_end = 0; // its end, at most kLongestSample after it
    ReferenceTime position = 0;    // start of the latest one rendered, or the end
    bool ended = false;
  };

  // Wakes every waiter: cancels clock waits and notifies the condition.
  void WakeAllLocked() OVC_REQUIRES(mutex_);
  bool MustWaitForOthersLocked(int stream, ReferenceTime start) const OVC_REQUIRES(mutex_);
  ReferenceTime PositionLocked() const OVC_REQUIRES(mutex_);
  // The common wait of WaitForSample and EndOfStream; releases the lock
  // while it runs `on_preroll` and while it waits on the clock.
  Release WaitLocked(ReferenceTime start, const std::function<void()>& on_preroll)
      OVC_REQUIRES(mutex_);

  const std::function<void()> on_complete_;

  mutable Mutex mutex_;
  CondVar changed_;
  std::shared_ptr<ReferenceClock> clock_ OVC_GUARDED_BY(mutex_);
  GraphState state_ OVC_GUARDED_BY(mutex_) = GraphState::kStopped;
  bool streaming_ OVC_GUARDED_BY(mutex_) = false;
  bool free_running_ OVC_GUARDED_BY(mutex_) = false;
  // Clock time of segment time 0 while running.
  ReferenceTime base_time_ OVC_GUARDED_BY(mutex_) = 0;
  // Segment time at which the graph paused.
  ReferenceTime paused_time_ OVC_GUARDED_BY(mutex_) = 0;
  std::vector<Stream> streams_ OVC_GUARDED_BY(mutex_);
  bool complete_reported_ OVC_GUARDED_BY(mutex_) = false;
  std::stop_source wake_clock_waits_ OVC_GUARDED_BY(mutex_);
};

}  // namespace ovc::media
