// The ends of the capture's two streams: silence for output frames after the
// sound has ended (or for a source without sound), and the last picture held
// for the sound that runs on after the pictures.

#include <algorithm>
#include <limits>

#include "common/trace.h"
#include "engine/playback/capture_stage.h"
#include "platform/av/i420_frame.h"

namespace ovc {
namespace {

// As on the picture path: output frame rates the grid can follow.
constexpr double kHighestFrameRate = 1000;

}  // namespace

void CaptureStage::SetSourceHasSound(bool has_sound) {
  source_has_sound_.store(has_sound);
  if (has_sound) return;
  // The writers are set up for this format when the output opens, before
  // the recording begins.
  source_audio_.Set(SourceAudioFormat{kSilentTrackRate, kSilentTrackChannels});
}

void CaptureStage::OnVideoEnd() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  if (trace_level_ != 0) WriteTraceLine("Video stream ended");
  pictures_ended_ = true;
  HoldLastPictureLocked();
  stream_moved_.SignalAll();
}

void CaptureStage::OnAudioEnd() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  if (trace_level_ != 0) WriteTraceLine("Audio stream ended");
  sound_ended_ = true;
  HoldLastPictureLocked();
  // A picture waiting for this sound goes on with silence.
  stream_moved_.SignalAll();
}

void CaptureStage::KeepLastFrameLocked() {
  const size_t bytes = av::I420Frame{output_.width, output_.height}.bytes();
  if (frame_to_hand_over_ == nullptr || bytes == 0) {
    held_frame_.clear();
    return;
  }
  held_frame_.assign(frame_to_hand_over_, frame_to_hand_over_ + bytes);
}

double CaptureStage::StopGridLocked() const {
  const double stop_time = stop_time_.load();
  return stop_time < 0 ? std::numeric_limits<double>::infinity() : stop_time;
}

void CaptureStage::HoldLastPictureLocked() {
  if (!pictures_ended_ || !target_->recording() || times_.first_picture_pending.load() ||
      stop_reached_)
    return;
  const double rate = output_.out_frame_rate;
  const size_t frame_bytes = av::I420Frame{output_.width, output_.height}.bytes();
  if (!(rate > 0 && rate <= kHighestFrameRate) || frame_bytes == 0 ||
      held_frame_.size() != frame_bytes)
    return;
  if (audio_reached_ <= last_picture_end_ + kHeldFrameSlack) return;
  OutputGrid& grid = state_.grid;
  grid.SetRate(rate);
  const double period = grid.period();
  const double stop_grid = StopGridLocked();
  // While the sound comes, a frame once all its sound has arrived; once it
  // has ended, up to the frame nearest to its end.
  const double sound_end = sound_ended_ ? audio_reached_ + period / 2 : audio_reached_;
  bool emitted = false;
  while (grid.FramesEndingBy(sound_end, std::numeric_limits<double>::infinity()) > 0) {
    const double next = grid.next();
    if (grid.Reached(stop_grid)) {
      stop_reached_ = true;
      TracePrintf("Stop point reached: %.4f", stop_time_.load());
      host_->StopPointReached();
      break;
    }
    if (trace_level_ >= 20) TracePrintf("Hold the last picture: %.4f", next);
    // Under the capture lock, as on the picture path.
    state_.audio.EmitFrame(next, period, held_frame_.data(), target_, trace_level_);
    times_.last_video_time.store(next);
    if (state_.picture_counter++ % 20 == 0) host_->PostProgress();
    grid.Advance(1);
    emitted = true;
  }
  if (emitted) SwitchPartIfFullLocked();
}

}  // namespace ovc
