// Plays generated clips through the graph and checks what the grabbers see:
// every picture once and in order, as YUY2 with the right header; all the
// sound as PCM of the right format, on a time line that matches the clip;
// times that restart at 0 after a seek; completion once at the end.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <ostream>
#include <string>

#include "platform/media/filter_graph.h"
#include "platform/media/grabber_filter.h"
#include "platform/media/media_test_support.h"
#include "support/clip_generator.h"
#include "support/temp_world.h"

namespace ovc::media::test {
namespace {

using ovc::test::ClipContainer;
using ovc::test::ClipRecipe;

std::string Extension(const ClipRecipe& clip_recipe) {
  switch (clip_recipe.container) {
    case ClipContainer::kMp4:
      return ".mp4";
    case ClipContainer::kMkv:
      return ".mkv";
    case ClipContainer::kAvi:
      return ".avi";
  }
  return "";
}

ReferenceTime FrameTime(const ClipRecipe& clip_recipe, int n) {
  return static_cast<ReferenceTime>(std::llround(1e7 * n * clip_recipe.fps_den / clip_recipe.fps_num));
}

// A graph with both grabbers, the clip rendered into it, running free on a
// clock that never moves.
struct Player {
  explicit Player(const std::string& path) {
    EXPECT_EQ(graph.AddFilter(video, "Video Grabber"), kOk);
    EXPECT_EQ(graph.AddFilter(audio, "Audio Grabber"), kOk);
    render_result = graph.RenderFile(path);
    EXPECT_EQ(graph.SetReferenceClock(clock), kOk);
    graph.SetFreeRunning(true);
  }

  std::shared_ptr<VideoGrabber> video = std::make_shared<VideoGrabber>();
  std::shared_ptr<AudioGrabber> audio = std::make_shared<AudioGrabber>();
  std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>(123456789);
  FilterGraph graph;
  MediaResult render_result = kErrorFail;
};

// Segment time of every click in the recorded sound of channel 0.
std::vector<ReferenceTime> ClickTimes(const GrabberRecorder& recorder, size_t first_block = 0) {
  const std::vector<AudioRecord> blocks = recorder.audio();
  const std::vector<int16_t> samples = recorder.channel0();
  const MediaType type = recorder.audio_type();
  std::vector<ReferenceTime> times;
  if (blocks.size() <= first_block) return times;
  const int64_t from = blocks[first_block].first_sample;
  for (int64_t index : ovc::test::FindClicks(samples.data() + from,
                                             static_cast<int64_t>(samples.size()) - from, 1,
                                             type.wave.samples_per_sec)) {
    index += from;
    size_t b = first_block;
    while (b + 1 < blocks.size() && blocks[b + 1].first_sample <= index) ++b;
    times.push_back(blocks[b].start + (index - blocks[b].first_sample) * kUnitsPerSecond /
                                          static_cast<int64_t>(type.wave.samples_per_sec));
  }
  return times;
}

struct RenderCase {
  std::string name;
  ClipRecipe clip_recipe;
  FormatType format;
  int32_t width;
  int32_t height;
  uint32_t aspect_x;  // extended format only
  uint32_t aspect_y;
  int channels;
  int bits;
  int codec_frame;  // sample frames by which the decoded total may differ
};
void PrintTo(const RenderCase& c, std::ostream* os) { *os << c.name; }

ClipRecipe MakeClip(ClipContainer container, auto&& adjust) {
  ClipRecipe clip_recipe;
  clip_recipe.container = container;
  clip_recipe.width = 160;
  clip_recipe.height = 120;
  adjust(clip_recipe);
  return clip_recipe;
}

const RenderCase kRenderCases[] = {
    {"Mp4Mpeg4AacStereo48k", MakeClip(ClipContainer::kMp4, [](ClipRecipe&) {}), FormatType::kVideoInfo,
     160, 120, 0, 0, 2, 16, 1024},
    {"MkvMpeg2Mp2Mono32k",
     MakeClip(ClipContainer::kMkv, [](ClipRecipe& s) { s.channels = 1, s.sample_rate = 32000; }),
     FormatType::kVideoInfo, 160, 120, 0, 0, 1, 16, 1152},
    {"AviMpeg2EightBitMono22k",
     MakeClip(ClipContainer::kAvi,
          [](ClipRecipe& s) { s.channels = 1, s.sample_rate = 22050, s.audio_8bit = true; }),
     FormatType::kVideoInfo, 160, 120, 0, 0, 1, 8, 0},
    {"MkvPcm51At2997",
     MakeClip(ClipContainer::kMkv,
          [](ClipRecipe& s) { s.channels = 6, s.sample_rate = 44100, s.fps_num = 30000, s.fps_den = 1001; }),
     FormatType::kVideoInfo, 160, 120, 0, 0, 6, 16, 0},
    {"Mp4Aac71MixedDownTo51", MakeClip(ClipContainer::kMp4, [](ClipRecipe& s) { s.channels = 8; }),
     FormatType::kVideoInfo, 160, 120, 0, 0, 6, 16, 1024},
    {"Mp4NonSquarePixels",
     MakeClip(ClipContainer::kMp4,
          [](ClipRecipe& s) { s.width = 352, s.height = 288, s.sample_aspect_num = 12, s.sample_aspect_den = 11; }),
     FormatType::kVideoInfo2, 352, 288, 4, 3, 2, 16, 1024},
    {"AviPcmOddWidthIsWidened",
     MakeClip(ClipContainer::kAvi,
          [](ClipRecipe& s) { s.width = 175, s.audio_codec = ovc::test::ClipAudioCodec::kPcm; }),
     FormatType::kVideoInfo, 176, 120, 0, 0, 2, 16, 0},
};

class RenderFileTest : public ::testing::TestWithParam<RenderCase> {};

TEST_P(RenderFileTest, PlaysEveryPictureAndAllTheSoundInOrder) {
  const RenderCase& c = GetParam();
  ovc::test::TempWorld world;
  const std::string path = world.Path("clip" + Extension(c.clip_recipe));
  ASSERT_EQ(ovc::test::WriteClip(path, c.clip_recipe), "");
  Player player(path);
  ASSERT_EQ(player.render_result, kOk);
  GrabberRecorder recorder(player.video.get(), player.audio.get());
  StopOnExit stop(player.graph);

  ASSERT_EQ(player.graph.Run(), kOk);
  ASSERT_EQ(WaitForEvent(player.graph), kEventComplete);
  double position = 0, duration = 0;
  player.graph.GetCurrentPosition(&position);
  player.graph.GetDuration(&duration);
  EXPECT_NEAR(duration, c.clip_recipe.seconds, 0.05);
  EXPECT_DOUBLE_EQ(position, duration);
  ASSERT_EQ(player.graph.Stop(), kOk);
  EXPECT_TRUE(PendingEvents(player.graph).empty()) << "completion is reported once";
  EXPECT_EQ(player.clock->wait_calls(), 0) << "free-running never waits on the clock";

  // Pictures: the connected type and every picture, in order.
  const MediaType video_type = recorder.video_type();
  ASSERT_EQ(video_type.major, MajorType::kVideo);
  EXPECT_EQ(video_type.subtype, kSubtypeYuy2);
  ASSERT_EQ(video_type.format_type, c.format);
  const BitmapHeader& bmi = c.format == FormatType::kVideoInfo ? video_type.video.bmi
                                                               : video_type.video2.bmi;
  const ReferenceTime frame_time = c.format == FormatType::kVideoInfo
                                       ? video_type.video.avg_time_per_frame
                                       : video_type.video2.avg_time_per_frame;
  EXPECT_EQ(bmi.width, c.width);
  EXPECT_EQ(bmi.height, c.height);
  EXPECT_EQ(bmi.bit_count, 16);
  EXPECT_EQ(bmi.compression, kSubtypeYuy2);
  EXPECT_EQ(bmi.size_image, static_cast<uint32_t>(c.width * c.height * 2));
  EXPECT_NEAR(frame_time, FrameTime(c.clip_recipe, 1), 1);
  if (c.format == FormatType::kVideoInfo2) {
    EXPECT_EQ(video_type.video2.picture_aspect_x, c.aspect_x);
    EXPECT_EQ(video_type.video2.picture_aspect_y, c.aspect_y);
  }

  const std::vector<VideoRecord> pictures = recorder.video();
  ASSERT_EQ(static_cast<int>(pictures.size()), ovc::test::ClipFrameCount(c.clip_recipe));
  // A container may place the first picture a little after 0 (an audio
  // encoder's delay), but never by a whole picture.
  EXPECT_GE(pictures[0].start, 0);
  EXPECT_LT(pictures[0].start, frame_time);
  for (size_t n = 0; n < pictures.size(); ++n) {
    SCOPED_TRACE("picture " + std::to_string(n));
    EXPECT_EQ(pictures[n].frame_number, static_cast<int>(n));
    EXPECT_EQ(pictures[n].flash, ovc::test::IsFlashFrameNumber(c.clip_recipe, static_cast<int>(n)));
    EXPECT_EQ(pictures[n].length, c.width * c.height * 2);
    EXPECT_EQ(pictures[n].type_changed, 0);
    EXPECT_NEAR(pictures[n].start - pictures[0].start, FrameTime(c.clip_recipe, static_cast<int>(n)), 10000);
    EXPECT_GT(pictures[n].stop, pictures[n].start);
  }

  // Sound: the connected type, a seamless time line and every sample.
  const MediaType audio_type = recorder.audio_type();
  ASSERT_EQ(audio_type.major, MajorType::kAudio);
  EXPECT_EQ(audio_type.subtype, kSubtypePcm);
  ASSERT_EQ(audio_type.format_type, FormatType::kWaveFormatEx);
  const WaveFormat& wave = audio_type.wave;
  EXPECT_EQ(wave.format_tag, 1);
  EXPECT_EQ(wave.channels, c.channels);
  EXPECT_EQ(static_cast<int>(wave.samples_per_sec), c.clip_recipe.sample_rate);
  EXPECT_EQ(wave.bits_per_sample, c.bits);
  EXPECT_EQ(wave.block_align, c.channels * c.bits / 8);
  EXPECT_EQ(wave.avg_bytes_per_sec, wave.samples_per_sec * wave.block_align);

  const std::vector<AudioRecord> blocks = recorder.audio();
  ASSERT_FALSE(blocks.empty());
  EXPECT_EQ(blocks[0].start, 0);
  for (size_t b = 0; b < blocks.size(); ++b) {
    SCOPED_TRACE("block " + std::to_string(b));
    ASSERT_EQ(blocks[b].length % wave.block_align, 0);
    const int64_t frames = blocks[b].length / wave.block_align;
    EXPECT_NEAR(blocks[b].stop - blocks[b].start, frames * kUnitsPerSecond / c.clip_recipe.sample_rate, 1);
    if (b > 0) {
      EXPECT_EQ(blocks[b].start, blocks[b - 1].stop);
    }
  }
  EXPECT_NEAR(static_cast<double>(recorder.channel0().size()),
              static_cast<double>(ovc::test::ClipSampleCount(c.clip_recipe)), c.codec_frame);

  // Sync: a click at every whole second, heard when the flash is seen.
  const std::vector<ReferenceTime> clicks = ClickTimes(recorder);
  ASSERT_EQ(clicks.size(), static_cast<size_t>(std::ceil(c.clip_recipe.seconds)));
  for (size_t s = 0; s < clicks.size(); ++s) {
    const auto flash = std::find_if(pictures.begin(), pictures.end(), [&](const VideoRecord& r) {
      return r.flash && r.start + frame_time / 2 >= static_cast<ReferenceTime>(s) * kUnitsPerSecond;
    });
    ASSERT_NE(flash, pictures.end());
    EXPECT_NEAR(clicks[s], flash->start, 50000) << "second " << s;
  }
}

INSTANTIATE_TEST_SUITE_P(Clips, RenderFileTest, ::testing::ValuesIn(kRenderCases),
                         [](const auto& info) { return info.param.name; });

// Seeking: segment time restarts at 0 with the picture showing at the
// target, and the sound restarts at 0 in step with it.
struct SeekCase {
  std::string name;
  ClipContainer container;
  double target;     // seconds
  bool paused;       // seek while paused (else while running)
  int first_frame;   // the picture showing at the target
};
void PrintTo(const SeekCase& c, std::ostream* os) { *os << c.name; }

const SeekCase kSeekCases[] = {
    {"PausedMp4BetweenPictures", ClipContainer::kMp4, 0.61, true, 15},
    {"PausedMp4OnAFlash", ClipContainer::kMp4, 1.0, true, 25},
    {"RunningMp4", ClipContainer::kMp4, 1.3, false, 32},
    {"PausedMkvMpeg2", ClipContainer::kMkv, 1.3, true, 32},
    {"RunningAviMpeg2Mp2", ClipContainer::kAvi, 0.5, false, 12},
};

// The records after the last point where times restart: the new segment's.
template <typename Record>
std::vector<Record> AfterRestart(const std::vector<Record>& records) {
  size_t first = 0;
  // Within a run the starts rise; a run that restarts may begin where the
  // last one began (a paused run that delivered one block before the seek).
  for (size_t i = 1; i < records.size(); ++i) {
    if (records[i].start <= records[i - 1].start) first = i;
  }
  return std::vector<Record>(records.begin() + first, records.end());
}

class SeekTest : public ::testing::TestWithParam<SeekCase> {};

TEST_P(SeekTest, RestartsSegmentTimeAtTheTarget) {
  const SeekCase& c = GetParam();
  ovc::test::TempWorld world;
  ClipRecipe clip_recipe;
  clip_recipe.container = c.container;
  clip_recipe.width = 160;
  clip_recipe.height = 120;
  clip_recipe.seconds = 3.0;
  const std::string path = world.Path("clip" + Extension(clip_recipe));
  ASSERT_EQ(ovc::test::WriteClip(path, clip_recipe), "");
  Player player(path);
  ASSERT_EQ(player.render_result, kOk);
  // Stays alive while its callbacks may still be running.
  GrabberRecorder before(player.video.get(), player.audio.get());
  StopOnExit stop(player.graph);
  if (c.paused) {
    ASSERT_EQ(player.graph.Pause(), kOk);
    ASSERT_TRUE(before.WaitForVideoCount(1));
  } else {
    ASSERT_EQ(player.graph.Run(), kOk);
    ASSERT_TRUE(before.WaitForVideoCount(5));
  }
  GrabberRecorder recorder(player.video.get(), player.audio.get());
  StopOnExit stop_first(player.graph);
  ASSERT_EQ(player.graph.SetCurrentPosition(c.target), kOk);
  EXPECT_EQ(player.graph.GetState(), c.paused ? GraphState::kPaused : GraphState::kRunning);
  if (c.paused) {
    double position = 0;
    player.graph.GetCurrentPosition(&position);
    EXPECT_DOUBLE_EQ(position, c.target);
    ASSERT_TRUE(recorder.WaitForVideoCount(1));
    EXPECT_EQ(recorder.video()[0].frame_number, c.first_frame) << "the paused picture";
    ASSERT_EQ(player.graph.Run(), kOk);
  }
  ASSERT_EQ(WaitForEvent(player.graph), kEventComplete);
  player.graph.Stop();

  const std::vector<VideoRecord> pictures = AfterRestart(recorder.video());
  ASSERT_FALSE(pictures.empty());
  EXPECT_EQ(pictures[0].start, 0);
  const int frames = ovc::test::ClipFrameCount(clip_recipe);
  ASSERT_EQ(static_cast<int>(pictures.size()), frames - c.first_frame);
  for (size_t i = 0; i < pictures.size(); ++i) {
    EXPECT_EQ(pictures[i].frame_number, c.first_frame + static_cast<int>(i));
  }

  const std::vector<AudioRecord> blocks = AfterRestart(recorder.audio());
  ASSERT_FALSE(blocks.empty());
  EXPECT_EQ(blocks[0].start, 0);
  const double seconds_left = clip_recipe.seconds - c.target;
  const auto& last = blocks.back();
  EXPECT_NEAR(static_cast<double>(last.stop) / kUnitsPerSecond, seconds_left, 0.03);
  // The next whole second's click is heard with its flash.
  const size_t first_block = recorder.audio().size() - blocks.size();
  const std::vector<ReferenceTime> clicks = ClickTimes(recorder, first_block);
  ASSERT_FALSE(clicks.empty());
  const auto flash = std::find_if(pictures.begin(), pictures.end(),
                                  [](const VideoRecord& r) { return r.flash; });
  ASSERT_NE(flash, pictures.end());
  EXPECT_NEAR(static_cast<double>(clicks[0]) / kUnitsPerSecond,
              static_cast<double>(flash->start) / kUnitsPerSecond, 0.005);
  EXPECT_NEAR(static_cast<double>(flash->start) / kUnitsPerSecond, std::ceil(c.target) - c.target,
              0.02);
}

INSTANTIATE_TEST_SUITE_P(Targets, SeekTest, ::testing::ValuesIn(kSeekCases),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace ovc::media::test
