#include "engine/record/encoding_engine.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "common/trace.h"
#include "platform/av/i420_frame.h"

namespace ovc {
namespace {

// How long Stop waits for the encoding threads to encode anything more of
// what is queued before it tells them to stop.
constexpr std::chrono::seconds kStopWithoutProgress(2);

}  // namespace

EncodingEngine::EncodingEngine() : audio_buffer_(kAudioBufferBytes) {}

EncodingEngine::~EncodingEngine() { Stop(); }

void EncodingEngine::Open(const Format& format, OutputSink* sink, bool audio_enabled) {
  MutexLock lock(&recording_lock_);
  format_ = format;
  queue_limit_ = QueueLimit(format.width, format.height);
  sink_ = sink;
  audio_enabled_ = audio_enabled;
  ClearLocked();
  audio_failed_ = video_failed_ = false;
  audio_finished_ = video_finished_ = false;
  stop_requested_ = false;
  holding_ = false;
  switching_ = false;
  output_failed_ = false;
}

int EncodingEngine::QueueLimit(int width, int height) {
  const size_t frame_bytes = av::I420Frame{std::max(width, 1), std::max(height, 1)}.bytes();
  const size_t fit = kQueueBytes / frame_bytes;
  return static_cast<int>(std::clamp<size_t>(fit, kMinQueueFrames, kQueueFrames));
}

void EncodingEngine::Clear() {
  MutexLock lock(&recording_lock_);
  ClearLocked();
}

void EncodingEngine::ClearLocked() {
  frame_queue_.clear();
  audio_head_ = 0;
  audio_bytes_ = 0;
  audio_periods_ = 0;
  video_frames_ = 0;
  cutter_.Reset();
}

void EncodingEngine::StartThreads() {
  capture_active_ = true;
  threads_.emplace_back(&EncodingEngine::VideoThread, this);
  threads_.emplace_back(&EncodingEngine::AudioThread, this);
}

void EncodingEngine::StartInline() { capture_active_ = true; }

int EncodingEngine::PeriodThresholdBytes() const {
  return static_cast<int>((SamplesPerFrame(format_.sample_rate, format_.frame_rate) + 1) *
                          format_.channels * 2);
}

int EncodingEngine::BacklogThresholdBytes() const {
  return static_cast<int>((3 * SamplesPerFrame(format_.sample_rate, format_.frame_rate) + 1) *
                          format_.channels * 2);
}

void EncodingEngine::WaitLocked(int milliseconds) { WaitLocked(&changed_, milliseconds); }

void EncodingEngine::WaitLocked(CondVar* wake, int milliseconds) {
  wake->WaitFor(&recording_lock_, std::chrono::milliseconds(milliseconds));
}

void EncodingEngine::WakeAll() {
  changed_.SignalAll();
  video_wake_.Signal();
  audio_wake_.Signal();
}

void EncodingEngine::AppendAudioLocked(const int16_t* audio, int n) {
  size_t bytes = static_cast<size_t>(n) * format_.channels * 2;
  size_t room = audio_buffer_.size() - audio_bytes_;
  if (bytes > room) {
    TracePrintf("Audio buffer full: %zu of %zu bytes dropped", bytes - room, bytes);
    bytes = room;
  }
  const uint8_t* source = reinterpret_cast<const uint8_t*>(audio);
  size_t tail = (audio_head_ + audio_bytes_) % audio_buffer_.size();
  size_t first = std::min(bytes, audio_buffer_.size() - tail);
  std::memcpy(audio_buffer_.data() + tail, source, first);
  std::memcpy(audio_buffer_.data(), source + first, bytes - first);
  audio_bytes_ += bytes;
}

void EncodingEngine::PushFrameLocked(const uint8_t* frame) {
  if (static_cast<int>(frame_queue_.size()) < queue_limit_.load()) {
    const size_t size = av::I420Frame{format_.width, format_.height}.bytes();
    // The encoders' converters read whole vectors past the last line.
    std::vector<uint8_t>& queued = frame_queue_.emplace_back();
    if (!spare_frames_.empty()) {
      queued.swap(spare_frames_.back());
      spare_frames_.pop_back();
    }
    queued.resize(size + kFramePadding);
    std::copy_n(frame, size, queued.data());
  }
  average_queue_ = average_queue_ * 0.99 + static_cast<double>(frame_queue_.size()) * 0.01;
}

int EncodingEngine::TakePeriodLocked(std::vector<int16_t>* pcm) {
  int frame_bytes = format_.channels * 2;
  int n = cutter_.Next(format_.sample_rate, format_.frame_rate);
  n = std::min<int>(n, static_cast<int>(audio_bytes_ / frame_bytes));
  size_t bytes = static_cast<size_t>(n) * frame_bytes;
  pcm->resize(static_cast<size_t>(n) * format_.channels);
  uint8_t* out = reinterpret_cast<uint8_t*>(pcm->data());
  size_t first = std::min(bytes, audio_buffer_.size() - audio_head_);
  std::memcpy(out, audio_buffer_.data() + audio_head_, first);
  std::memcpy(out + first, audio_buffer_.data(), bytes - first);
  audio_head_ = (audio_head_ + bytes) % audio_buffer_.size();
  audio_bytes_ -= bytes;
  return n;
}

int EncodingEngine::EncodeAudioPeriodLocked(std::vector<int16_t>* pcm) {
  ++audio_periods_;
  int period = audio_periods_;
  int n = TakePeriodLocked(pcm);
  OutputSink* sink = sink_;
  ++encoding_now_;
  recording_lock_.Unlock();
  changed_.SignalAll();  // room in the buffer
  video_wake_.Signal();  // the pictures may have waited for this period
  int result = sink ? sink->EncodeAudioPeriod(pcm->data(), n, period) : 0;
  // A file that failed under the sound takes no pictures either.
  if (result < 0 && sink->FileFailed()) ReportOutputFailure();
  recording_lock_.Lock();
  --encoding_now_;
  if (result < 0) {
    // The sink has reported the failure; drop the audio from now on so
    // that nobody waits for it.
    audio_failed_ = true;
    audio_head_ = 0;
    audio_bytes_ = 0;
  }
  changed_.SignalAll();
  if (result < 0) video_wake_.Signal();
  return result;
}

int EncodingEngine::EncodeVideoFrameLocked() {
  std::vector<uint8_t> frame = std::move(frame_queue_.front());
  frame_queue_.pop_front();
  ++video_frames_;
  int number = video_frames_;
  OutputSink* sink = sink_;
  ++encoding_now_;
  recording_lock_.Unlock();
  changed_.SignalAll();  // room in the queue
  audio_wake_.Signal();  // the sound may have waited for this picture
  int result = sink ? sink->EncodeVideoFrame(frame.data(), number) : 0;
  // Without its pictures the file is over: whatever the capture still
  // hands over would be dropped, so the conversion must end now.
  if (result < 0) ReportOutputFailure();
  recording_lock_.Lock();
  --encoding_now_;
  if (spare_frames_.size() < kSpareFrames) spare_frames_.push_back(std::move(frame));
  if (result < 0) {
    video_failed_ = true;
    frame_queue_.clear();
  }
  changed_.SignalAll();
  if (result < 0) audio_wake_.Signal();
  return result;
}

void EncodingEngine::ReportOutputFailure() {
  if (output_failed_.exchange(true)) return;
  WriteTraceLine("Output failed: the conversion ends");
  if (failure_listener_) failure_listener_();
}

void EncodingEngine::FailOutput() {
  {
    MutexLock lock(&recording_lock_);
    video_failed_ = true;
    audio_failed_ = true;
    frame_queue_.clear();
    audio_head_ = 0;
    audio_bytes_ = 0;
  }
  WakeAll();
  ReportOutputFailure();
}

void EncodingEngine::PushSample(const uint8_t* frame, const int16_t* audio, int n) {
  MutexLock lock(&recording_lock_);
  const int backlog = BacklogThresholdBytes();
  while (frame_queue_.size() >= 3 && static_cast<int>(audio_bytes_) > backlog && !audio_failed_ &&
         !video_failed_)
    WaitLocked(1);

  bool sound = false;
  if (audio_enabled_ && !audio_failed_ && n > 0) {
    size_t bytes = static_cast<size_t>(n) * format_.channels * 2;
    while (audio_bytes_ + bytes > audio_buffer_.size() && bytes <= audio_buffer_.size() &&
           !audio_failed_ && !stop_requested_)
      WaitLocked(80);
    if (!audio_failed_) AppendAudioLocked(audio, n);
    sound = true;
  }

  bool picture = false;
  if (frame) {
    while (!video_failed_ && !stop_requested_ &&
           (static_cast<int>(frame_queue_.size()) >= queue_limit_.load() ||
            (video_frames_ < audio_periods_ && frame_queue_.size() >= 5)))
      WaitLocked(50);
    if (!video_failed_) PushFrameLocked(frame);
    picture = true;
  }
  lock.Unlock();
  if (picture) video_wake_.Signal();
  if (sound) audio_wake_.Signal();
}

void EncodingEngine::EncodeInline(const uint8_t* frame, const int16_t* audio, int n) {
  MutexLock lock(&recording_lock_);
  const bool with_audio = audio_enabled_ && !audio_failed_;
  const int period_bytes = PeriodThresholdBytes();
  if (with_audio && n > 0) {
    // Make room by encoding whole periods before anything is dropped.
    size_t bytes = static_cast<size_t>(n) * format_.channels * 2;
    while (audio_bytes_ + bytes > audio_buffer_.size() &&
           static_cast<int>(audio_bytes_) >= period_bytes && !audio_failed_)
      EncodeAudioPeriodLocked(&inline_pcm_);
    if (!audio_failed_) AppendAudioLocked(audio, n);
  }
  if (frame && !video_failed_) PushFrameLocked(frame);

  for (;;) {
    if (audio_enabled_ && !audio_failed_) {
      if (static_cast<int>(audio_bytes_) < period_bytes) return;
      EncodeAudioPeriodLocked(&inline_pcm_);
    }
    if (frame_queue_.empty() || video_failed_) return;
    EncodeVideoFrameLocked();
    if (frame_queue_.empty()) return;
  }
}

void EncodingEngine::VideoThread() {
  pthread_setname_np(pthread_self(), "ovc-enc-video");
  MutexLock lock(&recording_lock_);
  while ((capture_active_ || !frame_queue_.empty()) && !stop_requested_) {
    if (holding_ || frame_queue_.empty() || video_failed_) {
      WaitLocked(&video_wake_, 5);
    } else if (audio_periods_ < video_frames_ && audio_enabled_ && !audio_failed_ &&
               static_cast<int>(audio_bytes_) >= BacklogThresholdBytes()) {
      WaitLocked(&video_wake_, 2);  // let the audio catch up
    } else {
      EncodeVideoFrameLocked();
    }
  }
  video_finished_ = true;
  lock.Unlock();
  changed_.SignalAll();
}

bool EncodingEngine::AudioPendingLocked() const {
  if (!audio_enabled_ || audio_failed_) return false;
  // While the capture runs, a period is cut only when a whole one (and a
  // sample frame more) is there; once it has ended, or when a part ends, the
  // last period is whatever is left, so the audio lasts exactly as long as
  // the pictures.
  if (capture_active_ && !switching_)
    return static_cast<int>(audio_bytes_) >= PeriodThresholdBytes();
  return static_cast<int>(audio_bytes_) >= format_.channels * 2;
}

void EncodingEngine::AudioThread() {
  pthread_setname_np(pthread_self(), "ovc-enc-audio");
  MutexLock lock(&recording_lock_);
  std::vector<int16_t> pcm;
  // After the capture ends the thread still encodes all the audio left in
  // the buffer, even when the video queue is already empty: up to three
  // seconds of audio may be buffered ahead of the pictures.
  while ((capture_active_ || !frame_queue_.empty() || AudioPendingLocked()) &&
         !stop_requested_) {
    if (!audio_enabled_ || audio_failed_ || holding_) {
      WaitLocked(&audio_wake_, 5);  // nothing to do; the wait releases the lock
    } else if (!AudioPendingLocked()) {
      if (!capture_active_) break;
      WaitLocked(&audio_wake_, 5);
    } else if (audio_periods_ > video_frames_ && frame_queue_.size() >= 2 && !video_failed_) {
      WaitLocked(&audio_wake_, 2);  // let the video catch up
    } else {
      EncodeAudioPeriodLocked(&pcm);
    }
  }
  audio_finished_ = true;
  lock.Unlock();
  changed_.SignalAll();
}

void EncodingEngine::Stop() {
  capture_active_ = false;
  WakeAll();
  if (threads_.empty()) {
    DrainInline();
    return;
  }
  {
    MutexLock lock(&recording_lock_);
    // Both threads end by themselves once the queue and the whole periods
    // are encoded; they are told to stop once 2 s pass with nothing more
    // encoded. A slow encoder (VP9 or AV1 at HD sizes on a busy machine)
    // may need longer than that for what is queued, which belongs in the
    // file all the same.
    int frames = video_frames_;
    int periods = audio_periods_;
    auto deadline = std::chrono::steady_clock::now() + kStopWithoutProgress;
    while (!(video_finished_ && audio_finished_)) {
      const bool signalled = changed_.WaitUntil(&recording_lock_, deadline);
      if (video_frames_ != frames || audio_periods_ != periods) {
        frames = video_frames_;
        periods = audio_periods_;
        deadline = std::chrono::steady_clock::now() + kStopWithoutProgress;
      } else if (!signalled) {
        break;
      }
    }
    stop_requested_ = true;
  }
  WakeAll();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

void EncodingEngine::DrainInline() {
  // The inline producer leaves frames queued while it waits for their audio;
  // at the end they are encoded with whatever whole periods are left.
  MutexLock lock(&recording_lock_);
  std::vector<int16_t> pcm;
  for (;;) {
    bool audio = AudioPendingLocked();
    bool video = !frame_queue_.empty() && !video_failed_;
    if (!audio && !video) return;
    if (audio) EncodeAudioPeriodLocked(&pcm);
    if (video) EncodeVideoFrameLocked();
  }
}

bool EncodingEngine::DrainedLocked() const {
  bool video_pending = !frame_queue_.empty() && !video_failed_;
  return encoding_now_ == 0 && !AudioPendingLocked() && !video_pending;
}

void EncodingEngine::HoldForSwitch() {
  MutexLock lock(&recording_lock_);
  switching_ = true;
  if (threads_.empty()) {
    lock.Unlock();
    DrainInline();
    lock.Lock();
  } else {
    WakeAll();
    while (!DrainedLocked() && !stop_requested_ && !(video_finished_ && audio_finished_))
      WaitLocked(5);
  }
  switching_ = false;
  holding_ = true;
}

void EncodingEngine::ResumeAfterSwitch(OutputSink* sink) {
  {
    MutexLock lock(&recording_lock_);
    sink_ = sink;
    frame_queue_.clear();
    audio_periods_ = 0;
    video_frames_ = 0;
    cutter_.Reset();
    audio_failed_ = video_failed_ = false;
    holding_ = false;
  }
  WakeAll();
}

int EncodingEngine::video_frames() const {
  MutexLock lock(&recording_lock_);
  return video_frames_;
}

int EncodingEngine::audio_periods() const {
  MutexLock lock(&recording_lock_);
  return audio_periods_;
}

int EncodingEngine::queued_frames() const {
  MutexLock lock(&recording_lock_);
  return static_cast<int>(frame_queue_.size());
}

int EncodingEngine::buffered_audio_bytes() const {
  MutexLock lock(&recording_lock_);
  return static_cast<int>(audio_bytes_);
}

double EncodingEngine::average_queue_length() const {
  MutexLock lock(&recording_lock_);
  return average_queue_;
}

}  // namespace ovc
