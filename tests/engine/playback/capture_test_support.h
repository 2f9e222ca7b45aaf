#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/trace.h"
#include "engine/playback/capture_host.h"
#include "engine/playback/recording_clock.h"
#include "engine/playback/recording_target.h"
#include "platform/media/media_types.h"

namespace ovc::test {

// Real time that moves only when a test moves it.
class FakeTicks : public TickSource {
 public:
  media::ReferenceTime Now() override { return now_.load(); }
  std::chrono::steady_clock::time_point WhenReaches(media::ReferenceTime) override {
    return std::chrono::steady_clock::time_point::max();
  }
  void SetListener(std::function<void()> moved) override {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = std::move(moved);
  }
  void Advance(media::ReferenceTime units) {
    now_ += units;
    std::function<void()> listener;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      listener = listener_;
    }
    if (listener) listener();
  }

 private:
  std::atomic<media::ReferenceTime> now_{1000000};
  std::mutex mutex_;
  std::function<void()> listener_;
};

// A media sample over bytes the test owns, with an optional type.
class FakeSample : public media::MediaSample {
 public:
  FakeSample(std::vector<uint8_t> bytes, std::optional<media::MediaType> type = std::nullopt)
      : bytes_(std::move(bytes)), type_(std::move(type)) {}
  const uint8_t* data() const override { return bytes_.data(); }
  int32_t length() const override { return static_cast<int32_t>(bytes_.size()); }
  bool GetMediaType(media::MediaType* type) const override {
    if (!type_) return false;
    *type = *type_;
    return true;
  }

 private:
  std::vector<uint8_t> bytes_;
  std::optional<media::MediaType> type_;
};

// One producer call as the target saw it.
struct ProducedCall {
  bool has_frame = false;
  int frame_id = -1;          // the first four bytes of the frame: its first four lumas
  std::vector<uint8_t> frame;  // the whole frame, when kept
  std::vector<int16_t> audio;
};

// Records every producer call; its size and part switching are scripted.
class FakeTarget : public RecordingTarget {
 public:
  bool recording() const override { return recording_flag; }
  void Produce(const uint8_t* frame, const int16_t* audio, int n) override {
    if (on_produce) on_produce();
    ProducedCall call;
    call.has_frame = frame != nullptr;
    if (frame) {
      std::memcpy(&call.frame_id, frame, sizeof call.frame_id);
      if (keep_frames) call.frame.assign(frame, frame + frame_bytes);
    }
    call.audio.assign(audio, audio + static_cast<size_t>(n) * channels);
    calls.push_back(std::move(call));
  }
  int NextOutputPart() override {
    ++next_part_calls;
    size_mb = 0;
    return next_part_result;
  }
  double OutputSizeMb() const override { return size_mb; }

  int FramesProduced() const {
    int frames = 0;
    for (const ProducedCall& call : calls) frames += call.has_frame;
    return frames;
  }
  std::vector<int> FrameIds() const {
    std::vector<int> ids;
    for (const ProducedCall& call : calls)
      if (call.has_frame) ids.push_back(call.frame_id);
    return ids;
  }
  // All audio handed over, in order.
  std::vector<int16_t> Audio() const {
    std::vector<int16_t> all;
    for (const ProducedCall& call : calls) all.insert(all.end(), call.audio.begin(), call.audio.end());
    return all;
  }

  bool recording_flag = true;
  int channels = 2;
  bool keep_frames = false;
  size_t frame_bytes = 0;
  double size_mb = 0;
  int next_part_result = 0;
  int next_part_calls = 0;
  // Runs first in every producer call (it may block, as the encoders do).
  std::function<void()> on_produce;
  std::vector<ProducedCall> calls;
};

class FakeHost : public CaptureHost {
 public:
  void PostProgress() override { ++progress_posts; }
  void VideoLayoutChanged(int aspect_x, int aspect_y) override {
    layouts.push_back({aspect_x, aspect_y});
    if (on_layout) on_layout();
  }
  bool PlaybackPosition(double* seconds) override {
    if (!has_position) return false;
    *seconds = position;
    return true;
  }

  void StopPointReached() override { ++stop_points; }

  int progress_posts = 0;
  int stop_points = 0;
  std::vector<std::pair<int, int>> layouts;
  // Runs in every VideoLayoutChanged, on the capture's thread.
  std::function<void()> on_layout;
  bool has_position = true;
  double position = 0;
};

// The plain YUY2 video type of a width × height picture at `frame_time`
// (100-ns units per frame).
inline media::MediaType Yuy2Type(int width, int height, media::ReferenceTime frame_time) {
  media::MediaType type;
  type.major = media::MajorType::kVideo;
  type.subtype = media::kSubtypeYuy2;
  type.format_type = media::FormatType::kVideoInfo;
  type.video.avg_time_per_frame = frame_time;
  type.video.bmi.width = width;
  type.video.bmi.height = height;
  type.video.bmi.size_image = static_cast<uint32_t>(width * height * 2);
  return type;
}

inline media::MediaType PcmType(int rate, int channels, int bits = 16) {
  media::MediaType type;
  type.major = media::MajorType::kAudio;
  type.subtype = media::kSubtypePcm;
  type.format_type = media::FormatType::kWaveFormatEx;
  type.wave.channels = static_cast<uint16_t>(channels);
  type.wave.samples_per_sec = static_cast<uint32_t>(rate);
  type.wave.bits_per_sample = static_cast<uint16_t>(bits);
  type.wave.block_align = static_cast<uint16_t>(channels * bits / 8);
  type.wave.avg_bytes_per_sec = static_cast<uint32_t>(rate * channels * bits / 8);
  return type;
}

// A YUY2 picture whose first four pixels' luma holds `id`, so that a 4:2:0
// frame made of it without scaling starts with `id`; the rest is mid grey.
// (At least the four pixels, also for an empty picture.)
inline std::vector<uint8_t> PictureWithId(int id, int width, int height) {
  std::vector<uint8_t> picture(std::max<size_t>(static_cast<size_t>(width) * height * 2, 8), 128);
  uint8_t bytes[sizeof id];
  std::memcpy(bytes, &id, sizeof id);
  for (size_t i = 0; i < sizeof id; ++i) picture[2 * i] = bytes[i];
  return picture;
}

// Time of picture or sample `index` at `rate` per second, in 100-ns units.
inline media::ReferenceTime UnitsAt(int64_t index, double rate) {
  return static_cast<media::ReferenceTime>(std::llround(index * 1e7 / rate));
}

// The decoded lines of the trace log written so far.
inline std::vector<std::string> TraceLines() {
  std::vector<std::string> lines;
  std::ifstream file(TraceLogPath());
  std::string line;
  while (std::getline(file, line)) {
    uint32_t tick;
    std::string message;
    if (UnscrambleTraceLine(line, &tick, &message)) lines.push_back(message);
  }
  return lines;
}

inline bool TraceHas(const std::string& text) {
  for (const std::string& line : TraceLines())
    if (line.find(text) != std::string::npos) return true;
  return false;
}

}  // namespace ovc::test
