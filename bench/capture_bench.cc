// Pictures per second through the capture stage's video callback while a
// conversion runs: 720x576 YUY2 in, either scaled to 320x240 or handed over
// unchanged (no resizing), with the matching audio block before each
// picture. The recording target takes the frames and drops them.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/playback/capture_stage.h"
#include "platform/imaging/scaler_code.h"
#include "engine/playback/recording_clock.h"
#include "engine/record/output_config.h"

namespace {

using ovc::media::MediaType;
using ovc::media::ReferenceTime;

class BytesSample : public ovc::media::MediaSample {
 public:
  explicit BytesSample(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  const uint8_t* data() const override { return bytes_.data(); }
  int32_t length() const override { return static_cast<int32_t>(bytes_.size()); }
  bool GetMediaType(MediaType*) const override { return false; }

 private:
  std::vector<uint8_t> bytes_;
};

class TypeSample : public BytesSample {
 public:
  explicit TypeSample(const MediaType& type) : BytesSample({}), type_(type) {}
  bool GetMediaType(MediaType* type) const override {
    *type = type_;
    return true;
  }

 private:
  MediaType type_;
};

class DroppingTarget : public ovc::RecordingTarget {
 public:
  bool recording() const override { return true; }
  void Produce(const uint8_t* frame, const int16_t*, int) override {
    benchmark::DoNotOptimize(frame);
    ++frames;
  }
  int NextOutputPart() override { return 0; }
  double OutputSizeMb() const override { return 0; }
  int64_t frames = 0;
};

class NoHost : public ovc::CaptureHost {
 public:
  void PostProgress() override {}
  void VideoLayoutChanged(int, int) override {}
  bool PlaybackPosition(double* seconds) override {
    *seconds = 0;
    return true;
  }
};

constexpr int kInWidth = 720;
constexpr int kInHeight = 576;
constexpr ReferenceTime kFrameTime = 400000;  // 25 fps
constexpr int kRate = 48000;

// state.range(0): 1 scales to 320x240, 0 keeps the picture as it is.
void BM_OnVideoSample(benchmark::State& state) {
  const bool scale = state.range(0) != 0;
  ovc::OutputConfig output;
  output.width = scale ? 320 : kInWidth;
  output.height = scale ? 240 : kInHeight;
  output.out_frame_rate = 25;
  ovc::RecordingClock clock;
  DroppingTarget target;
  NoHost host;
  ovc::CaptureStage capture(&clock, &target, &host);

  MediaType video;
  video.major = ovc::media::MajorType::kVideo;
  video.subtype = ovc::media::kSubtypeYuy2;
  video.format_type = ovc::media::FormatType::kVideoInfo;
  video.video.avg_time_per_frame = kFrameTime;
  video.video.bmi.width = kInWidth;
  video.video.bmi.height = kInHeight;
  video.video.bmi.size_image = kInWidth * kInHeight * 2;
  MediaType audio;
  audio.major = ovc::media::MajorType::kAudio;
  audio.subtype = ovc::media::kSubtypePcm;
  audio.format_type = ovc::media::FormatType::kWaveFormatEx;
  audio.wave.channels = 2;
  audio.wave.samples_per_sec = kRate;
  audio.wave.bits_per_sample = 16;
  audio.wave.block_align = 4;
  audio.wave.avg_bytes_per_sec = kRate * 4;
  TypeSample video_type(video), audio_type(audio);
  capture.AdoptVideoType(&video_type);
  capture.AdoptAudioType(&audio_type);
  capture.SetOutput(output);
  capture.BeginRecording(scale);

  std::vector<uint8_t> picture_bytes(static_cast<size_t>(kInWidth) * kInHeight * 2);
  for (size_t i = 0; i < picture_bytes.size(); ++i) picture_bytes[i] = static_cast<uint8_t>(i * 31);
  BytesSample picture(picture_bytes);
  const int block_frames = kRate / 25;
  BytesSample block(std::vector<uint8_t>(static_cast<size_t>(block_frames) * 4, 0));

  int64_t n = 0;
  for (auto _ : state) {
    ReferenceTime start = n * kFrameTime, stop = (n + 1) * kFrameTime;
    capture.OnAudioSample(block, &start, &stop, 0, 0);
    capture.OnVideoSample(picture, &start, &stop, 0, 0);
    ++n;
  }
  state.SetItemsProcessed(n);
  state.counters["frames_out"] = static_cast<double>(target.frames);
}
BENCHMARK(BM_OnVideoSample)->Arg(1)->Arg(0)->ArgNames({"scale"})->Unit(benchmark::kMicrosecond);

}  // namespace

// As the programs do: the scalers take libswscale's faster code here.
int main(int argc, char** argv) {
  ovc::ChooseScalerCode();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
