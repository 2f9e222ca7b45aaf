// One whole conversion through the engine, headless: playback graph (free
// running) → capture stage → recording session → MP4 writer. Prints the wall
// seconds it took.
//
//   capture_convert SOURCE OUTPUT.mp4 WIDTH HEIGHT FPS

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/playback/capture_stage.h"
#include "engine/playback/playback_graph.h"
#include "engine/playback/recording_clock.h"
#include "engine/record/format_output_factory.h"
#include "engine/record/recording_session.h"

namespace {

class Headless : public ovc::NullPlaybackGraphHost,
                 public ovc::CaptureHost,
                 public ovc::PlaybackView {
 public:
  void HideStillPicture() override {}
  void PostProgress() override {}
  void VideoLayoutChanged(int, int) override {}
  bool PlaybackPosition(double* seconds) override {
    *seconds = 0;
    return true;
  }
  void ShowVideoWindow() override {}
  void ShowStillPicture() override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s SOURCE OUTPUT.mp4 WIDTH HEIGHT FPS\n", argv[0]);
    return 2;
  }
  ovc::OutputConfig output;
  output.format = ovc::kFormatMp4;
  output.device_kind = ovc::kDeviceOtherPlayer;
  output.width = std::atoi(argv[3]);
  output.height = std::atoi(argv[4]);
  output.out_frame_rate = std::atof(argv[5]);
  output.video_bitrate = 768;
  output.audio_bitrate = 128;
  output.audio_output_freq = 48000;
  output.audio_sampling = 3;
  output.audio_channels = 2;

  const auto begin = std::chrono::steady_clock::now();
  ovc::RecordingClock clock;
  ovc::FormatOutputFactory factory(nullptr);
  ovc::RecordingSession session(&output, &factory, 2);
  ovc::SessionRecordingTarget target(&session);
  Headless host;
  ovc::CaptureStage capture(&clock, &target, &host);
  ovc::PlaybackControl control(&clock, &capture, &target, &host);
  ovc::PlaybackGraph graph(&capture, &clock, &control, &host);
  graph.set_source_path(argv[1]);
  if (graph.BuildPlaybackGraph() != 0) return 1;
  std::remove(argv[2]);
  session.set_output_path(argv[2]);
  capture.source_audio_format().ApplyTo(&output);
  if (session.OpenOutput(false) != 0) return 1;
  capture.SetOutput(output);
  capture.BeginRecording(ovc::NeedsResize(output, true));
  session.StartProducers();
  graph.SetFreeRunning(true);
  clock.SetSpeed(0.01f);
  if (graph.graph()->Run() != 0) return 1;
  int32_t code = 0;
  intptr_t p1, p2;
  do {
    if (graph.graph()->events().GetEvent(&code, &p1, &p2, 600000) != 0) return 1;
  } while (code != ovc::media::kEventComplete);
  graph.graph()->Stop();
  capture.PassCaptureLock();
  session.StopProducers();
  session.FinishOutput();
  graph.ClosePlaybackGraph();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::printf("%.3f\n", seconds);
  return 0;
}
