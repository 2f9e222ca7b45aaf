#include "engine/playback/capture_audio_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/trace.h"
#include "engine/playback/recording_target.h"

namespace ovc {
namespace {

// Sample positions far beyond any buffer stay far beyond it without
// overflowing: ±1e15 sample frames is about 600 years at 48 kHz.
constexpr double kFarAway = 1e15;

// A block overlapping the buffered audio by up to this much (seconds) is
// still joined to its end: the rounding of time stamps, not a repeat.
constexpr double kJoinOverlap = 0.001;

// trunc(value), kept within ±kFarAway (not-a-number counts as 0).
int64_t TruncClamped(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<int64_t>(std::trunc(std::clamp(value, -kFarAway, kFarAway)));
}

// Zeros: the silence chunks and the silent parts of a slice. From calloc,
// so that pages only read cost no memory.
const uint8_t* SilenceArea() {
  static const auto* zeros =
      static_cast<const uint8_t*>(std::calloc(CaptureAudioBuffer::kSplitBytes, 1));
  return zeros;
}

}  // namespace

// Neither area is zeroed: only bytes below the fill are ever read, and pages
// never written stay out of memory (the buffer mostly holds a fraction of a
// second of its 18).
CaptureAudioBuffer::CaptureAudioBuffer()
    : bytes_(new uint8_t[kCapacity]), scratch_(new uint8_t[kSplitBytes]) {}

void CaptureAudioBuffer::SetFormat(int rate, int channels) {
  if (rate == rate_ && channels == channels_) return;
  rate_ = rate;
  channels_ = channels;
  block_ = 2 * channels;
  fill_ = 0;
  borrow_ = 0;
  accumulator_ = 0;
}

void CaptureAudioBuffer::Clear() {
  fill_ = 0;
  start_time_ = 0;
  borrow_ = 0;
  accumulator_ = 0;
}

int64_t CaptureAudioBuffer::Position(double seconds) const {
  return TruncClamped(seconds * rate_ + 0.5) * block_;
}

void CaptureAudioBuffer::Restart(const uint8_t* block, int64_t bytes, double t1) {
  int64_t kept = std::min(bytes, kCapacity);
  std::memcpy(bytes_.get(), block, kept);
  fill_ = kept;
  start_time_ = t1;
}

void CaptureAudioBuffer::DropFront(int64_t bytes) {
  if (bytes <= 0) return;
  if (bytes >= fill_) {
    fill_ = 0;
    return;
  }
  std::memmove(bytes_.get(), bytes_.get() + bytes, fill_ - bytes);
  fill_ -= bytes;
}

std::optional<int64_t> CaptureAudioBuffer::Store(const int16_t* pcm, int64_t bytes, double t1,
                                                 double t2) {
  const uint8_t* block = reinterpret_cast<const uint8_t*>(pcm);
  const double bytes_per_second = static_cast<double>(block_) * rate_;
  double end_time = start_time_ + fill_ / bytes_per_second;

  // The time line went back: what is buffered is of no more use.
  if (end_time - t1 >= 0.06) {
    TracePrintf("Time goes back. diff=%.6f  audio_buffer:[%.6f, %6f]  t1=%.3f  t2=%.3f",
                end_time - t1, start_time_, end_time, t1, t2);
    Restart(block, bytes, t1);
    return std::nullopt;
  }
  if (t1 + 0.03 < start_time_) {
    Restart(block, bytes, t1);
    return std::nullopt;
  }

  int64_t end_position = TruncClamped((t2 - start_time_) * rate_ + 1) * block_;
  if (end_position >= 2 * kCapacity) {
    // Far ahead of everything buffered.
    Restart(block, bytes, t1);
    return end_position;
  }
  if (end_position >= kCapacity) {
    DropFront(end_position - kCapacity);
    start_time_ = t2 - kCapacity / bytes_per_second;
  }
  if (end_position > 0) {
    int64_t write = Position(t1 - start_time_);
    // Blocks that nearly touch the buffered audio are joined without a seam:
    // one that starts up to 0.04 s after it, or overlaps it by rounding only.
    // A block that starts well inside the buffered audio covers that audio
    // again (after a seek to where the preview's first blocks are still
    // buffered, times start over): it takes its own place, or it and all
    // that follows would be late by the overlap.
    const int64_t after = write - fill_;
    if (after <= 0.04 * rate_ * block_ && after >= -kJoinOverlap * rate_ * block_) write = fill_;
    // A block that starts after the buffered audio leaves a hole: silence,
    // not whatever the buffer held there before.
    if (write > fill_) std::memset(bytes_.get() + fill_, 0, std::min(write, kCapacity) - fill_);
    int64_t skip = std::max<int64_t>(0, -write);  // bytes that would fall before 0
    int64_t to = std::max<int64_t>(0, write);
    int64_t count = std::min(bytes - skip, kCapacity - to);
    if (count > 0) std::memcpy(bytes_.get() + to, block + skip, count);
    fill_ = std::clamp<int64_t>(write + bytes, fill_, kCapacity);
  }
  return end_position;
}

void CaptureAudioBuffer::AlignStart(double start) {
  borrow_ = 0;
  accumulator_ = 0;
  int64_t drop = Position(start - start_time_);
  if (drop <= 0) return;
  if (drop < fill_) {
    DropFront(drop);
    start_time_ = start;
  } else {
    fill_ = 0;
  }
}

void CaptureAudioBuffer::PadWithSilence(double from, double until) {
  const double bytes_per_second = static_cast<double>(block_) * rate_;
  const double end_time = start_time_ + fill_ / bytes_per_second;
  // What is buffered lies before the frames (rounding, or audio from before
  // a jump of the pictures): nothing of it is due any more.
  if (borrow_ == 0 && end_time <= from) {
    fill_ = 0;
    start_time_ = from;
  }
  // One sample frame more than the rounded end: the accumulator may give
  // the last frame that one.
  const int64_t end = std::min(Position(until - start_time_) + block_, kCapacity);
  if (end <= fill_) return;
  std::memset(bytes_.get() + fill_, 0, end - fill_);
  fill_ = end;
}

void CaptureAudioBuffer::PushRange(const uint8_t* frame, int64_t from, int64_t to,
                                   RecordingTarget* target) {
  int64_t length = std::clamp<int64_t>(to - from, 0, kSplitBytes);
  int sample_frames = static_cast<int>(length / 2 / channels_);
  const uint8_t* data;
  if (length == 0) {
    data = SilenceArea();
  } else if (from >= 0 && from + length <= fill_) {
    data = bytes_.get() + from;
  } else {
    std::memset(scratch_.get(), 0, length);
    int64_t first = std::max<int64_t>(from, 0);
    int64_t last = std::min<int64_t>(from + length, fill_);
    if (last > first) std::memcpy(scratch_.get() + (first - from), bytes_.get() + first, last - first);
    data = scratch_.get();
  }
  target->Produce(frame, reinterpret_cast<const int16_t*>(data), sample_frames);
}

int64_t CaptureAudioBuffer::PushChunk(const uint8_t* frame, int64_t from, int64_t bytes,
                                      int64_t period_bytes, RecordingTarget* target) {
  if (period_bytes < bytes) {
    PushRange(frame, from, from + bytes, target);
    return from + bytes - period_bytes;
  }
  PushRange(nullptr, from, from + bytes, target);
  return from + bytes;
}

void CaptureAudioBuffer::EmitFrame(double frame_time, double period, const uint8_t* frame,
                                   RecordingTarget* target, int trace_level) {
  const double period_bytes_exact = period * rate_ * block_;
  // The audio of one frame period in whole sample frames: what a repeated
  // picture takes out of a silence chunk or a split slice.
  const int64_t period_bytes = TruncClamped(period * rate_) * block_;

  int64_t x1 = Position(frame_time - start_time_);
  int64_t x2 = Position(frame_time + period - start_time_);
  accumulator_ += period * rate_ - static_cast<double>((x2 - x1) / block_);
  if (std::fabs(accumulator_) >= 1) {
    int step = accumulator_ >= 0 ? 1 : -1;
    x2 += step * block_;
    accumulator_ -= step;
  }
  if (trace_level >= 20)
    TracePrintf("  audio_buffer_i=%d  audio_buffer_start_time=%.3f  audio_borrow=%d  "
                "video_time=%.3f  x1=%d x2=%d  x2-x1=%d",
                static_cast<int>(fill_), start_time_, static_cast<int>(borrow_), frame_time,
                static_cast<int>(x1), static_cast<int>(x2), static_cast<int>(x2 - x1));

  x1 -= borrow_;
  if (x1 < 0.5 * period_bytes_exact + fill_) {
    if (x2 > fill_) {
      borrow_ = x2 - fill_;
      x2 = fill_;
      if (trace_level != 0 && borrow_ > 0)
        TracePrintf("  Borrow=%d    x1=%d  x2=%d", static_cast<int>(borrow_),
                    static_cast<int>(x1), static_cast<int>(x2));
      if (borrow_ >= kBorrowLimit) {
        // One second of silence pays part of the debt.
        if (period_bytes < kSilenceBytes) {
          target->Produce(frame, reinterpret_cast<const int16_t*>(SilenceArea()),
                          static_cast<int>(kSilenceBytes / 2 / channels_));
          borrow_ -= kSilenceBytes - period_bytes;
        } else {
          target->Produce(nullptr, reinterpret_cast<const int16_t*>(SilenceArea()),
                          static_cast<int>(kSilenceBytes / 2 / channels_));
          borrow_ -= kSilenceBytes;
        }
        TracePrintf("  Not enough audio. Fill in blank ..... audio_borrow: %d",
                    static_cast<int>(borrow_));
      }
    } else {
      borrow_ = 0;
    }
  }
  if (x2 < x1) x1 = x2;
  const int64_t slice_start = x1;

  if (x1 < 0 && x2 < 1) {
    // The whole slice lies before the buffered audio.
    while (x2 - x1 > kBorrowLimit) {
      x1 = PushChunk(frame, x1, kSilenceBytes, period_bytes, target);
      TracePrintf("Fill in silent frame. x1=%d", static_cast<int>(x1));
    }
    TracePrintf("Fill in silent frame. x1=%d", static_cast<int>(x1));
  } else if (x1 < 0 && x2 > 0) {
    while (-x1 >= kBorrowLimit) {
      x1 = PushChunk(frame, x1, kSilenceBytes, period_bytes, target);
      TracePrintf("Fill in silent frame. x1=%d", static_cast<int>(x1));
    }
  }
  // No call carries more than kSplitBytes.
  while (x2 - x1 > kSplitBytes) {
    TracePrintf("Large audio chunk. Split. x1=%d x2=%d", static_cast<int>(x1),
                static_cast<int>(x2));
    x1 = PushChunk(frame, x1, kSplitBytes, period_bytes, target);
  }
  PushRange(frame, x1, x2, target);

  double next_frame_time = frame_time + period;
  if (x2 >= 0) {
    if (slice_start < fill_) DropFront(x2);
    else fill_ = 0;
    start_time_ = next_frame_time - static_cast<double>(borrow_) / block_ / rate_;
  }
}

}  // namespace ovc
