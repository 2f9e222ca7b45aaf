// The whole engine on generated clips: graph → capture → recording session →
// MP4 writer, and the output read back. Flashes and clicks mark the whole
// seconds of the source; the output must keep them together.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ostream>

#include "common/scripted_message_box.h"
#include "engine/playback/capture_stage.h"
#include "engine/playback/capture_test_support.h"
#include "engine/playback/playback_graph.h"
#include "engine/record/format_output_factory.h"
#include "engine/record/recording_session.h"
#include "support/clip_generator.h"
#include "support/clip_reader.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

using HeadlessGraphHost = NullPlaybackGraphHost;

class HeadlessView : public PlaybackView {
 public:
  void HideStillPicture() override {}
  void ShowVideoWindow() override {}
  void ShowStillPicture() override {}
};

enum class Pattern { kOnePerPicture, kEverySecond, kRepeatsOneInFour, kAny };

struct SyncCase {
  const char* name;
  int fps_num, fps_den;
  double seconds;
  int width, height;
  double out_fps;
  Pattern pattern;
  double gap_start = 0, gap_seconds = 0;  // a hole in the sound
  double hole_start = 0, hole_seconds = 0;  // a hole in the pictures
  int sample_rate = 48000;
  int channels = 2;
  bool audio_8bit = false;
  test::ClipContainer container = test::ClipContainer::kMp4;
  bool default_waits = false;  // the capture's own bounds on its waits
  std::vector<int> frame_durations_ms = {};  // a variable frame rate (see ClipRecipe)
  int b_frames = 0;  // MPEG-2 B-pictures, which a lower output rate leaves undecoded
  bool interlaced = false;  // MPEG-2 pictures coded as fields: all decoded
};

void PrintTo(const SyncCase& c, std::ostream* os) { *os << c.name; }

// Where the tone bursts begin, in sample frames: 1 ms blocks of channel 0
// whose loudness exceeds 60% of the loudest block, bursts closer than 0.1 s
// counting as one. Loudness rather than single peaks, so that a downmix of
// several channels' tones cannot pass for a burst.
std::vector<int64_t> FindBursts(const std::vector<int16_t>& audio, int channels, int rate) {
  const int block = std::max(1, rate / 1000);
  const int64_t frames = static_cast<int64_t>(audio.size()) / channels;
  std::vector<double> loudness;
  for (int64_t first = 0; first + block <= frames; first += block) {
    double sum = 0;
    for (int64_t i = first; i < first + block; ++i) {
      const double v = audio[i * channels];
      sum += v * v;
    }
    loudness.push_back(std::sqrt(sum / block));
  }
  const double loudest = loudness.empty() ? 0 : *std::max_element(loudness.begin(), loudness.end());
  std::vector<int64_t> bursts;
  int64_t last = -rate;
  for (size_t b = 0; b < loudness.size(); ++b) {
    if (loudness[b] <= 0.6 * loudest) continue;
    const int64_t at = static_cast<int64_t>(b) * block;
    if (at - last >= rate / 10) bursts.push_back(at);
    last = at;
  }
  return bursts;
}

// How far a click may move: the 1 ms blocks FindBursts measures in, and the
// sound codec's rounding.
constexpr double kSoundSlack = 0.002;

// Converts the whole clip at `c.out_fps` and reads the result back.
void Convert(const SyncCase& c, const test::TempWorld& world, const test::ClipRecipe& clip_recipe,
             test::DecodedClip* decoded) {
  std::string source = world.Path("source.mp4");
  ASSERT_EQ(test::WriteClip(source, clip_recipe), "");
  if (!clip_recipe.frame_durations_ms.empty()) {
    // The source really has the variable rate: each picture at its own time.
    test::DecodedClip read;
    ASSERT_EQ(test::ReadClip(source, &read), "");
    ASSERT_EQ(static_cast<int>(read.frame_numbers.size()), test::ClipFrameCount(clip_recipe));
    for (size_t k = 0; k < read.frame_numbers.size(); ++k)
      ASSERT_NEAR(read.picture_times[k], test::FrameStartSeconds(clip_recipe, read.frame_numbers[k]),
                  1e-3);
  }
  if (c.hole_seconds > 0) {
    const std::string cut = world.Path("cut.mp4");
    ASSERT_EQ(test::CutVideoHole(source, cut, c.hole_start, c.hole_start + c.hole_seconds), "");
    source = cut;
  }

  OutputConfig output;
  output.format = kFormatMp4;
  output.device_kind = kDeviceOtherPlayer;
  output.width = c.width;
  output.height = c.height;
  output.out_frame_rate = c.out_fps;
  output.video_bitrate = 4000;
  output.audio_output_freq = 48000;
  output.audio_sampling = 3;
  output.audio_channels = 2;
  output.audio_bitrate = 128;

  RecordingClock clock;
  FormatOutputFactory factory(nullptr);
  RecordingSession session(&output, &factory, 2);
  SessionRecordingTarget target(&session);
  test::FakeHost capture_host;
  CaptureStage capture(&clock, &target, &capture_host);
  // Each wait ends as soon as the other stream delivers; long bounds keep a
  // busy machine's scheduling out of the result. The wait for audio that is
  // on its way runs out once where the sound has a hole or ends before the
  // pictures, so its bound is what such a clip's conversion takes longer.
  if (!c.default_waits) {
    CaptureStage::Waits waits;
    waits.for_video = std::chrono::milliseconds(10000);
    waits.for_audio = std::chrono::milliseconds(2000);
    capture.set_waits(waits);
  }
  HeadlessView view;
  PlaybackControl control(&clock, &capture, &target, &view);
  HeadlessGraphHost host;
  PlaybackGraph graph(&capture, &clock, &control, &host);
  graph.set_source_path(source);
  ASSERT_EQ(graph.BuildPlaybackGraph(), 0);

  // The conversion: recording on, the graph free-running, the clock at 1%.
  session.set_output_path(world.Path("out.mp4"));
  capture.source_audio_format().ApplyTo(&output);
  ASSERT_EQ(session.OpenOutput(false), 0);
  capture.SetOutput(output);
  capture.BeginRecording(NeedsResize(output, true));
  session.StartProducers();
  graph.SetFreeRunning(true);
  clock.SetSpeed(0.01f);
  ASSERT_EQ(graph.graph()->Run(), 0);
  int32_t code = 0;
  intptr_t p1, p2;
  do {
    ASSERT_EQ(graph.graph()->events().GetEvent(&code, &p1, &p2, 120000), media::kOk);
  } while (code != media::kEventComplete);
  graph.graph()->Stop();
  capture.PassCaptureLock();
  session.StopProducers();
  session.FinishOutput();
  graph.ClosePlaybackGraph();

  ASSERT_EQ(test::ReadClip(world.Path("out.mp4"), decoded), "");
}

class EngineSyncTest : public testing::TestWithParam<SyncCase> {};

TEST_P(EngineSyncTest, OutputKeepsFlashesAndClicksTogether) {
  const SyncCase& c = GetParam();
  test::TempWorld world;
  ScriptedMessageBox box;
  ScopedMessageBox installed(&box);
  test::ClipRecipe clip_recipe;
  clip_recipe.fps_num = c.fps_num;
  clip_recipe.fps_den = c.fps_den;
  clip_recipe.seconds = c.seconds;
  clip_recipe.width = c.width;
  clip_recipe.height = c.height;
  clip_recipe.gap_start = c.gap_start;
  clip_recipe.gap_seconds = c.gap_seconds;
  clip_recipe.gop = 25;
  clip_recipe.sample_rate = c.sample_rate;
  clip_recipe.channels = c.channels;
  clip_recipe.audio_8bit = c.audio_8bit;
  clip_recipe.container = c.container;
  clip_recipe.frame_durations_ms = c.frame_durations_ms;
  clip_recipe.b_frames = c.b_frames;
  clip_recipe.interlaced = c.interlaced;
  // MP2 in Matroska starts 10 ms before the pictures.
  if (c.b_frames > 0) clip_recipe.audio_codec = test::ClipAudioCodec::kPcm;
  test::DecodedClip out;
  ASSERT_NO_FATAL_FAILURE(Convert(c, world, clip_recipe, &out));
  EXPECT_TRUE(box.Texts().empty()) << box.Texts()[0];

  const double period = 1.0 / c.out_fps;
  const double in_fps = static_cast<double>(c.fps_num) / c.fps_den;
  // B-pictures no output frame shows are not decoded, unless they are
  // coded as fields: a picture's two may differ in whether others refer to
  // them.
  if (c.b_frames > 0) {
    EXPECT_EQ(test::TraceHas("left undecoded"), c.out_fps < in_fps && !c.interlaced);
  }
  const auto source_time = [&](int n) { return test::FrameStartSeconds(clip_recipe, n); };
  const int pictures = static_cast<int>(out.frame_numbers.size());
  ASSERT_GT(pictures, 0);
  for (int k = 0; k < pictures; ++k) ASSERT_GE(out.frame_numbers[k], 0) << "picture " << k;

  // Durations: both streams cover the range within one frame period.
  const double video_seconds = pictures * period;
  const double audio_seconds =
      static_cast<double>(out.audio.size()) / out.channels / out.sample_rate;
  // The grid jumps across a hole in the pictures and the sound follows it.
  const double range = c.seconds - c.hole_seconds;
  EXPECT_NEAR(video_seconds, range, period) << "pictures " << pictures;
  EXPECT_NEAR(audio_seconds, range, period);

  if (std::getenv("OVC_SYNC_DUMP")) {
    for (int k = 0; k < pictures; ++k) std::printf("%d:%d@%.3f ", k, out.frame_numbers[k], out.picture_times[k]);
    std::printf("\n");
  }
  // Every output frame shows the source picture on screen at the frame's
  // middle (no drift over the clip); the source may have moved on by up to a
  // millisecond (the rounding of its time stamps) or, across a hole, by a
  // frame. Between two pictures of a variable rate the capture only has the
  // estimated duration of the earlier one.
  double worst_lag = 0;
  const double slack = c.hole_seconds > 0 || !c.frame_durations_ms.empty() ? period : 1e-3;
  for (int k = 0; k < pictures; ++k) {
    const int n = out.frame_numbers[k];
    double at = out.picture_times[k];  // on the source's time line
    if (c.hole_seconds > 0 && source_time(n) >= c.hole_start) at += c.hole_seconds;
    const double middle = at + period / 2;
    worst_lag = std::max(worst_lag, std::abs(at - source_time(n)));
    ASSERT_GE(middle, source_time(n) - slack) << "picture " << k << " shows " << n;
    ASSERT_LE(middle, source_time(n + 1) + slack) << "picture " << k << " shows " << n;
  }
  // Which pictures went out.
  std::vector<int> steps;
  for (int k = 1; k < pictures; ++k) steps.push_back(out.frame_numbers[k] - out.frame_numbers[k - 1]);
  const auto count = [&](int step) { return std::count(steps.begin(), steps.end(), step); };
  switch (c.pattern) {
    case Pattern::kOnePerPicture:
      // Frame n shows picture n, at its own time.
      EXPECT_EQ(out.frame_numbers.front(), 0);
      EXPECT_EQ(count(1), static_cast<long>(steps.size()));
      EXPECT_LE(worst_lag, 1e-3);
      break;
    case Pattern::kEverySecond:
      EXPECT_EQ(count(2), static_cast<long>(steps.size()));
      break;
    case Pattern::kRepeatsOneInFour: {
      EXPECT_EQ(count(0) + count(1), static_cast<long>(steps.size()));
      const double repeats = static_cast<double>(count(0)) / steps.size();
      EXPECT_NEAR(repeats, 1.0 - in_fps / c.out_fps, 0.02);
      break;
    }
    case Pattern::kAny:
      break;
  }

  // Each click against the first picture of its second. The source itself
  // may show that picture a little after the second (it starts at or after
  // it); the output keeps that offset within one output frame period.
  const std::vector<int64_t> clicks = FindBursts(out.audio, out.channels, out.sample_rate);
  double worst = 0;
  double worst_against_source = 0;
  int matched = 0;
  std::vector<int> seconds_heard;
  for (int64_t click : clicks) {
    const double a = out.audio_start + static_cast<double>(click) / out.sample_rate;
    // The source second of this click: from the picture shown at its moment.
    const auto at = std::lower_bound(out.picture_times.begin(), out.picture_times.end(), a - period / 2);
    ASSERT_NE(at, out.picture_times.end()) << "click at " << a;
    const double second =
        std::round(source_time(out.frame_numbers[at - out.picture_times.begin()]));
    if (std::getenv("OVC_SYNC_DUMP")) std::printf("click %.4f second %.0f\n", a, second);
    // The sound keeps its place on the time line.
    const double shift = c.hole_seconds > 0 && second >= c.hole_start ? c.hole_seconds : 0;
    ASSERT_LT(std::abs(a + shift - second), kSoundSlack) << "click at " << a;
    seconds_heard.push_back(static_cast<int>(second));
    int flash_number = 0;
    while (source_time(flash_number) < second - 1e-9) ++flash_number;
    const double source_offset = source_time(flash_number) - second;
    const auto it = std::find_if(out.frame_numbers.begin(), out.frame_numbers.end(),
                                 [&](int n) { return n >= flash_number; });
    if (it == out.frame_numbers.end()) continue;
    const double v = out.picture_times[it - out.frame_numbers.begin()];
    worst = std::max(worst, std::abs(v - a));
    worst_against_source = std::max(worst_against_source, std::abs(v - a - source_offset));
    ++matched;
    EXPECT_LE(std::abs(v - a - source_offset), period / 2 + kSoundSlack) << "second " << second;
  }
  // The source lacks whole AAC packets (1,024 sample frames) that begin in
  // the hole; a click survives when its packet begins before it.
  int expected_clicks = 0;
  std::vector<int> seconds_expected;
  const int64_t gap_begin = std::llround(c.gap_start * clip_recipe.sample_rate);
  const int64_t gap_end = std::llround((c.gap_start + c.gap_seconds) * clip_recipe.sample_rate);
  for (int s = 0; s < c.seconds; ++s) {
    const int64_t packet = static_cast<int64_t>(s) * clip_recipe.sample_rate / 1024 * 1024;
    const bool in_picture_hole = s >= c.hole_start && s < c.hole_start + c.hole_seconds;
    if ((c.gap_seconds == 0 || packet < gap_begin || packet >= gap_end) && !in_picture_hole) {
      ++expected_clicks;
      seconds_expected.push_back(s);
    }
  }
  // Each click is heard with the pictures of its own second.
  EXPECT_EQ(seconds_heard, seconds_expected);
  EXPECT_EQ(matched, expected_clicks);
  RecordProperty("worst_offset_ms", static_cast<int>(std::lround(worst * 1000)));
  std::printf("%s: worst flash-to-click offset %.1f ms (%.1f ms beyond the source's own), worst "
              "picture lag %.1f ms (period %.1f ms), %d clicks, video %.3f s, audio %.3f s\n",
              c.name, worst * 1000, worst_against_source * 1000, worst_lag * 1000, period * 1000,
              matched, video_seconds, audio_seconds);

  // The hole in the sound is silence.
  if (c.gap_seconds > 0) {
    const double gap_out = c.gap_start - (c.gap_start >= c.hole_start ? c.hole_seconds : 0);
    const int64_t from = static_cast<int64_t>((gap_out + 0.1 - out.audio_start) * out.sample_rate);
    const int64_t to =
        static_cast<int64_t>((gap_out + c.gap_seconds - 0.1 - out.audio_start) * out.sample_rate);
    int peak = 0;
    for (int64_t i = from * out.channels; i < to * out.channels && i < (int64_t)out.audio.size(); ++i)
      peak = std::max(peak, std::abs(static_cast<int>(out.audio[i])));
    EXPECT_LT(peak, 300);
  }
}

// Picture durations of a variable-rate source, in milliseconds: 42.9 ms on
// average, from 20 to 80 ms, so that the pictures fall anywhere against the
// output grid and the whole seconds.
const std::vector<int> kVariableDurations = {40, 20, 60, 33, 47, 80, 20};

INSTANTIATE_TEST_SUITE_P(
    Clips, EngineSyncTest,
    testing::Values(
        SyncCase{"Pal25To25", 25, 1, 10, 320, 240, 25, Pattern::kOnePerPicture},
        // The profiles' 29.97 is not quite the source's 30000/1001.
        SyncCase{"Ntsc29_97To29_97", 30000, 1001, 10, 320, 240, 29.97, Pattern::kOnePerPicture},
        SyncCase{"Pal25To12_5", 25, 1, 10, 320, 240, 12.5, Pattern::kEverySecond},
        SyncCase{"Film23_976To29_97", 24000, 1001, 10, 320, 240, 30000.0 / 1001,
                 Pattern::kRepeatsOneInFour},
        SyncCase{"Ntsc29_97To14_985", 30000, 1001, 10, 320, 240, 15000.0 / 1001, Pattern::kAny},
        SyncCase{"AudioHole", 25, 1, 12, 320, 240, 25, Pattern::kOnePerPicture, 4.0, 1.5},
        SyncCase{"Mono44k", 25, 1, 10, 320, 240, 25, Pattern::kOnePerPicture, 0, 0, 0, 0, 44100, 1},
        SyncCase{"Surround51To29_97", 25, 1, 10, 320, 240, 30000.0 / 1001, Pattern::kAny, 0, 0, 0,
                 0, 48000, 6},
        SyncCase{"EightBitMkv", 25, 1, 10, 320, 240, 25, Pattern::kOnePerPicture, 0, 0, 0, 0, 22050,
                 1, true, test::ClipContainer::kMkv},
        SyncCase{"TwoMinutesSmall", 25, 1, 120, 160, 96, 14.985, Pattern::kAny},
        // A 2 s hole in the pictures: the grid jumps across it and the sound
        // must follow; the later hole in the sound marks which seconds are
        // heard where. Once with the capture's own bounds on its waits.
        SyncCase{"PictureHole", 25, 1, 12, 320, 240, 25, Pattern::kAny, 8.5, 1.0, 4.0, 2.0},
        SyncCase{"PictureHoleDefaultWaits", 25, 1, 12, 320, 240, 25, Pattern::kAny, 8.5, 1.0, 4.0,
                 2.0, 48000, 2, false, test::ClipContainer::kMp4, true},
        SyncCase{"VariableRateTo25", 70, 3, 12, 320, 240, 25, Pattern::kAny, 0, 0, 0, 0, 48000, 2,
                 false, test::ClipContainer::kMp4, false, kVariableDurations},
        SyncCase{"VariableRateTo14_985", 70, 3, 12, 320, 240, 15000.0 / 1001, Pattern::kAny, 0, 0,
                 0, 0, 48000, 2, false, test::ClipContainer::kMp4, false, kVariableDurations},
        // MPEG-2 with B-pictures: those a lower rate does not show are left
        // undecoded, the others still show at their times.
        SyncCase{"BPictures25To25", 25, 1, 10, 320, 240, 25, Pattern::kOnePerPicture, 0, 0, 0, 0,
                 48000, 2, false, test::ClipContainer::kMkv, false, {}, 2},
        SyncCase{"BPictures25To12_5", 25, 1, 10, 320, 240, 12.5, Pattern::kEverySecond, 0, 0, 0, 0,
                 48000, 2, false, test::ClipContainer::kMkv, false, {}, 2},
        SyncCase{"BPictures29_97To15", 30000, 1001, 10, 320, 240, 15, Pattern::kAny, 0, 0, 0, 0,
                 48000, 2, false, test::ClipContainer::kMkv, false, {}, 3},
        SyncCase{"InterlacedBPictures25To12_5", 25, 1, 10, 320, 240, 12.5, Pattern::kEverySecond,
                 0, 0, 0, 0, 48000, 2, false, test::ClipContainer::kMkv, false, {}, 2, true}),
    [](const testing::TestParamInfo<SyncCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ovc
