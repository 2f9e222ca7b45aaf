// Feeds raw pictures and sound through the recording engine into the FFmpeg
// writer, as a conversion does after the capture stage: one 4:2:0 frame
// at a time, each with the sound of its frame period, through
// RecordingSession with the encoding threads (two or more processors).
//
//   convert_feed PROFILE VIDEO.i420 AUDIO.s16 OUTPUT
//
// PROFILE is psp-mpeg4 or ipod-h264 (the shipped profiles' settings). The
// input is 320x240 planar 4:2:0 (yuv420p) at 29.97 frames per second and 48000 Hz stereo
// signed 16-bit PCM. Prints the frames written and the seconds taken.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/record/mp4_writer.h"
#include "engine/record/recording_session.h"
#include "platform/av/i420_frame.h"

namespace {

class Mp4Factory : public ovc::OutputFactory {
 public:
  std::unique_ptr<ovc::FileOutput> Open(const ovc::OutputConfig& output, const std::string& path,
                                        bool audio_enabled) override {
    return ovc::Mp4Writer::Open(output, path, audio_enabled);
  }
};

bool ConfigureProfile(const std::string& name, ovc::OutputConfig* output) {
  output->format = ovc::kFormatMp4;
  output->width = 320;
  output->height = 240;
  output->out_frame_rate = 29.97;
  output->input_sample_rate = 48000;
  output->input_channels = 2;
  output->audio_channels = 2;
  output->audio_bitrate = 128;
  output->title = "bench";
  if (name == "psp-mpeg4") {
    output->device_kind = ovc::kDevicePsp;
    output->use_h264 = false;
    output->video_bitrate = 768;
    output->audio_output_freq = 48000;
    return true;
  }
  if (name == "ipod-h264") {
    output->device_kind = ovc::kDeviceIpod;
    output->use_h264 = true;
    output->video_bitrate = 600;
    output->audio_output_freq = 44100;
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s psp-mpeg4|ipod-h264 VIDEO.i420 AUDIO.s16 OUTPUT\n", argv[0]);
    return 2;
  }
  ovc::OutputConfig output;
  if (!ConfigureProfile(argv[1], &output)) {
    std::fprintf(stderr, "unknown profile %s\n", argv[1]);
    return 2;
  }
  FILE* video = std::fopen(argv[2], "rb");
  FILE* audio = std::fopen(argv[3], "rb");
  if (!video || !audio) {
    std::fprintf(stderr, "cannot read the input files\n");
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  Mp4Factory factory;
  const int processors = static_cast<int>(std::thread::hardware_concurrency());
  ovc::RecordingSession session(&output, &factory, processors);
  session.set_output_path(argv[4]);
  if (session.OpenOutput(false) != 0) return 1;
  session.StartProducers();

  const size_t frame_bytes = ovc::av::I420Frame{output.width, output.height}.bytes();
  std::vector<uint8_t> frame(frame_bytes);
  std::vector<int16_t> pcm;
  const double rate = output.input_sample_rate;
  long consumed = 0;
  int frames = 0;
  while (std::fread(frame.data(), 1, frame_bytes, video) == frame_bytes) {
    const long end = static_cast<long>(std::floor((frames + 1) * rate / output.out_frame_rate));
    const int n = static_cast<int>(end - consumed);
    pcm.assign(static_cast<size_t>(n) * output.input_channels, 0);
    const size_t got = std::fread(pcm.data(), sizeof(int16_t) * output.input_channels, n, audio);
    consumed = end;
    session.Produce(frame.data(), pcm.data(), static_cast<int>(got));
    ++frames;
  }
  // The sound after the last picture, as the capture stage delivers it.
  pcm.assign(static_cast<size_t>(rate / output.out_frame_rate + 1) * output.input_channels, 0);
  const size_t got = std::fread(pcm.data(), sizeof(int16_t) * output.input_channels,
                                pcm.size() / output.input_channels, audio);
  if (got > 0) session.Produce(nullptr, pcm.data(), static_cast<int>(got));
  session.StopProducers();
  session.FinishOutput();
  std::fclose(video);
  std::fclose(audio);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d frames in %.2f s\n", frames, seconds);
  return 0;
}
