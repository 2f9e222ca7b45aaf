#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "common/mutex.h"
#include "engine/record/channel_split.h"
#include "engine/record/output_sink.h"

namespace ovc {

// Buffers the capture stage's frames and audio and feeds the output sink:
// one video frame per output frame period and, for every frame, one period's
// worth of audio, so audio and video stay interleaved and in step.
//
// With two or more processors the producer calls PushSample, which only
// copies, and two threads (video and audio) encode; on one processor the
// producer calls EncodeInline, which encodes in the caller's thread.
//
// Back-pressure: a producer that runs ahead waits for the encoders. Every
// wait is bounded by the same short periods a polling loop would use (1, 2,
// 5, 50 and 80 ms) but wakes at once when the state it waits for changes.
class EncodingEngine {
 public:
  // The frame queue holds at most kQueueFrames frames and, past
  // kMinQueueFrames, at most kQueueBytes: 80 small frames, but only 12 of
  // 1280x720, which would otherwise hold 110 MB for no gain in speed.
  static constexpr int kQueueFrames = 80;
  static constexpr int kMinQueueFrames = 8;
  static constexpr size_t kQueueBytes = 16 << 20;
  // How many frames of width × height the queue holds.
  static int QueueLimit(int width, int height);
  // Bytes every queued frame holds past its picture: what FFmpeg's pixel
  // converters may read beyond the last line.
  static constexpr size_t kFramePadding = 64;
  static constexpr int kAudioBufferBytes = 1536000;
  // The producer never passes more sample frames than this ÷ channels at once.
  static constexpr int kMaxCallSamples = 384000;

  struct Format {
    int width = 0;            // frame size; 4:2:0 frames (av::I420Frame)
    int height = 0;
    double frame_rate = 15;   // output frames per second
    int sample_rate = 44100;  // input sampling rate, Hz
    int channels = 2;         // input channels, 1..6
  };

  EncodingEngine();
  ~EncodingEngine();
  EncodingEngine(const EncodingEngine&) = delete;
  EncodingEngine& operator=(const EncodingEngine&) = delete;

  // Prepares for a file: sets the format, the sink and whether audio is
  // encoded (not in the first of two passes), and clears the queue and the
  // counters. The threads must not run.
  void Open(const Format& format, OutputSink* sink, bool audio_enabled);

  // Starts the two encoding threads and sets capture_active.
  void StartThreads();
  // Sets capture_active without threads (the inline producer).
  void StartInline();

  // The producer entries: an optional frame and the n sample frames of audio
  // that belong before it. Both copy what they keep before returning.
  void PushSample(const uint8_t* frame, const int16_t* audio, int n);
  void EncodeInline(const uint8_t* frame, const int16_t* audio, int n);

  // Clears capture_active; with threads, waits up to 2 s for both threads to
  // drain the queue and the buffered audio by themselves (the last period
  // is what is left), then tells them to stop and waits for them. Inline,
  // encodes what is left.
  void Stop();

  // Holds the encoders off between two output parts: waits until every
  // queued frame and all the buffered audio are encoded (the last period is
  // what is left, as at the end) and neither thread is encoding, then keeps
  // them idle until ResumeAfterSwitch. The producer (the only caller) is not
  // producing meanwhile. So each part holds the audio of its own frames: a
  // remainder carried into the next part would put that part's sound behind
  // its pictures.
  void HoldForSwitch();
  // Points the engine at the new part's sink, zeroes the counters and lets
  // the threads go on.
  void ResumeAfterSwitch(OutputSink* sink);

  // Drops the queued frames and audio and zeroes the counters.
  void Clear();

  // Called when the file being written can take no more pictures: a
  // frame's encode or write failed, or an audio period's did and the sink
  // says the file failed (the sink has told the user why), or FailOutput
  // was called. Called once per Open, from the thread that met
  // the failure, with no lock held; it must not call back into the engine.
  // Set while no thread runs.
  void set_failure_listener(std::function<void()> listener) { failure_listener_ = std::move(listener); }

  // Ends the writing of the current file from outside (it vanished): drops
  // what is queued, refuses everything the producer hands over from now
  // on, and tells the failure listener. The producer returns at once.
  void FailOutput();

  // Whether the current file failed (since the last Open).
  bool output_failed() const { return output_failed_.load(); }

  bool capture_active() const { return capture_active_.load(); }
  bool threads_running() const { return !threads_.empty(); }

  // Observations for progress, logs and tests.
  int video_frames() const;
  int audio_periods() const;
  int queued_frames() const;
  int queue_limit() const { return queue_limit_.load(); }
  int buffered_audio_bytes() const;
  double average_queue_length() const;

 private:
  enum class Role { kVideo, kAudio };

  void VideoThread();
  void AudioThread();

  // Period thresholds in bytes for the current format.
  int PeriodThresholdBytes() const;   // P = (R / F + 1) × C × 2
  int BacklogThresholdBytes() const;  // B = (3 / F × R + 1) × C × 2

  void ClearLocked() OVC_REQUIRES(recording_lock_);
  void AppendAudioLocked(const int16_t* audio, int n) OVC_REQUIRES(recording_lock_);
  void PushFrameLocked(const uint8_t* frame) OVC_REQUIRES(recording_lock_);
  // Cuts the next period out of the buffer into `period_pcm_`; returns its
  // sample frames.
  int TakePeriodLocked(std::vector<int16_t>* pcm) OVC_REQUIRES(recording_lock_);
  // Encodes one audio period / the first queued frame with the lock released
  // around the sink call. Return the sink's result.
  int EncodeAudioPeriodLocked(std::vector<int16_t>* pcm) OVC_REQUIRES(recording_lock_);
  int EncodeVideoFrameLocked() OVC_REQUIRES(recording_lock_);
  // Releases the lock until a change is signalled or `milliseconds` pass:
  // the producer and Stop wait on `changed_`, each encoding thread on its
  // own condition, so that a frame handed over wakes the video thread alone
  // and an encoded period the video thread and the producer, not everyone.
  void WaitLocked(int milliseconds) OVC_REQUIRES(recording_lock_);
  void WaitLocked(CondVar* wake, int milliseconds) OVC_REQUIRES(recording_lock_);
  // Wakes every waiter: for changes of state (stop, hold, failure) that any
  // of them may be waiting for.
  void WakeAll();
  bool DrainedLocked() const OVC_REQUIRES(recording_lock_);
  // Marks the output failed and tells the listener, the first time only.
  // Called without the lock.
  void ReportOutputFailure();
  // Audio waiting to be encoded: a whole period while the capture runs,
  // any sample frame left once it has ended.
  bool AudioPendingLocked() const OVC_REQUIRES(recording_lock_);
  // Encodes what the inline producer left: pending audio and queued frames.
  void DrainInline() OVC_EXCLUDES(recording_lock_);

  Format format_;
  PeriodCutter cutter_;

  mutable Mutex recording_lock_;
  CondVar changed_;
  CondVar video_wake_;
  CondVar audio_wake_;
  OutputSink* sink_ OVC_GUARDED_BY(recording_lock_) = nullptr;
  bool audio_enabled_ OVC_GUARDED_BY(recording_lock_) = true;
  std::deque<std::vector<uint8_t>> frame_queue_ OVC_GUARDED_BY(recording_lock_);
  // Frames encoded, kept for the next ones to be copied into: no allocation
  // per frame.
  static constexpr size_t kSpareFrames = 2;
  std::vector<std::vector<uint8_t>> spare_frames_ OVC_GUARDED_BY(recording_lock_);
  // A ring of kAudioBufferBytes.
  std::vector<uint8_t> audio_buffer_ OVC_GUARDED_BY(recording_lock_);
  size_t audio_head_ OVC_GUARDED_BY(recording_lock_) = 0;
  size_t audio_bytes_ OVC_GUARDED_BY(recording_lock_) = 0;
  int audio_periods_ OVC_GUARDED_BY(recording_lock_) = 0;
  int video_frames_ OVC_GUARDED_BY(recording_lock_) = 0;
  double average_queue_ OVC_GUARDED_BY(recording_lock_) = 0;
  // Sink calls in progress.
  int encoding_now_ OVC_GUARDED_BY(recording_lock_) = 0;
  // Between HoldForSwitch and ResumeAfterSwitch.
  bool holding_ OVC_GUARDED_BY(recording_lock_) = false;
  // HoldForSwitch drains the audio to its end.
  bool switching_ OVC_GUARDED_BY(recording_lock_) = false;
  bool audio_failed_ OVC_GUARDED_BY(recording_lock_) = false;
  bool video_failed_ OVC_GUARDED_BY(recording_lock_) = false;
  bool video_finished_ OVC_GUARDED_BY(recording_lock_) = false;
  bool audio_finished_ OVC_GUARDED_BY(recording_lock_) = false;
  bool stop_requested_ OVC_GUARDED_BY(recording_lock_) = false;

  std::atomic<int> queue_limit_{kQueueFrames};
  std::atomic<bool> capture_active_{false};
  std::atomic<bool> output_failed_{false};
  std::function<void()> failure_listener_;

  // Used by the inline producer only.
  std::vector<int16_t> inline_pcm_;
  std::vector<std::thread> threads_;
};

}  // namespace ovc
