#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "common/mutex.h"
#include "engine/playback/capture_host.h"
#include "engine/playback/capture_state.h"
#include "engine/playback/crop_rect.h"
#include "engine/playback/picture_fit.h"
#include "engine/playback/recording_target.h"
#include "engine/playback/source_audio.h"
#include "engine/playback/still_picture.h"
#include "engine/record/output_config.h"
#include "platform/media/media_types.h"

namespace ovc {

class RecordingClock;

// The factor by which the capture scales the audio at a volume level: 5
// leaves it unchanged, each level above multiplies by 1.65, below 5 the
// factor is level × 0.2 (0 is silence).
double VolumeFactor(int level);

// A picture may cover up to this long (seconds) of the output: see
// PictureSpan.
inline constexpr double kLongestPicture = 5.0;

// How long (seconds) a picture covers on the output frame grid, from its
// declared duration (stop less start; 0 or less when the sample has none),
// the frame time the capture estimated for it and whether the stream's type
// declared a plausible frame rate. In a slow stream (a slide show, one
// picture every few seconds: its type declares no plausible frame time) a
// picture that lasts longer than any plausible frame covers its whole
// declared time, up to kLongestPicture: its output frames repeat it until
// the next picture. In a stream of a plausible rate such a picture stands
// before a hole (pictures cut out or lost; some containers stretch the
// picture before it over the hole), which the grid jumps across instead.
// Otherwise the estimate holds, which evens out the jitter of the time
// stamps.
double PictureSpan(double declared_seconds, double frame_time, bool rate_plausible);

// The sound a source without any gets: silence in this format, which the
// writers then bring to the profile's rate and channels.
inline constexpr int kSilentTrackRate = 44100;  // Hz
inline constexpr int kSilentTrackChannels = 2;

// Sound that runs on past the end of the last picture by no more than this
// (seconds) gets no output frame of its own: the rounding of the two
// streams' ends, not a sound that outlasts the picture.
inline constexpr double kHeldFrameSlack = 0.025;

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
// the capture lock; their waits for the other stream release it. The other
// members are for the user interface thread. The output settings belong to
// that thread: the stage works from its own copy (SetOutput), and what it
// measures about the source's sound comes back through source_audio_format().
class CaptureStage {
 public:
  // The media type a grabber's input pin is connected with; false when it
  // is not connected.
  using ConnectedTypeQuery = std::function<bool(media::MediaType*)>;

  // Upper bounds of the waits that let the other stream catch up.
  // `for_video`: audio far ahead of the video waits this long at most, or
  // until the next picture. `for_audio`: a picture whose output frames need
  // audio that has not arrived yet waits until it has, for as long as the
  // audio keeps coming (this long at most between two audio blocks); 8-bit
  // audio lagging by much waits this long at most, or until the next block.
  struct Waits {
    std::chrono::milliseconds for_video{300};
    std::chrono::milliseconds for_audio{400};
  };

  // None of the pointers is owned; all must outlive the stage.
  CaptureStage(RecordingClock* clock, RecordingTarget* target, CaptureHost* host);
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
  // these when it is built). Never waits for the capture lock.
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

  // The grabbers' end-of-stream notifications, on the streaming threads.
  // While a conversion runs, output frames after the end of the sound get
  // silence (the pictures no longer wait for it), and the sound after the
  // last picture gets output frames that repeat that picture, so that the
  // output lasts as long as the longer stream.
  void OnVideoEnd();
  void OnAudioEnd();

  // Whether the source has sound. A source without it is converted with a
  // silent track: its audio is taken as kSilentTrackRate Hz and
  // kSilentTrackChannels channels of silence (source_audio_format() says
  // so from this call on), and its pictures keep their own
  // timing. Set while the graph is built, before it runs; a new source
  // (ResetForNewSource) counts as having sound until told otherwise.
  void SetSourceHasSound(bool has_sound);
  bool source_has_sound() const { return source_has_sound_.load(); }
  // The source's sound format as last adopted (or the silent track's). A
  // recording's output takes it when it opens. Never waits for the capture
  // lock.
  SourceAudioFormat source_audio_format() const { return source_audio_.Get(); }

  // Adopt the type the sample carries, or with none the grabber's connected
  // type. 1 when a type was adopted, 0 when there was none. Without a
  // sample (the graph builder on the user interface thread) it never waits:
  // while a callback holds the capture lock the next callback adopts the
  // connected type before its own work, and the result is 0.
  int AdoptVideoType(const media::MediaSample* sample);
  int AdoptAudioType(const media::MediaSample* sample);

  // Turns the sample into the output frame, a 4:2:0 picture of the output
  // size (crop, scale, bars, brightness). Without resizing the frame is the
  // sample's picture as it is, in that form. Run by OnVideoSample once for
  // every picture it writes.
  void ScaleFrame();

  // Whether the recording uses a picture shown from `start` to `stop` (the
  // times its video callback would get) that follows one shown from
  // `previous` to `after`: false only while a recording runs none of whose
  // output frames from the next one on shows it (a picture of implausible
  // duration counts as used, as the capture times it by its own estimate,
  // unless its source was declared as filmed fast, slow motion, whose
  // pictures it times by their stamps). The video decoder asks it of a
  // picture nothing else refers to before it decodes it. Any thread; never
  // waits for the capture lock.
  bool UsesPicture(media::ReferenceTime previous, media::ReferenceTime after,
                   media::ReferenceTime start, media::ReferenceTime stop) const;

  // --- The conversion workflow ---
  // The output settings the callbacks work from (frame size and rate,
  // brightness, volume, aspect, part size, pass), copied: later changes to
  // `output` reach the capture only through the next call. Set once a
  // recording's output is open, before the graph streams for it.
  void SetOutput(const OutputConfig& output);
  // The size (x and y 0) the whole input picture is shown at in the output
  // frame of SetOutput: the area its cropped part takes, grown by what the
  // crop leaves out; 0 × 0 before the input's size is known. A decoder may
  // shrink the pictures it delivers ahead by it.
  PictureArea ShownPictureSize();
  // A recording starts: the next recorded picture is its first.
  // `need_resize` false hands pictures over unchanged.
  void BeginRecording(bool need_resize);
  // Where the recording ends, in seconds of the stream's own time (which
  // starts at 0 at the position playback was last sought to): output
  // frames that would start at or after it are not handed over, and the
  // host hears of it once. Negative: no stop point (the end of the file
  // ends the recording). Set before BeginRecording.
  void SetStopTime(double seconds) { stop_time_.store(seconds); }
  // The recording stops: ends the capture's waits for the other stream for
  // the rest of this recording and returns once no callback is in the
  // middle of handing over a frame (a callback in progress finishes its
  // frame first). Blocks while a callback is held up in the recording
  // target.
  void PassCaptureLock();
  // Playback starts outside a conversion: the frame counter restarts.
  // Never waits: while a callback holds the capture lock (one held up in
  // the recording target after a stop that timed out, say) the request is
  // kept and the next callback applies it before its own work.
  void RestartFrameCounter();
  // Playback stopped: the recorded time restarts. Never waits.
  void ResetRecordedTime();
  // A new source: the audio buffer is emptied, no frame time is declared
  // and nothing is known about the source's audio. Never waits, as
  // RestartFrameCounter.
  void ResetForNewSource();

  // --- Read by the main window, without the lock ---
  double actual_frame_time() const { return times_.actual_frame_time.load(); }
  void set_actual_frame_time(double seconds) { times_.actual_frame_time.store(seconds); }
  double long_term_frame_time() const { return times_.long_term_frame_time.load(); }
  // Recorded media time: the latest recorded picture's time less the
  // recording start time, in seconds.
  double recorded_seconds() const {
    return times_.last_video_time.load() - times_.recording_start_time.load();
  }
  double pass_start_position() const { return times_.pass_start_position.load(); }
  bool first_picture_pending() const { return times_.first_picture_pending.load(); }

  // Output time the frames handed over so far cover, in seconds: recorded
  // media time up to the end of the last output frame. While a callback
  // holds the lock (a stop that timed out), recorded_seconds() instead.
  double covered_seconds();

  // --- Read by the main window and tests, under the lock ---
  // The paused still picture: the input picture last kept, as a 24-bit
  // bitmap.
  Bitmap24 StillPicture();
  // The input picture size; while a callback holds the lock, the size last
  // seen (never waits for it).
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
  // Whether a picture waits for its audio (the capture lock is free then).
  bool waiting_for_audio();

 private:
  int AdoptVideoTypeLocked(const media::MediaSample* sample) OVC_REQUIRES(capture_lock_);
  void AdoptVideoFormatLocked(const media::MediaType& type) OVC_REQUIRES(capture_lock_);
  int AdoptAudioTypeLocked(const media::MediaSample* sample) OVC_REQUIRES(capture_lock_);
  void AdoptAudioFormatLocked(const media::MediaType& type) OVC_REQUIRES(capture_lock_);
  // Takes pictures of up to `pixels` pixels, and grows the output frame to
  // the output size.
  void EnsureBuffersLocked(int64_t pixels) OVC_REQUIRES(capture_lock_);
  // Updates the frame-time estimates with one picture's duration and
  // returns the duration to use (0.042 s when implausible).
  double EstimateFrameTimeLocked(double delta, bool recording) OVC_REQUIRES(capture_lock_);
  // The recorded picture path of OnVideoSample: `t1` the picture's start
  // (a short gap closed), `start_seconds` its start as stamped, `t_end` its
  // end, `clock_start` the clock's time when the picture arrived.
  void RecordPictureLocked(double t1, double start_seconds, double t_end,
                           media::ReferenceTime clock_start) OVC_REQUIRES(capture_lock_);
  // After the last picture: hands over the output frames, each repeating
  // that picture, whose sound has arrived (up to the stop point).
  void HoldLastPictureLocked() OVC_REQUIRES(capture_lock_);
  // Keeps the frame just handed over, for HoldLastPictureLocked.
  void KeepLastFrameLocked() OVC_REQUIRES(capture_lock_);
  // Near the size limit the output goes on in a new numbered file.
  void SwitchPartIfFullLocked() OVC_REQUIRES(capture_lock_);
  // The stop point on the output grid (seconds); infinity for none.
  double StopGridLocked() const OVC_REQUIRES(capture_lock_);
  // Publishes where the output grid stands for UsesPicture (`recording`
  // false: no recording runs, every picture is used).
  void PublishDemandLocked(bool recording) OVC_REQUIRES(capture_lock_);
  // Publishes the input size for input_width()/input_height().
  void ReadInputSize();
  void ScaleFrameLocked() OVC_REQUIRES(capture_lock_);
  // Where a crop_width × crop_height region of the input picture goes in
  // the output frame: the picture keeps its display aspect (or the one the
  // user chose), centred on black when the frame's shape differs.
  PictureArea OutputAreaLocked(int crop_width, int crop_height) const OVC_REQUIRES(capture_lock_);
  // The cropped part of the input picture, in its pixels; the whole picture
  // when the crop leaves less than two pixels of width or a line of height.
  PictureArea CropRegionLocked() const OVC_REQUIRES(capture_lock_);
  // Releases the capture lock until `moved` changes, `limit` passes or the
  // recording stops.
  void WaitForOtherStreamLocked(const uint64_t& moved, std::chrono::milliseconds limit)
      OVC_REQUIRES(capture_lock_);
  // Before output frames up to `needed` seconds are handed over: while the
  // audio is known to follow the pictures but has not reached `needed`,
  // releases the capture lock until it has, the audio stops coming
  // (waits_.for_audio without a block) or the recording stops.
  void WaitForAudioLocked(double needed) OVC_REQUIRES(capture_lock_);
  // Applies the requests of the user interface thread that could not wait
  // for the capture lock; every taker of the lock calls it first.
  void ApplyRequestsLocked() OVC_REQUIRES(capture_lock_);
  // Applies the requests now when the capture lock is free.
  void ApplyRequestsIfFree();
  // The connected type query of a grabber, copied under queries_lock_.
  ConnectedTypeQuery VideoTypeQuery() OVC_EXCLUDES(queries_lock_);
  ConnectedTypeQuery AudioTypeQuery() OVC_EXCLUDES(queries_lock_);

  RecordingClock* clock_;
  RecordingTarget* target_;
  CaptureHost* host_;
  std::atomic<int> trace_level_{0};
  Waits waits_;  // set before the graph runs

  // The capture lock.
  Mutex capture_lock_;
  // Signalled whenever either stream delivered; the waits listen to it.
  CondVar stream_moved_;
  CaptureState state_ OVC_GUARDED_BY(capture_lock_);
  // The copy SetOutput made of the user interface's settings.
  OutputConfig output_ OVC_GUARDED_BY(capture_lock_);
  // Written under the capture lock (or by the user interface thread while
  // no stream runs); has a lock of its own for the readers.
  MeasuredSourceAudio source_audio_;
  CaptureTimes times_;
  CropRect crop_ OVC_GUARDED_BY(capture_lock_);
  // Taken alone, or inside the capture lock.
  Mutex queries_lock_ OVC_ACQUIRED_AFTER(capture_lock_);
  ConnectedTypeQuery video_type_query_ OVC_GUARDED_BY(queries_lock_);
  ConnectedTypeQuery audio_type_query_ OVC_GUARDED_BY(queries_lock_);
  // UsesPicture's copy of the output grid, taken as each recorded picture
  // leaves; taken alone, or inside the capture lock.
  mutable Mutex demand_lock_ OVC_ACQUIRED_AFTER(capture_lock_);
  OutputGrid demand_grid_ OVC_GUARDED_BY(demand_lock_);
  bool demand_recording_ OVC_GUARDED_BY(demand_lock_) = false;
  double demand_fast_ OVC_GUARDED_BY(demand_lock_) = 0;  // the declared fast frame time
  // Pictures and audio blocks delivered so far.
  uint64_t video_pictures_ OVC_GUARDED_BY(capture_lock_) = 0;
  uint64_t audio_blocks_ OVC_GUARDED_BY(capture_lock_) = 0;
  // Where the audio stands: the stop time (seconds) of the latest block
  // stored; -infinity when none came since the recording began.
  double audio_reached_ OVC_GUARDED_BY(capture_lock_) = -std::numeric_limits<double>::infinity();
  // Whether pictures wait for audio that has not arrived yet: true once the
  // source's audio came, false again when a wait ran out, until the audio
  // reaches `audio_stalled_at_` (seconds), the time that wait needed. So an
  // audio track that ended or has a hole costs one wait, not one per frame.
  bool audio_follows_ OVC_GUARDED_BY(capture_lock_) = false;
  double audio_stalled_at_ OVC_GUARDED_BY(capture_lock_) = -std::numeric_limits<double>::infinity();
  bool waiting_for_audio_ OVC_GUARDED_BY(capture_lock_) = false;
  // Set by PassCaptureLock; the waits end at once until the next recording.
  bool stop_waits_ OVC_GUARDED_BY(capture_lock_) = false;
  // In this recording the sound has ended (or the source has none): output
  // frames past its end get silence.
  bool sound_ended_ OVC_GUARDED_BY(capture_lock_) = false;
  // In this recording the pictures have ended: the sound after them gets
  // output frames that repeat the last one, held_frame_.
  bool pictures_ended_ OVC_GUARDED_BY(capture_lock_) = false;
  // A 4:2:0 frame of the output size (av::I420Frame), or empty.
  std::vector<uint8_t> held_frame_ OVC_GUARDED_BY(capture_lock_);
  // Where the latest recorded picture ends (seconds).
  double last_picture_end_ OVC_GUARDED_BY(capture_lock_) = -std::numeric_limits<double>::infinity();
  // Set on the user interface thread while no stream runs.
  std::atomic<bool> source_has_sound_{true};
  // A picture is handing over its output frames (between the wait for its
  // audio and its last producer call).
  bool emitting_ OVC_GUARDED_BY(capture_lock_) = false;
  // Set by the user interface thread before a recording starts.
  std::atomic<double> stop_time_{-1};
  // The stop point was reached in this recording.
  bool stop_reached_ OVC_GUARDED_BY(capture_lock_) = false;
  // Requests of the user interface thread that found the capture lock
  // taken; applied under it by the next callback (or reader).
  std::atomic<bool> restart_frame_counter_requested_{false};
  std::atomic<bool> new_source_requested_{false};
  std::atomic<bool> adopt_connected_video_requested_{false};
  std::atomic<bool> adopt_connected_audio_requested_{false};
  // The input size as last read under the lock (ReadInputSize).
  std::atomic<int> input_width_seen_{0};
  std::atomic<int> input_height_seen_{0};
  // The frame handed over for the current picture: the output frame.
  const uint8_t* frame_to_hand_over_ OVC_GUARDED_BY(capture_lock_) = nullptr;
  const uint8_t* sample_data_ OVC_GUARDED_BY(capture_lock_) = nullptr;
  // The sample's picture: its 4:2:0 planes when the decoder passed them
  // along (sample_data_ is then null), else its packed bytes. Valid during
  // the callback.
  const media::PlanarPicture* sample_planes_ OVC_GUARDED_BY(capture_lock_) = nullptr;
  // Bytes the sample's storage holds past its data; valid with sample_data_.
  int32_t sample_padding_ OVC_GUARDED_BY(capture_lock_) = 0;
  bool resize_this_picture_ OVC_GUARDED_BY(capture_lock_) = false;
};

}  // namespace ovc
