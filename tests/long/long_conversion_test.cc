// A 30-minute source converted to PSP with a split size of 50 MB, multiconv
// running as a separate process. The parts must add up to the source with
// no picture or sound lost at their boundaries, every part must keep the
// source's flashes and clicks together to its end, and the program's memory
// must stay flat.
//
// A few minutes of work: it runs only with OVC_LONG_TESTS=1 (CTest label
// "long"; scripts/run-long-tests).

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "long/multiconv_process.h"
#include "long/output_marks.h"
#include "long/parts_check.h"
#include "support/clip_generator.h"
#include "support/temp_world.h"

namespace ovc::test {
namespace {

constexpr double kPspPeriod = 1001.0 / 30000;  // the PSP profile's output rate
// A flash and its click belong together when they are at most one output
// frame period apart; the click's onset is read to within a millisecond
// after AAC coding.
constexpr double kSyncLimit = kPspPeriod + 0.001;
constexpr double kSourceSeconds = 30 * 60;
constexpr int kSplitMb = 50;
constexpr int64_t kMemoryLimitKb = 200 * 1024;

double FileMb(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_size / (1024.0 * 1024.0) : 0;
}

TEST(LongConversionTest, ThirtyMinutesToPspInFiftyMegabytePartsStayWhole) {
  if (!std::getenv("OVC_LONG_TESTS"))
    GTEST_SKIP() << "a conversion of several minutes; set OVC_LONG_TESTS=1 "
                    "(scripts/run-long-tests) to run it";
  TempWorld world;
  world.SetEnv("HOME", world.home());
  ClipRecipe clip_recipe;
  clip_recipe.seconds = kSourceSeconds;
  clip_recipe.gop = 25;
  const std::string source = world.Path("thirty-minutes.mp4");
  ASSERT_EQ(WriteClip(source, clip_recipe), "");
  const std::string folder = world.Path("out");
  std::filesystem::create_directories(folder);

  MulticonvOptions options;
  options.folder = world.root();
  options.sample_interval = std::chrono::milliseconds(1000);
  MulticonvRun run = RunMulticonv(
      MULTICONV_PATH,
      {"-q", "-p", "PSP", "--split-mb", std::to_string(kSplitMb), "-o", folder, source}, options);
  ASSERT_TRUE(run.exited) << "signal " << run.signal;
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_GE(run.outputs.size(), 2u) << "the output did not split";
  std::printf("converted in %.1f s into %zu parts\n", run.seconds, run.outputs.size());

  PartsSummary summary;
  ASSERT_EQ(SummariseParts(run.outputs, clip_recipe, &summary), "");
  double elapsed = 0;
  for (size_t p = 0; p < summary.parts.size(); ++p) {
    const PartFigures& part = summary.parts[p];
    std::printf("part %zu: %.2f MB, %d pictures = %.3f s (ffprobe %.3f s), sound to %.3f s; "
                "starts at %.3f s of the output\n",
                p + 1, FileMb(part.path), part.pictures, part.video_seconds, part.probed_seconds,
                part.sound_end, elapsed);
    elapsed += part.video_seconds;
    if (p + 1 < summary.parts.size()) {
      // Split near the limit. The size is checked as the file grows; the
      // frames still queued and the file's index come on top of it.
      EXPECT_GT(FileMb(part.path), kSplitMb - 1.0) << part.path;
      EXPECT_LT(FileMb(part.path), kSplitMb + 1.0) << part.path;
    }
  }
  // Whole: the parts add up, nothing lost at the boundaries, in sync to
  // the end.
  const PartsVerdict verdict = ExpectPartsWhole(summary, clip_recipe, kPspPeriod, kSyncLimit);

  // Memory stays flat: the peak within the limit, and the second half of
  // the run no higher than the first half (after the first tenth) by more
  // than a few megabytes of allocator noise.
  const std::vector<int64_t>& rss = run.rss_samples_kb;
  ASSERT_GE(rss.size(), 10u);
  const size_t warm = rss.size() / 10, half = rss.size() / 2;
  const int64_t first_half = *std::max_element(rss.begin() + warm, rss.begin() + half);
  const int64_t second_half = *std::max_element(rss.begin() + half, rss.end());
  EXPECT_LE(run.peak_rss_kb, kMemoryLimitKb);
  EXPECT_LE(second_half, first_half + 16 * 1024);
  std::printf("video %.3f s, sound %.3f s, source %.3f s shown; %zu seconds measured, worst "
              "flash-to-click offset %.1f ms, %.1f ms in the last minute (period %.1f ms)\n",
              verdict.video_seconds, verdict.audio_seconds, verdict.shown_seconds,
              summary.offsets.size(), verdict.worst_offset * 1000, verdict.worst_at_end * 1000,
              kPspPeriod * 1000);
  std::printf("memory: peak %.1f MB; resident %.1f MB at a tenth, %.1f MB at the end; highest "
              "%.1f MB in the first half, %.1f MB in the second (%zu samples)\n",
              run.peak_rss_kb / 1024.0, rss[warm] / 1024.0, rss.back() / 1024.0,
              first_half / 1024.0, second_half / 1024.0, rss.size());
  RecordProperty("peak_rss_kb", static_cast<int>(run.peak_rss_kb));
  RecordProperty("worst_offset_us", static_cast<int>(std::lround(verdict.worst_offset * 1e6)));
}

}  // namespace
}  // namespace ovc::test
