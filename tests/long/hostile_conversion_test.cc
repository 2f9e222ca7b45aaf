// Hostile sources through the whole program: multiconv runs as a separate
// process on generated clips whose time stamps jump, whose sound has a long
// hole or starts late, and conversions are stopped at random moments. The
// outputs are read back with libavformat and ffprobe: every file the program
// leaves must play, and where the source is sane the pictures and the sound
// must stay together.


#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "long/multiconv_process.h"
#include "long/output_marks.h"
#include "long/parts_check.h"
#include "support/clip_generator.h"
#include "support/command_output.h"
#include "support/temp_world.h"

namespace ovc::test {
namespace {

// The PSP profile's output rate.
constexpr double kPspPeriod = 1001.0 / 30000;
// A flash and its click belong together when they are at most one output
// frame period apart; the click's onset is read to within a millisecond
// after AAC coding.
constexpr double kSyncLimit = kPspPeriod + 0.001;

class HostileConversionTest : public testing::Test {
 protected:
  void SetUp() override { world_.SetEnv("HOME", world_.home()); }

  std::string Source(const std::string& name, const ClipRecipe& clip_recipe) {
    const std::string path = world_.Path(name);
    EXPECT_EQ(WriteClip(path, clip_recipe), "");
    return path;
  }

  // Converts `source` with the PSP profile into a fresh folder.
  MulticonvRun ConvertToPsp(const std::string& source, const std::string& folder,
                            const MulticonvOptions& options = {}) {
    std::filesystem::create_directories(world_.Path(folder));
    MulticonvOptions run_options = options;
    run_options.folder = world_.root();
    return RunMulticonv(MULTICONV_PATH, {"-q", "-p", "PSP", "-o", world_.Path(folder), source},
                        run_options);
  }

  TempWorld world_;
};

// The seconds whose click the source's sound holds: the sound packet (from
// the first sample on, AAC's 1,024 sample frames) holding the click's start
// must lie outside the hole.
std::set<int> SecondsWithClicks(const ClipRecipe& clip_recipe) {
  constexpr int64_t kPacket = 1024;
  const int64_t begin = std::llround(std::ceil(clip_recipe.audio_start * clip_recipe.sample_rate));
  const int64_t gap_begin = std::llround(clip_recipe.gap_start * clip_recipe.sample_rate);
  const int64_t gap_end = std::llround((clip_recipe.gap_start + clip_recipe.gap_seconds) * clip_recipe.sample_rate);
  std::set<int> seconds;
  for (int s = 0; s < clip_recipe.seconds; ++s) {
    const int64_t click = static_cast<int64_t>(s) * clip_recipe.sample_rate;
    if (click < begin) continue;
    const int64_t packet = begin + (click - begin) / kPacket * kPacket;
    if (clip_recipe.gap_seconds > 0 && packet >= gap_begin && packet < gap_end) continue;
    seconds.insert(s);
  }
  return seconds;
}

// The first picture a conversion from the start shows: the source's first,
// or its second when the picture shown while the start was sought reached
// the capture before the conversion began (a race of the workflow).
void ExpectStartsAtTheSourceStart(const OutputMarks& marks) {
  ASSERT_FALSE(marks.frame_numbers.empty());
  EXPECT_GE(marks.frame_numbers.front(), 0);
  EXPECT_LE(marks.frame_numbers.front(), 1);
}

// Seconds of the source from the first picture the output shows.
double SourceSecondsShown(const ClipRecipe& clip_recipe, const OutputMarks& marks) {
  return clip_recipe.seconds - FrameStartSeconds(clip_recipe, std::max(0, marks.frame_numbers.front()));
}

// Every picture readable and shown no earlier than the one before it.
void ExpectFramesNeverGoBack(const OutputMarks& marks) {
  for (size_t k = 0; k < marks.frame_numbers.size(); ++k) {
    ASSERT_GE(marks.frame_numbers[k], 0) << "picture " << k;
    if (k > 0) {
      ASSERT_GE(marks.frame_numbers[k], marks.frame_numbers[k - 1]) << "picture " << k;
    }
  }
}

// The seconds heard in sync (click and flash within one output frame period)
// and a description of those heard out of it.
struct SyncResult {
  std::set<int> in_sync;
  std::string out_of_sync;
  double worst = 0;  // seconds
};

SyncResult CheckSync(const OutputMarks& marks, const ClipRecipe& source,
                     const std::set<int>& seconds_to_check) {
  SyncResult result;
  for (const SecondMark& mark : MatchSeconds(marks, source)) {
    if (!seconds_to_check.count(mark.second)) continue;
    if (mark.flash_found && std::abs(mark.offset) <= kSyncLimit) {
      result.in_sync.insert(mark.second);
      result.worst = std::max(result.worst, std::abs(mark.offset));
    } else {
      char text[160];
      std::snprintf(text, sizeof text, " second %d (click at %.3f s, flash %s %+.1f ms)",
                    mark.second, mark.click_time, mark.flash_found ? "at" : "missing",
                    mark.offset * 1000);
      result.out_of_sync += text;
    }
  }
  return result;
}

// --- Time stamps that jump. ------------------------------------------------

// Both streams' stamps jump together, as where recordings were spliced. A
// jump forward of more than a second moves the output grid across it (no
// frames for the gap); a shorter one is bridged by the next picture and
// silence. A jump back makes the capture drop the buffered sound ("time goes
// back") and skip the pictures stamped before the frames already written, so
// that much of the source is left out. In every case the output plays, its
// pictures never go back, and every second away from the jumps keeps its
// flash and its click together.
struct JumpCase {
  const char* name;
  double seconds;
  std::vector<ClipTimeJump> jumps;
  double output_seconds;  // the source less what jumps back, plus short gaps
};

void PrintTo(const JumpCase& c, std::ostream* os) { *os << c.name; }

class JumpingTimeStampsTest : public HostileConversionTest,
                              public testing::WithParamInterface<JumpCase> {};

TEST_P(JumpingTimeStampsTest, OutputPlaysAndStaysInSyncAwayFromTheJumps) {
  const JumpCase& c = GetParam();
  ClipRecipe clip_recipe;
  clip_recipe.seconds = c.seconds;
  clip_recipe.gop = 25;
  clip_recipe.audio_codec = ClipAudioCodec::kAac;
  clip_recipe.time_jumps = c.jumps;
  const std::string source = Source("jumping.ts", clip_recipe);

  MulticonvRun run = ConvertToPsp(source, "out");
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.outputs.size(), 1u) << run.err;
  OutputMarks marks;
  ASSERT_EQ(ReadMarks(run.outputs[0], &marks), "");
  ASSERT_NO_FATAL_FAILURE(ExpectFramesNeverGoBack(marks));

  ASSERT_NO_FATAL_FAILURE(ExpectStartsAtTheSourceStart(marks));
  const double video = VideoSeconds(marks);
  EXPECT_NEAR(video, c.output_seconds - (clip_recipe.seconds - SourceSecondsShown(clip_recipe, marks)),
              2 * kPspPeriod);
  EXPECT_NEAR(marks.audio_start + marks.audio_seconds, video, 2 * kPspPeriod);

  // The sane seconds: shown, and at least a second away from every jump and
  // from the start, where the stream is read without the packets before it
  // as after a splice.
  std::set<int> sane;
  const std::set<int> shown(marks.frame_numbers.begin(), marks.frame_numbers.end());
  for (int s : SecondsWithClicks(clip_recipe)) {
    const bool near_jump = s < 1 || std::any_of(c.jumps.begin(), c.jumps.end(),
                                                [&](const ClipTimeJump& j) {
                                                  return std::abs(s - j.at) < 1.0;
                                                });
    int flash = 0;
    while (FrameStartSeconds(clip_recipe, flash) < s - 1e-9) ++flash;
    if (!near_jump && shown.count(flash)) sane.insert(s);
  }
  ASSERT_GE(sane.size(), 5u);
  const SyncResult sync = CheckSync(marks, clip_recipe, sane);
  EXPECT_EQ(sync.in_sync, sane) << "out of sync:" << sync.out_of_sync;
  std::printf("%s: %.3f s of video, %.3f s of sound, %zu sane seconds, worst offset %.1f ms\n",
              c.name, video, marks.audio_start + marks.audio_seconds, sane.size(),
              sync.worst * 1000);
}

INSTANTIATE_TEST_SUITE_P(
    Spliced, JumpingTimeStampsTest,
    testing::Values(
        // The grid jumps across 4 s: nothing of the source is lost.
        JumpCase{"ForwardFourSeconds", 18, {{8.5, 4.0}}, 18},
        // Stamps go back 6 s: the 6 s stamped before what was written go.
        JumpCase{"BackSixSeconds", 20, {{8.5, -6.0}}, 14},
        // Half a second either way: the gap is bridged, the overlap dropped.
        JumpCase{"HalfSecondForwardAndBack", 18, {{6.5, 0.5}, {12.5, -0.5}}, 18},
        // Forward 3 s, then back 5 s (to 2 s before the first jump's stamps).
        JumpCase{"ForwardThenBack", 20, {{5.5, 3.0}, {11.5, -5.0}}, 15}),
    [](const testing::TestParamInfo<JumpCase>& info) { return std::string(info.param.name); });

// --- Sound that is missing for a while. ------------------------------------

struct SoundGapCase {
  const char* name;
  double seconds;
  double audio_start;
  double gap_start, gap_seconds;
  // Pictures the output repeats beyond the source: while the sound is
  // missing, audio owed for more than 8 s (at 48 kHz stereo) is paid with a
  // second of silence at a time, each carrying a repeated picture.
  int repeated_pictures;
};

void PrintTo(const SoundGapCase& c, std::ostream* os) { *os << c.name; }

class SoundGapTest : public HostileConversionTest,
                     public testing::WithParamInterface<SoundGapCase> {};

// The output covers the whole source with both streams; where the source
// has no sound the output is silent, and every click is heard with its flash.
TEST_P(SoundGapTest, OutputCoversTheSourceSilentWhereTheSoundIsMissing) {
  const SoundGapCase& c = GetParam();
  ClipRecipe clip_recipe;
  clip_recipe.seconds = c.seconds;
  clip_recipe.gop = 25;
  clip_recipe.audio_start = c.audio_start;
  clip_recipe.gap_start = c.gap_start;
  clip_recipe.gap_seconds = c.gap_seconds;
  const std::string source = Source("gap.mp4", clip_recipe);

  MulticonvRun run = ConvertToPsp(source, "out");
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.outputs.size(), 1u) << run.err;
  // The stretches without sound, less a tenth of a second at each edge for
  // the codec's ringing.
  std::vector<LevelWindow> silent;
  if (c.audio_start > 0) silent.push_back({0.0, c.audio_start - 0.1});
  if (c.gap_seconds > 0) silent.push_back({c.gap_start + 0.1, c.gap_start + c.gap_seconds - 0.1});
  OutputMarks marks;
  ASSERT_EQ(ReadMarks(run.outputs[0], &marks, &silent), "");
  ASSERT_NO_FATAL_FAILURE(ExpectFramesNeverGoBack(marks));
  ASSERT_NO_FATAL_FAILURE(ExpectStartsAtTheSourceStart(marks));
  EXPECT_EQ(marks.frame_numbers.back(), ClipFrameCount(clip_recipe) - 1);

  const double video = VideoSeconds(marks);
  EXPECT_NEAR(video, SourceSecondsShown(clip_recipe, marks) + c.repeated_pictures * kPspPeriod,
              kPspPeriod);
  EXPECT_NEAR(marks.audio_start + marks.audio_seconds, video, 2 * kPspPeriod);
  for (const LevelWindow& window : silent)
    EXPECT_LT(window.peak, 0.01) << "sound between " << window.from << " and " << window.to << " s";

  const std::set<int> expected = SecondsWithClicks(clip_recipe);
  const SyncResult sync = CheckSync(marks, clip_recipe, expected);
  EXPECT_EQ(sync.in_sync, expected) << "out of sync:" << sync.out_of_sync;
  // No click where the source has none.
  EXPECT_EQ(MatchSeconds(marks, clip_recipe).size(), expected.size());
  std::printf("%s: %.3f s of video, sound from %.3f s for %.3f s, worst offset %.1f ms\n", c.name,
              video, marks.audio_start, marks.audio_seconds, sync.worst * 1000);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, SoundGapTest,
    testing::Values(SoundGapCase{"TenSecondHole", 25, 0, 5.5, 10.0, 3},
                    SoundGapCase{"SoundThreeSecondsLate", 15, 3.0, 0, 0, 0}),
    [](const testing::TestParamInfo<SoundGapCase>& info) { return std::string(info.param.name); });

// --- Split output. -----------------------------------------------------------

// The 30-minute case in small: a source split into 1 MB parts. Each part
// keeps its own sound with its own pictures, and the parts add up to the
// source with nothing lost at a boundary.
TEST_F(HostileConversionTest, SplitPartsAreEachInSyncAndAddUpToTheSource) {
  ClipRecipe clip_recipe;
  clip_recipe.seconds = 40;  // about 2.7 MB at the PSP profile's rates
  clip_recipe.gop = 25;
  const std::string source = Source("split.mp4", clip_recipe);
  std::filesystem::create_directories(world_.Path("out"));
  MulticonvOptions options;
  options.folder = world_.root();
  MulticonvRun run = RunMulticonv(
      MULTICONV_PATH, {"-q", "-p", "PSP", "--split-mb", "1", "-o", world_.Path("out"), source},
      options);
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_GE(run.outputs.size(), 2u) << "the output did not split";
  PartsSummary summary;
  ASSERT_EQ(SummariseParts(run.outputs, clip_recipe, &summary), "");
  const PartsVerdict verdict = ExpectPartsWhole(summary, clip_recipe, kPspPeriod, kSyncLimit);
  std::printf("%zu parts: %.3f s of video, %.3f s of sound, worst offset %.1f ms\n",
              summary.parts.size(), verdict.video_seconds, verdict.audio_seconds,
              verdict.worst_offset * 1000);
}

// --- Stopping at random moments. -------------------------------------------

// Each stop: SIGINT at a moment drawn from a fixed-seed generator, from the
// moment the program can take it to a little past the end of the whole
// conversion (about 2 s here), the first moments drawn more often: opening
// the source and starting the conversion is where most can go wrong. The
// program must exit 1 (stopped, or interrupted before the conversion began)
// or 0 (it had finished), and every output file it leaves must be printed
// and play: pictures from the start without a gap, and sound as long as the
// pictures.
TEST_F(HostileConversionTest, StoppingAtRandomMomentsAlwaysLeavesAPlayableFile) {
  ClipRecipe clip_recipe;
  clip_recipe.container = ClipContainer::kMkv;
  clip_recipe.seconds = 60;
  const std::string source = Source("source.mkv", clip_recipe);

  std::mt19937 generator(20241208);
  constexpr int kStops = 20;
  constexpr double kLatestMs = 3000;
  int stopped = 0;
  for (int i = 0; i < kStops; ++i) {
    const double u = static_cast<double>(generator()) / generator.max();
    const int delay_ms = static_cast<int>(kLatestMs * u * u);
    SCOPED_TRACE("stop " + std::to_string(i) + " after " + std::to_string(delay_ms) + " ms");
    MulticonvOptions options;
    options.interrupt_after = std::chrono::milliseconds(delay_ms);
    const std::string folder = "out" + std::to_string(i);
    MulticonvRun run = ConvertToPsp(source, folder, options);
    ASSERT_TRUE(run.exited) << "signal " << run.signal;
    ASSERT_TRUE(run.exit_code == 0 || run.exit_code == 1) << run.exit_code << " " << run.err;
    if (run.exit_code == 1) {
      ++stopped;
      EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
    }
    std::printf("stop %2d after %4d ms: exit %d, %zu file(s)", i, delay_ms, run.exit_code,
                run.outputs.size());

    // Every video file left in the folder was printed.
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(world_.Path(folder)))
      if (entry.path().extension() == ".MP4") left.push_back(entry.path().string());
    std::vector<std::string> printed = run.outputs;
    std::sort(left.begin(), left.end());
    std::sort(printed.begin(), printed.end());
    EXPECT_EQ(left, printed);
    if (run.exit_code == 0) {
      ASSERT_EQ(run.outputs.size(), 1u);
    }

    for (const std::string& path : run.outputs) {
      EXPECT_EQ(ProbeEntry(path, "v:0", "stream=codec_name"), "mpeg4");
      EXPECT_EQ(ProbeEntry(path, "a:0", "stream=codec_name"), "aac");
      OutputMarks marks;
      ASSERT_EQ(ReadMarks(path, &marks), "") << path;
      ASSERT_NO_FATAL_FAILURE(ExpectFramesNeverGoBack(marks));
      ASSERT_NO_FATAL_FAILURE(ExpectStartsAtTheSourceStart(marks));
      // 25 fps shown at 29.97: a picture repeated now and then, none left out.
      for (size_t k = 1; k < marks.frame_numbers.size(); ++k)
        ASSERT_LE(marks.frame_numbers[k] - marks.frame_numbers[k - 1], 1) << "picture " << k;
      const double video = VideoSeconds(marks);
      EXPECT_LE(video, clip_recipe.seconds + kPspPeriod);
      if (run.exit_code == 0) {
        EXPECT_NEAR(video, SourceSecondsShown(clip_recipe, marks), kPspPeriod);
      }
      EXPECT_NEAR(marks.audio_start + marks.audio_seconds, video, 2 * kPspPeriod) << path;
      std::printf(", %.3f s of video, %.3f s of sound", video,
                  marks.audio_start + marks.audio_seconds);
    }
    std::printf("\n");
  }
  // How the moments fell depends on the machine's speed: both outcomes are
  // checked above, whichever occurred.
  std::printf("%d of %d conversions were stopped before their end\n", stopped, kStops);
}

}  // namespace
}  // namespace ovc::test
