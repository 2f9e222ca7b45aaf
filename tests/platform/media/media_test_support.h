#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/media/audio_sink.h"
#include "platform/media/filter_graph.h"
#include "platform/media/grabber_filter.h"
#include "platform/media/reference_clock.h"
#include "platform/media/video_surface.h"

namespace ovc::media::test {

// How long a test waits for something the graph's threads must do before
// it calls that a failure. Generous: no passing test ever waits this long.
inline constexpr std::chrono::seconds kDeadline{30};

// A reference clock that moves only when the test moves it.
class FakeClock final : public ReferenceClock {
 public:
  explicit FakeClock(ReferenceTime now = 0) : now_(now) {}

  ReferenceTime GetTime() override;
  bool WaitUntil(ReferenceTime time, std::stop_token cancel) override;

  void Set(ReferenceTime now);
  // Waits until a thread is blocked waiting for exactly `time`.
  bool WaitForWaiter(ReferenceTime time);
  // Waits until exactly `count` threads are blocked waiting.
  bool WaitForBlockedCount(size_t count);
  // The times threads are blocked waiting for.
  std::vector<ReferenceTime> blocked() const;
  // Every WaitUntil call so far.
  int wait_calls() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  ReferenceTime now_;                      // Guarded by mutex_.
  std::multiset<ReferenceTime> blocked_;   // Guarded by mutex_.
  int wait_calls_ = 0;                     // Guarded by mutex_.
};

// What a video grabber callback saw of one picture.
struct VideoRecord {
  int frame_number = -1;
  bool flash = false;
  ReferenceTime start = 0;
  ReferenceTime stop = 0;
  int32_t length = 0;
  int32_t type_changed = 0;
  // The audio stream's latest start at the time (or INT64_MIN before any).
  ReferenceTime other_latest = INT64_MIN;
};

// What an audio grabber callback saw of one block.
struct AudioRecord {
  ReferenceTime start = 0;
  ReferenceTime stop = 0;
  int32_t length = 0;
  int64_t first_sample = 0;  // index of its first sample frame in `channel0`
  ReferenceTime other_latest = INT64_MIN;
};

// Installs recording callbacks on the grabbers and keeps what they saw.
class GrabberRecorder {
 public:
  // Either grabber may be null. The audio recorder reads channel 0 of the
  // connected format (8-bit samples are widened to 16 bits).
  GrabberRecorder(VideoGrabber* video, AudioGrabber* audio);
  // Takes the callbacks out again (a call already under way must have
  // returned: stop the graph first).
  ~GrabberRecorder();

  // Blocks the video callback of picture `index` (0-based count of pictures
  // seen) until Release is called.
  void BlockVideoAt(int index);
  void Release();
  // Waits until the video callback is blocked.
  bool WaitUntilBlocked();
  bool callback_returned_after_block() const { return returned_after_block_; }

  // Called from each video callback before it returns (test hooks).
  void OnEachVideo(std::function<void(const VideoRecord&)> hook);

  bool WaitForVideoCount(size_t count);
  bool WaitForAudioCount(size_t count);
  // Waits until a block starting at `start` or later was seen.
  bool WaitForAudioAt(ReferenceTime start);

  std::vector<VideoRecord> video() const;
  std::vector<AudioRecord> audio() const;
  std::vector<int16_t> channel0() const;
  MediaType video_type() const;
  MediaType audio_type() const;

 private:
  int32_t OnVideo(MediaSample& sample, ReferenceTime* start, ReferenceTime* stop, int32_t changed);
  int32_t OnAudio(MediaSample& sample, ReferenceTime* start, ReferenceTime* stop, int32_t changed);

  VideoGrabber* video_grabber_;
  AudioGrabber* audio_grabber_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<VideoRecord> video_;
  std::vector<AudioRecord> audio_;
  std::vector<int16_t> channel0_;
  MediaType video_type_;
  MediaType audio_type_;
  ReferenceTime latest_video_ = INT64_MIN;
  ReferenceTime latest_audio_ = INT64_MIN;
  int block_at_ = -1;
  bool blocked_ = false;
  bool released_ = false;
  std::atomic<bool> returned_after_block_{false};
  std::function<void(const VideoRecord&)> hook_;
};

// A surface that records the frame number of every picture it shows.
class RecordingSurface final : public VideoSurface {
 public:
  void Present(const VideoFrameView& frame) override;
  std::vector<int> shown() const;
  bool WaitForShown(size_t count);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> shown_;
};

// A sink that records what it is asked to play.
class RecordingSink final : public AudioSink {
 public:
  bool Open(const WaveFormat& format) override;
  void Play(const uint8_t* data, int32_t bytes) override;
  void SetVolume(double gain) override;
  void Flush() override;

  int64_t played_bytes() const;
  int play_calls() const;
  double gain() const;
  bool WaitForPlayCalls(int count);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int64_t played_bytes_ = 0;
  int play_calls_ = 0;
  double gain_ = -1;
};

// Stops a graph when it goes out of scope, also when a test fails early:
// declare it after whatever the graph's callbacks use.
class StopOnExit {
 public:
  explicit StopOnExit(FilterGraph& graph) : graph_(graph) {}
  ~StopOnExit() { graph_.Stop(); }
  StopOnExit(const StopOnExit&) = delete;
  StopOnExit& operator=(const StopOnExit&) = delete;

 private:
  FilterGraph& graph_;
};

// Waits for the next graph event; kEventComplete etc., or -1 when none came.
int32_t WaitForEvent(FilterGraph& graph);
// Events already queued, without waiting.
std::vector<int32_t> PendingEvents(FilterGraph& graph);

}  // namespace ovc::media::test
