#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "engine/playback/capture_host.h"
#include "engine/playback/capture_state.h"
#include "engine/playback/crop_rect.h"
#include "engine/playback/recording_target.h"
#include "engine/playback/still_picture.h"
#include "engine/record/output_config.h"
#include "platform/media/media_types.h"

namespace ovc {

class RecordingClock;

// The factor by which the capture scales the audio at a volume level: 5
// leaves it unchanged, each level above multiplies by 1.65, below 5 the
// factor is level × 0.2 (0 is silence).
double VolumeFactor(int level);

// The capture stage: the two grabber callbacks of the playback graph.
//
// OnVideoSample learns the picture format, estimates the input frame
// duration and, while a conversion runs, crops and scales each picture to
// the output size, places it on the output frame grid of out_frame_rate
// (dropping or repeating pictures), hands every output frame with its audio
// to the recording target, switches output parts at the size limit and
// paces the graph through the recording clock. OnAudioSample keeps the
// audio, scaled by the volume, in the time-stamped capture audio buffer.
//
// Threads: OnVideoSample runs on the graph's video streaming thread and
// OnAudioSample on its audio streaming thread, each for its whole run under
// the capture lock; their two waits release it. The other members are for
// the user interface thread.
class CaptureStage {
 public:
  // The media type a grabber's input pin is connected with; false when it
  // is not connected.
  using ConnectedTypeQuery = std::function<bool(media::MediaType*)>;

  // Upper bounds of the two waits that let the other stream catch up. Each
  // ends as soon as the other stream delivers.
  struct Waits {
    std::chrono::milliseconds for_video{300};  // audio far ahead of the video
    std::chrono::milliseconds for_audio{400};  // 8-bit audio lagging behind
  };

  // None of the pointers is owned; all must outlive the stage.
  CaptureStage(OutputConfig* output, RecordingClock* clock, RecordingTarget* target,
               CaptureHost* host);
  CaptureStage(const CaptureStage&) = delete;
  CaptureStage& operator=(const CaptureStage&) = delete;

  // --- Set-up ---
  // The setting "dbg": non-zero adds trace lines, 20 and above per-sample
  // lines.
  void set_trace_level(int level) { trace_level_.store(level); }
  int trace_level() const { return trace_level_.load(); }
  void set_crop(const CropRect& crop);
  void set_waits(const Waits& waits) { waits_ = waits; }
  // How to ask the grabbers for their connected types (the graph installs
  // these when it is built).
  void SetConnectedTypeQueries(ConnectedTypeQuery video, ConnectedTypeQuery audio);

  // --- The grabber callbacks ---
  // `start` and `stop` point to the sample's times in 100-ns units (null
  // counts as 0); `reserved` is ignored; `type_changed` is non-zero when the
  // grabber saw a new media type. Returns the grabber's flag: 1 while converting on
  // every fourth picture (plain format: the first after a start and then
  // every fourth; extended format: the other three of four), else 0.
  int32_t OnVideoSample(const media::MediaSample& sample, const media::ReferenceTime* start,
                        const media::ReferenceTime* stop, int32_t reserved, int32_t type_changed);
  // Same arguments; always returns 0.
  int32_t OnAudioSample(const media::MediaSample& sample, const media::ReferenceTime* start,
                        const media::ReferenceTime* stop, int32_t reserved, int32_t type_changed);
  // The two callbacks in the form the grabbers install.
  media::GrabberCallback VideoCallback();
  media::GrabberCallback AudioCallback();

  // Adopt the type the sample carries, or with none the grabber's connected
  // type. 1 when a type was adopted, 0 when there was none.
  int AdoptVideoType(const media::MediaSample* sample);
  int AdoptAudioType(const media::MediaSample* sample);

  // Turns the input planes into the output frame (crop, scale, brightness,
  // join). Without resizing the output frame is the sample itself. Run by
  // OnVideoSample once for every picture it writes.
  void ScaleFrame();

  // --- The conversion workflow ---
  // A recording starts: the next recorded picture is its first.
  // `need_resize` false hands pictures over unchanged.
  void BeginRecording(bool need_resize);
  // Takes and releases the capture lock once, so that a callback in
  // progress has finished its frame.
  void PassCaptureLock();
  // Playback starts outside a conversion: the frame counter restarts.
  void RestartFrameCounter();
  // Playback stopped: the recorded time restarts.
  void ResetRecordedTime();
  // A new source: the audio buffer is emptied and no frame time is
  // declared.
  void ResetForNewSource();

  // --- Read by the main window, without the lock ---
  double actual_frame_time() const { return state_.actual_frame_time.load(); }
  void set_actual_frame_time(double seconds) { state_.actual_frame_time.store(seconds); }
  double long_term_frame_time() const { return state_.long_term_frame_time.load(); }
  // Recorded media time: the latest recorded picture's time less the
  // recording start time, in seconds.
  double recorded_seconds() const {
    return state_.last_video_time.load() - state_.recording_start_time.load();
  }
  double pass_start_position() const { return state_.pass_start_position.load(); }
  bool first_picture_pending() const { return state_.first_picture_pending.load(); }

  // --- Read by the main window and tests, under the lock ---
  // The paused still picture: the current input planes as a 24-bit bitmap.
  Bitmap24 StillPicture();
  int input_width();
  int input_height();
  int audio_rate();
  int audio_channels();
  int64_t audio_fill();
  int64_t audio_borrow();
  double audio_start_time();
  int frame_counter();
  int slowdown();
  double next_output_time();

 private:
  int AdoptVideoTypeLocked(const media::MediaSample* sample);
  void AdoptVideoFormatLocked(const media::MediaType& type);
  int AdoptAudioTypeLocked(const media::MediaSample* sample);
  void AdoptAudioFormatLocked(const media::MediaType& type);
  // Grows the seven picture buffers to hold `pixels` pixels each.
  void EnsureBuffersLocked(int64_t pixels);
  // Updates the frame-time estimates with one picture's duration and
  // returns the duration to use (0.042 s when implausible).
  double EstimateFrameTimeLocked(double delta, bool recording);
  // The recorded picture path of OnVideoSample: `t1` the picture's start
  // (a short gap closed), `start_seconds` its start as stamped, `t_end` its
  // end, `clock_start` the clock's time when the picture arrived.
  void RecordPictureLocked(std::unique_lock<std::mutex>& lock, double t1, double start_seconds,
                           double t_end, media::ReferenceTime clock_start);
  void ScaleFrameLocked();
  // Releases the capture lock until `moved` changes or `limit` passes.
  void WaitForOtherStreamLocked(std::unique_lock<std::mutex>& lock, const uint64_t& moved,
                                std::chrono::milliseconds limit);

  OutputConfig* output_;
  RecordingClock* clock_;
  RecordingTarget* target_;
  CaptureHost* host_;
  std::atomic<int> trace_level_{0};
  Waits waits_;  // set before the graph runs

  // The capture lock.
  std::mutex capture_lock_;
  // Signalled whenever either stream delivered; the waits listen to it.
  std::condition_variable stream_moved_;
  // Guarded by capture_lock_.
  CaptureState state_;
  CropRect crop_;
  ConnectedTypeQuery video_type_query_;
  ConnectedTypeQuery audio_type_query_;
  uint64_t video_pictures_ = 0;  // pictures delivered so far
  uint64_t audio_blocks_ = 0;    // audio blocks delivered so far
  // The frame handed over for the current picture: the output frame, or the
  // sample itself when nothing needs resizing.
  const uint8_t* frame_to_hand_over_ = nullptr;
  const uint8_t* sample_data_ = nullptr;
  bool resize_this_picture_ = false;
};

}  // namespace ovc
