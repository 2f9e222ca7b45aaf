#pragma once

// The capture stage driven by arbitrary bytes: picture and audio callbacks
// with any time stamps, type changes, output rates and recording switches.
// Every producer call is checked: its audio within the largest slice, its
// frame readable for the whole output size.

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/playback/capture_stage.h"
#include "engine/playback/capture_test_support.h"
#include "platform/av/i420_frame.h"

namespace ovc::test {

// Reads fixed-size values from the input; zeros once it is used up.
class FuzzBytes {
 public:
  FuzzBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return position_ >= size_; }
  template <typename T>
  T Take() {
    T value{};
    size_t count = std::min(sizeof(T), size_ - std::min(position_, size_));
    std::memcpy(&value, data_ + position_, count);
    position_ += sizeof(T);
    return value;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// Returns "" when every check held, else what went wrong.
inline std::string CheckCaptureScript(const uint8_t* data, size_t size) {
  static const double kRates[] = {25, 12.5, 15, 29.97, 14.985, 23.976, 1, 60, 0, -5, 1e9};
  FakeTicks ticks;
  RecordingClock clock(&ticks);
  OutputConfig output;
  output.width = 16;
  output.height = 8;
  FakeTarget target;
  target.keep_frames = true;
  FakeHost host;
  CaptureStage stage(&clock, &target, &host);
  stage.SetOutput(output);
  stage.set_waits({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
  stage.BeginRecording(false);

  FuzzBytes in(data, size);
  for (int step = 0; step < 200 && !in.empty(); ++step) {
    uint8_t op = in.Take<uint8_t>();
    media::ReferenceTime start = in.Take<int64_t>();
    media::ReferenceTime stop = in.Take<int64_t>();
    switch (op % 8) {
      case 0:
      case 1: {  // a picture of the declared size, or of a size of its own
        int width = op % 8 == 0 ? stage.input_width() : in.Take<uint8_t>() % 40;
        int height = op % 8 == 0 ? stage.input_height() : in.Take<uint8_t>() % 40;
        FakeSample sample(PictureWithId(step, width, height));
        target.frame_bytes = av::I420Frame{output.width, output.height}.bytes();
        stage.OnVideoSample(sample, &start, &stop, 0, op & 0x80);
        break;
      }
      case 2: {  // an audio block
        size_t bytes = in.Take<uint16_t>() % 20000;
        FakeSample sample(std::vector<uint8_t>(bytes, static_cast<uint8_t>(op)));
        stage.OnAudioSample(sample, &start, &stop, 0, 0);
        break;
      }
      case 3: {  // a new picture type
        int width = in.Take<uint8_t>() % 48;
        int height = in.Take<uint8_t>() % 48;
        media::MediaType type = Yuy2Type(width, height, start % 2000000);
        if (op & 0x10) {
          type.format_type = media::FormatType::kVideoInfo2;
          type.video2.bmi = type.video.bmi;
          type.video2.source.right = in.Take<int8_t>();
          type.video2.source.bottom = in.Take<int8_t>();
          type.video2.picture_aspect_x = in.Take<uint8_t>();
          type.video2.picture_aspect_y = in.Take<uint8_t>();
          type.video2.interlace_flags = op;
        }
        FakeSample sample({}, type);
        stage.AdoptVideoType(&sample);
        break;
      }
      case 4: {  // a new audio type
        int rate = static_cast<int>(in.Take<uint32_t>() % 200000);
        int channels = in.Take<uint8_t>() % 9;
        int bits = op & 0x10 ? 8 : 16;
        FakeSample sample({}, PcmType(rate, channels, bits));
        stage.AdoptAudioType(&sample);
        target.channels = stage.audio_channels();
        break;
      }
      case 5:
        output.out_frame_rate = kRates[in.Take<uint8_t>() % std::size(kRates)];
        output.audio_volume = in.Take<int8_t>() % 12;
        stage.SetOutput(output);
        break;
      case 6:
        output.width = in.Take<uint8_t>() % 40 - 2;
        output.height = in.Take<uint8_t>() % 40 - 2;
        output.brightness_a = in.Take<int8_t>();
        stage.SetOutput(output);
        stage.set_crop(CropRect{in.Take<int8_t>() / 50.0, in.Take<int8_t>() / 50.0,
                                in.Take<int8_t>() / 50.0, in.Take<int8_t>() / 50.0});
        break;
      case 7:
        target.recording_flag = !target.recording_flag;
        if (op & 0x40) stage.BeginRecording(op & 0x20);
        break;
    }
    if (stage.audio_fill() < 0 || stage.audio_fill() > CaptureAudioBuffer::kCapacity)
      return "audio fill outside the buffer";
    for (const ProducedCall& call : target.calls)
      if (call.audio.size() * 2 > static_cast<size_t>(CaptureAudioBuffer::kSplitBytes))
        return "a producer call carried more than the largest slice";
    if (target.calls.size() > 100000) return "runaway output";
    target.calls.clear();
  }
  return "";
}

}  // namespace ovc::test
