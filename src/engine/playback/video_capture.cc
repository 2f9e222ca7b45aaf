// The video half of the capture stage: OnVideoSample and its format.

#include <algorithm>
#include <cmath>
#include <limits>
#include <cstdlib>

#include "common/trace.h"
#include "engine/playback/capture_stage.h"
#include "engine/playback/recording_clock.h"
#include "platform/av/i420_frame.h"
#include "platform/imaging/image_ops.h"

namespace ovc {
namespace {

constexpr double kSecondsPerUnit = 1e-7;  // one 100-ns unit

// Clock speeds while converting and while switching output files.
constexpr float kConvertingSpeed = 0.01f;
constexpr float kSwitchingSpeed = 0.0005f;

// Output frame rates the grid can follow.
constexpr double kHighestFrameRate = 1000;

// 8-bit audio lagging by more than this many borrowed bytes holds the video.
constexpr int64_t kAudioLagBytes = 76800;

// Width ÷ height of a picture of square pixels; 0 for an empty one.
double SizeAspect(int width, int height) {
  return width > 0 && height > 0 ? static_cast<double>(width) / height : 0;
}

// How long a picture lasts by its stamps: its declared duration (stop less
// start), or, below a hundredth of a second, the time since the picture
// before started.
double StampedDuration(double declared_seconds, double since_previous) {
  return declared_seconds >= 0.01 ? declared_seconds : since_previous;
}

}  // namespace

double PictureSpan(double declared_seconds, double frame_time, bool rate_plausible) {
  if (rate_plausible || !(declared_seconds > FrameTimeEstimator::kLongest)) return frame_time;
  return std::min(declared_seconds, kLongestPicture);
}

int CaptureStage::AdoptVideoType(const media::MediaSample* sample) {
  if (sample == nullptr) {
    if (!capture_lock_.TryLock()) {
      adopt_connected_video_requested_.store(true);
      return 0;
    }
    MutexLock lock(&capture_lock_, std::adopt_lock);
    ApplyRequestsLocked();
    return AdoptVideoTypeLocked(nullptr);
  }
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  return AdoptVideoTypeLocked(sample);
}

int CaptureStage::AdoptVideoTypeLocked(const media::MediaSample* sample) {
  media::MediaType type;
  if (sample != nullptr) {
    if (!sample->GetMediaType(&type)) return 0;
    if (trace_level_ != 0) WriteTraceLine("Input Type Changed ........");
  } else if (ConnectedTypeQuery query = VideoTypeQuery(); !query || !query(&type)) {
    return 0;
  }
  AdoptVideoFormatLocked(type);
  return 1;
}

void CaptureStage::AdoptVideoFormatLocked(const media::MediaType& type) {
  auto take_frame_time = [&](media::ReferenceTime per_frame) OVC_REQUIRES(capture_lock_) {
    double frame_time = static_cast<double>(per_frame) * kSecondsPerUnit;
    state_.frame_times.Declare(frame_time);
    times_.actual_frame_time.store(frame_time);
    times_.long_term_frame_time.store(frame_time);
    return frame_time;
  };

  bool tell_layout = false;
  if (type.format_type == media::FormatType::kVideoInfo) {
    const media::VideoInfoHeader& info = type.video;
    state_.extended_format = false;
    int width = info.bmi.width;
    int height = info.bmi.height;
    double frame_time = take_frame_time(info.avg_time_per_frame);
    if (trace_level_ != 0)
      TracePrintf("Movie resolution (input): %d %d; SRC: %dx%d; TGT:%dx%d frametime:%g\n", width,
                  height, info.source.right, info.source.bottom, info.target.right,
                  info.target.bottom, frame_time);
    if (height != 0 && (width != state_.declared_width || height != state_.declared_height)) {
      state_.declared_width = width;
      state_.declared_height = height;
      tell_layout = true;
    }
    state_.input_line_pixels = std::abs(width);
    state_.input_width = std::abs(width);
    state_.input_height = std::abs(height);
    state_.picture_aspect = SizeAspect(state_.input_width, state_.input_height);
  } else if (type.format_type == media::FormatType::kVideoInfo2) {
    const media::VideoInfoHeader2& info = type.video2;
    state_.extended_format = true;
    int width = info.bmi.width;
    int height = info.bmi.height;
    double frame_time = take_frame_time(info.avg_time_per_frame);
    int aspect_x = static_cast<int>(info.picture_aspect_x);
    int aspect_y = static_cast<int>(info.picture_aspect_y);
    TracePrintf("Movie resolution (input): %d %d; SRC: %dx%d; TGT:%dx%d; frame_time:%g;  %d:%d",
                width, height, info.source.right, info.source.bottom, info.target.right,
                info.target.bottom, frame_time, aspect_x, aspect_y);
    bool changed = aspect_x != state_.declared_width || aspect_y != state_.declared_height;
    state_.declared_width = aspect_x;
    state_.declared_height = aspect_y;
    tell_layout = aspect_y != 0 && changed;
    state_.input_line_pixels = std::abs(width);
    state_.input_width = std::abs(width);
    state_.input_height = std::abs(height);
    // The source rectangle names the part of each line that is picture; it
    // never reaches beyond the delivered picture.
    if (info.source.right > 0) {
      state_.input_width = std::min(info.source.right, std::abs(width));
      if (info.source.bottom > 0)
        state_.input_height = std::min(info.source.bottom, std::abs(height));
    }
    state_.picture_aspect = aspect_x > 0 && aspect_y > 0
                                ? static_cast<double>(aspect_x) / aspect_y
                                : SizeAspect(state_.input_width, state_.input_height);
    if ((info.interlace_flags & 1) == 0) WriteTraceLine("NOT interlaced");
    else if (info.interlace_flags == 1) WriteTraceLine("Interleaved BOB only");
    else WriteTraceLine("Interleaved ???");
  }
  // The window reads the input size when it hears of the layout, and may
  // not wait for the capture lock to do so: the size it reads is published
  // first.
  input_width_seen_.store(state_.input_width);
  input_height_seen_.store(state_.input_height);
  if (tell_layout) host_->VideoLayoutChanged(state_.declared_width, state_.declared_height);
  int64_t input_pixels = static_cast<int64_t>(state_.input_line_pixels) * state_.input_height;
  int64_t output_pixels =
      static_cast<int64_t>(std::max(output_.width, 0)) * std::max(output_.height, 0);
  EnsureBuffersLocked(std::max(input_pixels, output_pixels));
}

double CaptureStage::EstimateFrameTimeLocked(double delta, bool recording) {
  // The user interface and the audio path may have changed the pacing figure.
  FrameTimeEstimator& estimator = state_.frame_times;
  estimator.set_actual(times_.actual_frame_time.load());
  const double result = estimator.Observe(delta, recording);
  times_.actual_frame_time.store(estimator.actual());
  times_.long_term_frame_time.store(estimator.long_term());
  return result;
}

int32_t CaptureStage::OnVideoSample(const media::MediaSample& sample,
                                    const media::ReferenceTime* start_time,
                                    const media::ReferenceTime* stop_time, int32_t reserved,
                                    int32_t type_changed) {
  (void)reserved;
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  const media::ReferenceTime start = start_time ? *start_time : 0;
  const media::ReferenceTime stop = stop_time ? *stop_time : 0;
  const int32_t length = sample.length();
  if (trace_level_ >= 20) {
    WriteTraceLine("___________________");
    TracePrintf("V %8.8f - %-8.8f %s %d  delta=%.7f", start * kSecondsPerUnit,
                stop * kSecondsPerUnit, type_changed ? "CHANGE" : "", length,
                (static_cast<double>(stop) - static_cast<double>(start)) * kSecondsPerUnit);
  }
  const bool recording = target_->recording();
  if (recording) clock_->SetSpeed(kConvertingSpeed);
  if (type_changed) AdoptVideoTypeLocked(nullptr);
  AdoptVideoTypeLocked(&sample);
  const media::ReferenceTime clock_start = clock_->GetTime();

  // This picture's duration.
  const double start_seconds = start * kSecondsPerUnit;
  double t1 = start_seconds;
  const double t2 = stop * kSecondsPerUnit;
  const double declared = t2 - t1;
  double delta = StampedDuration(declared, t1 - state_.previous_start_time);
  delta = EstimateFrameTimeLocked(delta, recording);
  const double t_end = t1 + PictureSpan(declared, delta, state_.frame_times.declared_known());

  // A picture that comes later than the frame time says: a frame was lost.
  const double previous = state_.previous_start_time;
  if (recording && previous > 0) {
    double gap = t1 - previous;
    if (gap > state_.frame_times.smoothed() * 1.8 && gap > 0.038) {
      const double since = times_.recording_start_time.load();
      const double actual = times_.actual_frame_time.load();
      const int borrow = static_cast<int>(state_.audio.borrow());
      if (trace_level_ != 0)
        TracePrintf("****** Frame lost ******* at %.3f   %.3f  delta=%.4f %.4f  audio_borrow=%d",
                    previous - since, t1 - since, previous - t1, actual, borrow);
      else
        TracePrintf("  -- at %.3f   %.3f  delta=%.4f %.7f  audio_borrow=%d", previous - since,
                    t1 - since, previous - t1, actual, borrow);
      // Pictures lost. A ratio above 5, or below 0 (a negative frame time
      // declared by a hostile file), counts as none: either may lie beyond
      // what an int holds.
      double lost = gap / actual;
      if (!(lost >= 0 && lost <= 5)) lost = 0;
      state_.slowdown = static_cast<int>(lost + 21);
      TracePrintf("Slowdown: %d", state_.slowdown);
      if (actual * 3 > gap) t1 = previous + actual;  // a short gap is closed
    }
  }
  if (trace_level_ >= 20)
    TracePrintf("audio_buffer_i %d    borrow %d", static_cast<int>(state_.audio.fill()),
                static_cast<int>(state_.audio.borrow()));

  // The picture as delivered: packed YUY2, lines of input_line_pixels, or
  // the 4:2:0 planes it was made from. Where the planes serve, the packed
  // bytes are never asked for (the decoder then never makes them).
  const int width = state_.input_width;
  const int height = state_.input_height;
  const int line_pixels = state_.input_line_pixels;
  const int64_t picture_bytes = 2 * static_cast<int64_t>(line_pixels) * height;
  const media::PlanarPicture* planes = sample.planar_source();
  if (planes != nullptr && (planes->width != width || planes->height != height)) planes = nullptr;
  const bool fits = width >= 2 && height >= 1 &&
                    static_cast<int64_t>(line_pixels) * height <= state_.buffer_pixels;
  const uint8_t* packed = fits && planes == nullptr ? sample.data() : nullptr;
  const bool usable =
      fits && (planes != nullptr || (packed != nullptr && length >= picture_bytes));
  if (!usable && recording && width > 0)
    TracePrintf("Video sample too short: %d bytes for %dx%d", length, width, height);
  sample_data_ = packed;
  sample_planes_ = planes;
  sample_padding_ = sample.padding();
  // A picture that is not exactly the output frame is always scaled, so
  // that the recording never reads beyond the sample.
  // So is one that keeps its shape inside the frame with bars.
  resize_this_picture_ = state_.need_resize || width != output_.width ||
                         height != output_.height || line_pixels != width ||
                         (recording && !(OutputAreaLocked(width, height) ==
                                         PictureArea{0, 0, output_.width, output_.height}));
  // The still picture keeps the input picture; while recording, only now
  // and then.
  const int counter = state_.frame_counter;
  if (usable && (!recording || counter < 0 || counter % 4 == 0)) {
    if (planes != nullptr) state_.still.KeepPlanes(*planes, width, height);
    else state_.still.KeepYuy2(packed, 2 * line_pixels, width, height);
  }

  if (recording && usable) {
    // The output size may have changed since the buffers were sized.
    const int64_t output_pixels =
        static_cast<int64_t>(std::max(output_.width, 0)) * std::max(output_.height, 0);
    EnsureBuffersLocked(output_pixels);
    const double rate = output_.out_frame_rate;
    // A frame the output frame could not grow to (no memory) is not taken.
    const bool output_usable =
        output_.width >= 2 && output_.height >= 1 && output_pixels <= state_.buffer_pixels &&
        av::I420Frame{output_.width, output_.height}.bytes() + kScalerSlack <=
            state_.output_frame.size() &&
        rate > 0 && rate <= kHighestFrameRate;
    if (output_usable) RecordPictureLocked(t1, start_seconds, t_end, clock_start);
  }
  sample_data_ = nullptr;
  sample_planes_ = nullptr;
  sample_padding_ = 0;

  state_.previous_start_time = start_seconds;
  if (recording) clock_->SetSpeed(kConvertingSpeed);
  if (trace_level_ >= 20) WriteTraceLine("^");
  ++video_pictures_;
  stream_moved_.SignalAll();
  const int now = ++state_.frame_counter;
  if (!recording) return 0;
  if (state_.extended_format) return now >= 0 && now % 4 != 0 ? 1 : 0;
  return now < 0 || now % 4 == 0 ? 1 : 0;
}

bool CaptureStage::UsesPicture(media::ReferenceTime previous, media::ReferenceTime after,
                               media::ReferenceTime start, media::ReferenceTime stop) const {
  // In seconds as OnVideoSample takes them.
  const double start_seconds = start * kSecondsPerUnit;
  double end = stop * kSecondsPerUnit;
  double from = after * kSecondsPerUnit;
  MutexLock lock(&demand_lock_);
  if (!FrameTimeEstimator::Plausible(end - start_seconds)) {
    // A picture of a source filmed fast (slow motion) lasts, for the
    // capture, its stamped duration as OnVideoSample takes it; any other
    // short picture is timed by an estimate, and counts as used. The picture
    // before may have been taken to end before `after` by as much as two
    // pictures' tolerance (containers round stamps).
    const double taken =
        StampedDuration(end - start_seconds, start_seconds - previous * kSecondsPerUnit);
    if (!FrameTimeEstimator::FastPicture(taken, demand_fast_)) return true;
    end = start_seconds + taken;
    from -= 2 * FrameTimeEstimator::kFastTolerance * demand_fast_;
  }
  return !demand_recording_ || demand_grid_.ShowsBetween(from, end);
}

void CaptureStage::SwitchPartIfFullLocked() {
  // The switch (under the capture lock) runs with the clock almost stopped.
  // After a failed switch the recording writes nothing more: it ends there,
  // as at a stop point, and the switch is not tried again.
  if (output_.split_size > 0 && !state_.split_failed &&
      target_->OutputSizeMb() > output_.split_size - 0.1) {
    clock_->SetSpeed(kSwitchingSpeed);
    if (target_->NextOutputPart() != 0) {
      state_.split_failed = true;
      stop_time_.store(state_.grid.next());
    }
    clock_->RestartBase();
    clock_->SetSpeed(kConvertingSpeed);
  }
}

void CaptureStage::RecordPictureLocked(double t1, double start_seconds, double t_end,
                                       media::ReferenceTime clock_start) {
  if (times_.first_picture_pending.load()) {
    double position = 0;
    if (output_.pass == 1 && host_->PlaybackPosition(&position))
      times_.pass_start_position.store(position);
    times_.recording_start_time.store(start_seconds);
    TracePrintf("%%%%%%%%%%%% SampleStartTime=%f   ActualFrameTime=%f", start_seconds,
                times_.actual_frame_time.load());
    times_.first_picture_pending.store(false);
    state_.grid.Start(start_seconds, output_.out_frame_rate);
    state_.audio.AlignStart(start_seconds);
  }

  times_.last_video_time.store(start_seconds);
  last_picture_end_ = t_end;
  if (state_.picture_counter++ % 20 == 0) host_->PostProgress();

  OutputGrid& grid = state_.grid;
  grid.SetRate(output_.out_frame_rate);
  const double period = grid.period();
  if (t1 - grid.next() > 1.0) {
    // The grid jumps across the gap and starts again on this picture;
    // nothing is emitted for the gap.
    TracePrintf("Large gap between video samples t1:%.5f expecting:%.5f  ActualFrameTime=%f", t1,
                grid.next(), times_.actual_frame_time.load());
    const double moved = grid.JumpTo(t1);
    times_.recording_start_time.store(times_.recording_start_time.load() + moved);
  }

  // The stop point on the output grid, whose times are the stream's own.
  const double stop_time = stop_time_.load();
  const double stop_grid = stop_time < 0 ? std::numeric_limits<double>::infinity() : stop_time;
  // The output frames that show this picture: those whose middles it covers.
  const int64_t frames = grid.FramesShowing(t_end, stop_grid);
  if (grid.Reached(stop_grid)) {
    if (!stop_reached_) {
      stop_reached_ = true;
      TracePrintf("Stop point reached: %.4f", stop_time);
      host_->StopPointReached();
    }
  } else if (frames == 0) {
    if (trace_level_ >= 20)
      TracePrintf("Skip this frame: t1:%.4f - t2:%.4f;  Expected sample time:%.8f", t1, t_end,
                  grid.next());
  } else {
    if (trace_level_ >= 20)
      TracePrintf("Write this frame: t1:%.4f - t2:%.4f;  Expected sample time:%.8f", t1, t_end,
                  grid.next());
    // Their audio must be in the buffer before they take it: a frame cut
    // from audio that is still on its way would get silence (and the audio
    // would then be thrown away as stamped in the past) or borrow it late.
    // This matters where the pictures run ahead of the sound, above all
    // right after the grid jumped across a hole in the pictures, and at the
    // end of the source.
    const double frames_end = grid.next() + static_cast<double>(frames) * period;
    emitting_ = true;
    WaitForAudioLocked(frames_end);
    // Past the end of the sound the frames get silence.
    if (sound_ended_) state_.audio.PadWithSilence(grid.next(), frames_end);
    ScaleFrameLocked();
    for (int64_t k = 0; k < frames; ++k) {
      // The producer is called with the capture lock held: it may wait for
      // the encoders, and the audio callback then waits too, which holds
      // both streams back together.
      state_.audio.EmitFrame(grid.next(), period, frame_to_hand_over_, target_, trace_level_);
      grid.Advance(1);
    }
    KeepLastFrameLocked();
    emitting_ = false;
    stream_moved_.SignalAll();
    SwitchPartIfFullLocked();
  }

  PublishDemandLocked(!grid.Reached(stop_grid));

  // Pacing: the clock moves on by what is left of this picture's period.
  clock_->RestartBase();
  double elapsed = static_cast<double>(clock_->GetTime() - clock_start) * kSecondsPerUnit;
  double wait = times_.actual_frame_time.load() - elapsed - 0.0005;
  if (state_.slowdown >= 20) {
    wait *= 0.5;
    state_.slowdown = state_.slowdown == 20 ? 0 : state_.slowdown - 1;
  }
  if (wait > 0) clock_->Advance(wait);

  if (state_.input_bits == 8 && state_.audio.borrow() > kAudioLagBytes) {
    WriteTraceLine("audio lag behind too much. wait for audio.");
    WaitForOtherStreamLocked(audio_blocks_, waits_.for_audio);
  }
}

}  // namespace ovc
