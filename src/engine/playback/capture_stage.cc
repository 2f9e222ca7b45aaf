#include "engine/playback/capture_stage.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "common/trace.h"
#include "engine/record/output_shape.h"
#include "platform/av/i420_frame.h"
#include "platform/imaging/image_ops.h"

namespace ovc {
namespace {

// Bytes beyond the last pixel of every plane: the scaler's vector code may
// read a little past the end of a line.
constexpr int64_t kPlanePadding = kScalerSlack;

// Black in video range, for the bars around a picture that keeps its shape.
constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kNeutralChroma = 128;

// Sets everything of a plane (`width` × `height` of `stride`) outside the
// columns [x, x + area_width) of the lines [y, y + area_height) to `value`.
void PaintBars(uint8_t* plane, int stride, int width, int height, int x, int area_width, int y,
               int area_height, uint8_t value) {
  for (int row = 0; row < height; ++row) {
    uint8_t* line = plane + static_cast<ptrdiff_t>(row) * stride;
    if (row < y || row >= y + area_height) {
      std::fill_n(line, width, value);
      continue;
    }
    std::fill_n(line, x, value);
    std::fill_n(line + x + area_width, width - x - area_width, value);
  }
}

}  // namespace

CaptureStage::CaptureStage(RecordingClock* clock, RecordingTarget* target, CaptureHost* host)
    : clock_(clock), target_(target), host_(host) {
  MutexLock lock(&capture_lock_);
  EnsureBuffersLocked(CaptureState::kFirstBufferPixels);
}

void CaptureStage::SetOutput(const OutputConfig& output) {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  output_ = output;
}

void CaptureStage::set_crop(const CropRect& crop) {
  MutexLock lock(&capture_lock_);
  crop_ = crop;
}

void CaptureStage::SetConnectedTypeQueries(ConnectedTypeQuery video, ConnectedTypeQuery audio) {
  MutexLock lock(&queries_lock_);
  video_type_query_ = std::move(video);
  audio_type_query_ = std::move(audio);
}

CaptureStage::ConnectedTypeQuery CaptureStage::VideoTypeQuery() {
  MutexLock lock(&queries_lock_);
  return video_type_query_;
}

CaptureStage::ConnectedTypeQuery CaptureStage::AudioTypeQuery() {
  MutexLock lock(&queries_lock_);
  return audio_type_query_;
}

media::GrabberCallback CaptureStage::VideoCallback() {
  return [this](media::MediaSample& sample, media::ReferenceTime* start,
                media::ReferenceTime* stop, int32_t reserved, int32_t type_changed) {
    return OnVideoSample(sample, start, stop, reserved, type_changed);
  };
}

media::GrabberCallback CaptureStage::AudioCallback() {
  return [this](media::MediaSample& sample, media::ReferenceTime* start,
                media::ReferenceTime* stop, int32_t reserved, int32_t type_changed) {
    return OnAudioSample(sample, start, stop, reserved, type_changed);
  };
}

void CaptureStage::EnsureBuffersLocked(int64_t pixels) {
  const size_t frame_bytes =
      av::I420Frame{std::max(output_.width, 0), std::max(output_.height, 0)}.bytes() +
      kPlanePadding;
  if (pixels <= state_.buffer_pixels && frame_bytes <= state_.output_frame.size()) return;
  try {
    if (frame_bytes > state_.output_frame.size()) state_.output_frame.assign(frame_bytes, 0);
    state_.buffer_pixels = std::max(state_.buffer_pixels, pixels);
  } catch (const std::bad_alloc&) {
    // The frame keeps its old size; ScaleFrameLocked writes no picture
    // larger than it holds.
    WriteTraceLine("malloc error");
  }
}

void CaptureStage::ScaleFrame() {
  MutexLock lock(&capture_lock_);
  ScaleFrameLocked();
}

PictureArea CaptureStage::OutputAreaLocked(int crop_width, int crop_height) const {
  double aspect = state_.picture_aspect;
  const int in_width = state_.input_width;
  const int in_height = state_.input_height;
  // A crop keeps the input's pixel shape: its aspect is its share of the
  // picture's.
  if (in_width > 0 && in_height > 0 && crop_width > 0 && crop_height > 0)
    aspect *= (static_cast<double>(crop_width) / in_width) /
              (static_cast<double>(crop_height) / in_height);
  return FitPicture(OutputPictureAspect(aspect, output_), output_.width, output_.height,
                    OutputPixelAspect(output_).value());
}

PictureArea CaptureStage::CropRegionLocked() const {
  const int in_width = state_.input_width;
  const int in_height = state_.input_height;
  auto fraction = [](double value) { return std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0); };
  const double left = fraction(crop_.left), right = fraction(crop_.right);
  const double top = fraction(crop_.top), bottom = fraction(crop_.bottom);
  PictureArea region{static_cast<int>(in_width * left), static_cast<int>(in_height * top),
                     static_cast<int>((right - left) * in_width),
                     static_cast<int>((bottom - top) * in_height)};
  region.width = std::min(region.width, in_width - region.x);
  region.height = std::min(region.height, in_height - region.y);
  if (region.width < 2 || region.height < 1) return PictureArea{0, 0, in_width, in_height};
  return region;
}

PictureArea CaptureStage::ShownPictureSize() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  const PictureArea region = CropRegionLocked();
  if (region.width < 2 || region.height < 1 || output_.width < 2 || output_.height < 1)
    return PictureArea{};
  const PictureArea area = OutputAreaLocked(region.width, region.height);
  const auto grown = [](int shown, int whole, int part) {
    return static_cast<int>(static_cast<int64_t>(shown) * whole / part);
  };
  return PictureArea{0, 0, grown(area.width, state_.input_width, region.width),
                     grown(area.height, state_.input_height, region.height)};
}

void CaptureStage::ScaleFrameLocked() {
  const int in_width = state_.input_width;
  const int in_height = state_.input_height;
  const int out_width = output_.width;
  const int out_height = output_.height;
  frame_to_hand_over_ = state_.output_frame.data();
  const av::I420Frame layout{out_width, out_height};
  if (in_width < 2 || in_height < 1 || out_width < 2 || out_height < 1 ||
      static_cast<int64_t>(in_width) * in_height > state_.buffer_pixels ||
      static_cast<int64_t>(out_width) * out_height > state_.buffer_pixels ||
      layout.bytes() + kPlanePadding > state_.output_frame.size())
    return;
  if (sample_data_ == nullptr && sample_planes_ == nullptr) return;

  // Without resizing the picture is the frame: only its form changes.
  const PictureArea region =
      resize_this_picture_ ? CropRegionLocked() : PictureArea{0, 0, in_width, in_height};
  int x = region.x, y = region.y, w = region.width, h = region.height;

  // The region starts and ends on whole pixel pairs of the packed picture,
  // and starts on a chroma line of a 4:2:0 one.
  x &= ~1;
  w &= ~1;
  y &= ~1;

  uint8_t* planes_out[3];
  int out_strides[3];
  layout.Planes(state_.output_frame.data(), planes_out, out_strides);
  // The picture goes into its area; the bars around it are painted black
  // after scaling, over whatever the scaler wrote past its lines' ends.
  const PictureArea whole{0, 0, out_width, out_height};
  const PictureArea area = resize_this_picture_ ? OutputAreaLocked(w, h) : whole;
  uint8_t* out[3] = {planes_out[0] + static_cast<size_t>(area.y) * out_strides[0] + area.x,
                     planes_out[1] + static_cast<size_t>(area.y / 2) * out_strides[1] + area.x / 2,
                     planes_out[2] + static_cast<size_t>(area.y / 2) * out_strides[2] + area.x / 2};
  // From the decoder's 4:2:0 planes where it passed them along: less to
  // read and scale than the packed 4:2:2 picture made from them.
  const media::PlanarPicture* planes = sample_planes_;
  const int packed_stride = 2 * state_.input_line_pixels;
  const uint8_t* packed = sample_data_;
  if (planes == nullptr && sample_padding_ < kScalerSlack) {
    // The scaler reads whole vectors, past the end of the last line: a
    // sample without room after it is scaled from a copy that has it.
    const size_t bytes = static_cast<size_t>(packed_stride) * in_height;
    state_.padded_picture.resize(bytes + kScalerSlack);
    std::copy_n(sample_data_, bytes, state_.padded_picture.data());
    packed = state_.padded_picture.data();
  }
  const int scaled =
      planes != nullptr
          ? CropScaleI420ToI420(planes->planes, planes->strides, in_width, in_height, x, y, w, h,
                                out, out_strides, area.width, area.height, kScaleBicubic)
          : CropScaleYuy2ToI420(packed, in_width, in_height, packed_stride, x, y, w, h, out,
                                out_strides, area.width, area.height, kScaleBicubic);
  if (scaled != 0 || !resize_this_picture_) return;
  if (!(area == whole)) {
    PaintBars(planes_out[0], out_strides[0], out_width, out_height, area.x, area.width, area.y,
              area.height, kBlackLuma);
    for (int i = 1; i < 3; ++i)
      PaintBars(planes_out[i], out_strides[i], layout.chroma_width(), layout.chroma_height(),
                area.x / 2, area.width / 2, area.y / 2, (area.height + 1) / 2, kNeutralChroma);
  }
  const int brightness_offset = output_.brightness_a;
  if (brightness_offset != 0) {
    // Only the picture: the bars stay black.
    ScaleLuma(static_cast<int>(output_.brightness_b * 128), out[0], area.width, out_strides[0],
              area.height, 7);
    OffsetLuma(static_cast<uint8_t>(brightness_offset & 0xFF), out[0], area.width,
               out_strides[0], area.height, 0);
  }
}

void CaptureStage::BeginRecording(bool need_resize) {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  state_.need_resize = need_resize;
  state_.split_failed = false;
  stop_reached_ = false;
  times_.first_picture_pending.store(true);
  PublishDemandLocked(false);
  // Nothing is recorded until the first picture: the times of an earlier
  // pass would read as this one's progress (and end it at once when that
  // pass got past this one's stop point).
  times_.last_video_time.store(0);
  times_.recording_start_time.store(0);
  EnsureBuffersLocked(static_cast<int64_t>(std::max(output_.width, 0)) *
                      std::max(output_.height, 0));
  // Audio stamped before this recording (a preview, an earlier pass) says
  // nothing about where the recording's audio stands.
  stop_waits_ = false;
  audio_reached_ = -std::numeric_limits<double>::infinity();
  audio_stalled_at_ = -std::numeric_limits<double>::infinity();
  // Both streams run again from the start point.
  pictures_ended_ = false;
  held_frame_.clear();
  last_picture_end_ = -std::numeric_limits<double>::infinity();
  sound_ended_ = !source_has_sound_.load();
  if (sound_ended_) state_.audio.SetFormat(kSilentTrackRate, kSilentTrackChannels);
}

void CaptureStage::PassCaptureLock() {
  MutexLock lock(&capture_lock_);
  PublishDemandLocked(false);
  stop_waits_ = true;
  stream_moved_.SignalAll();
  while (emitting_) stream_moved_.Wait(&capture_lock_);
}

void CaptureStage::PublishDemandLocked(bool recording) {
  MutexLock lock(&demand_lock_);
  demand_recording_ = recording;
  if (recording) demand_grid_ = state_.grid;
  demand_fast_ = state_.frame_times.declared_fast();
}

void CaptureStage::ApplyRequestsLocked() {
  // In the order the user interface makes them for a new source.
  if (new_source_requested_.exchange(false)) {
    // The main window forgets the last source's layout: the new one's is
    // told even when it is the same.
    state_.declared_width = 0;
    state_.declared_height = 0;
    state_.audio.Clear();
    state_.frame_times.ForgetDeclared();
    audio_follows_ = false;
    audio_reached_ = -std::numeric_limits<double>::infinity();
    audio_stalled_at_ = -std::numeric_limits<double>::infinity();
  }
  if (adopt_connected_video_requested_.exchange(false)) AdoptVideoTypeLocked(nullptr);
  if (adopt_connected_audio_requested_.exchange(false)) AdoptAudioTypeLocked(nullptr);
  if (restart_frame_counter_requested_.exchange(false)) state_.frame_counter = -1;
}

void CaptureStage::ApplyRequestsIfFree() {
  // The request is noted first, so that a callback taking the lock right
  // after a failed attempt still sees it.
  if (!capture_lock_.TryLock()) return;
  MutexLock lock(&capture_lock_, std::adopt_lock);
  ApplyRequestsLocked();
}

void CaptureStage::RestartFrameCounter() {
  restart_frame_counter_requested_.store(true);
  ApplyRequestsIfFree();
}

void CaptureStage::ResetRecordedTime() {
  // Without the capture lock: after a stop that timed out, a callback stuck
  // in the recording target still holds it, and the user interface thread
  // must not wait for it. Both times are atomic.
  times_.last_video_time.store(0);
  times_.recording_start_time.store(0);
}

void CaptureStage::ResetForNewSource() {
  source_has_sound_.store(true);
  new_source_requested_.store(true);
  ApplyRequestsIfFree();
}

void CaptureStage::WaitForOtherStreamLocked(const uint64_t& moved,
                                            std::chrono::milliseconds limit) {
  const uint64_t seen = moved;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (moved == seen && !stop_waits_ && stream_moved_.WaitUntil(&capture_lock_, deadline)) {
  }
}

void CaptureStage::WaitForAudioLocked(double needed) {
  // A frame may lack this much of its audio (it is borrowed from the next);
  // less than the rounding of block and frame times could ever matter.
  constexpr double kTolerance = 0.001;  // seconds
  const double due = needed - kTolerance;
  if (!audio_follows_ || stop_waits_ || sound_ended_ || audio_reached_ >= due) return;
  if (trace_level_ != 0)
    TracePrintf("Wait for audio: needed up to %.3f, arrived up to %.3f", needed, audio_reached_);
  for (;;) {
    const uint64_t seen = audio_blocks_;
    const auto deadline = std::chrono::steady_clock::now() + waits_.for_audio;
    waiting_for_audio_ = true;
    bool moved = stop_waits_ || sound_ended_;
    while (!moved) {
      const bool signalled = stream_moved_.WaitUntil(&capture_lock_, deadline);
      moved = audio_blocks_ != seen || stop_waits_ || sound_ended_;
      if (!signalled) break;
    }
    waiting_for_audio_ = false;
    if (stop_waits_ || sound_ended_ || audio_reached_ >= due) return;
    if (!moved) {
      // No audio for a while: the track ended or has a hole here. The
      // frames go on with what there is until the audio catches up again.
      TracePrintf("No audio for %d ms; going on without it at %.3f",
                  static_cast<int>(waits_.for_audio.count()), needed);
      audio_follows_ = false;
      audio_stalled_at_ = due;
      return;
    }
  }
}

Bitmap24 CaptureStage::StillPicture() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  return state_.still.ToBitmap();
}

void CaptureStage::ReadInputSize() {
  // A callback may hold the lock until the user has answered its question,
  // which the user interface thread asking here would then never show: it
  // takes the size last seen instead of waiting.
  if (!capture_lock_.TryLock()) return;
  MutexLock lock(&capture_lock_, std::adopt_lock);
  ApplyRequestsLocked();
  input_width_seen_.store(state_.input_width);
  input_height_seen_.store(state_.input_height);
}

int CaptureStage::input_width() {
  ReadInputSize();
  return input_width_seen_.load();
}

int CaptureStage::input_height() {
  ReadInputSize();
  return input_height_seen_.load();
}

int CaptureStage::audio_rate() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  return state_.audio.rate();
}

int CaptureStage::audio_channels() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  return state_.audio.channels();
}

int64_t CaptureStage::audio_fill() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  return state_.audio.fill();
}

int64_t CaptureStage::audio_borrow() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  return state_.audio.borrow();
}

double CaptureStage::audio_start_time() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  return state_.audio.start_time();
}

int CaptureStage::frame_counter() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  return state_.frame_counter;
}

int CaptureStage::slowdown() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  return state_.slowdown;
}

double CaptureStage::covered_seconds() {
  if (!capture_lock_.TryLock()) return recorded_seconds();
  MutexLock lock(&capture_lock_, std::adopt_lock);
  if (times_.first_picture_pending.load()) return 0;
  return state_.grid.next() - times_.recording_start_time.load();
}

double CaptureStage::next_output_time() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  return state_.grid.next();
}

bool CaptureStage::waiting_for_audio() {
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  return waiting_for_audio_;
}

}  // namespace ovc
