#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry/registry_store.h"
#include "platform/vfw/compression_manager.h"
#include "support/temp_world.h"
#include "vfw_test_support.h"

namespace ovc::vfw::test {
namespace {

namespace fs = std::filesystem;

SequenceOptions Frames(int frames, int detail_from = kNoDetail) {
  SequenceOptions options;
  options.frames = frames;
  options.detail_from = detail_from;
  return options;
}

class SequenceCompressionTest : public ::testing::TestWithParam<FourCC> {
 protected:
  ovc::test::TempWorld world_;
};

TEST_P(SequenceCompressionTest, EveryFrameDecodesBackWithKeyFramesEvery15) {
  const FourCC handler = GetParam();
  ASSERT_EQ(SetCompressorBitRate(handler, 3000), registry::kSuccess);
  for (bool i420 : {false, true}) {
    SCOPED_TRACE(i420 ? "I420" : "YUY2");
    SequenceOptions options = Frames(64);
    options.i420 = i420;
    std::vector<CompressedFrame> frames = CompressPattern(handler, options);
    ASSERT_EQ(frames.size(), 64u);
    for (int i = 0; i < 64; ++i) {
      EXPECT_FALSE(frames[i].bytes.empty()) << "frame " << i;
      EXPECT_EQ(frames[i].key, handler == kHandlerMjpg || i % 15 == 0) << "frame " << i;
    }
    std::vector<std::vector<uint8_t>> pictures =
        DecodeToYuy2(handler, options.width, options.height, frames);
    ASSERT_EQ(pictures.size(), 64u);
    for (int i = 0; i < 64; ++i) {
      std::vector<uint8_t> given = MakeYuy2Frame(options.width, options.height, i);
      // I420 holds the chroma of every other line.
      const size_t line = 2 * static_cast<size_t>(options.width);
      for (size_t y = 1; i420 && y < static_cast<size_t>(options.height); y += 2)
        for (size_t x = 1; x < line; x += 2) given[y * line + x] = given[(y - 1) * line + x];
      // A range or chroma-order mistake costs far more than 10 dB.
      EXPECT_GT(Psnr(given, pictures[i]), 38.0) << "frame " << i;
    }
  }
}

TEST_P(SequenceCompressionTest, BitRateComesFromTheRegistryUnlessTheCallerGivesOne) {
  const FourCC handler = GetParam();
  ASSERT_EQ(SetCompressorBitRate(handler, 400), registry::kSuccess);
  SequenceOptions options = Frames(120, 0);
  EXPECT_NEAR(KbitPerSecond(CompressPattern(handler, options), 15), 400, 400 * 0.15);
  options.data_rate = 300 * 1000 / 8;  // bytes/s
  EXPECT_NEAR(KbitPerSecond(CompressPattern(handler, options), 15), 300, 300 * 0.15);
  options.vars_data_rate = 75;  // kbytes/s
  EXPECT_NEAR(KbitPerSecond(CompressPattern(handler, options), 15), 614, 614 * 0.15);
}

TEST_P(SequenceCompressionTest, ZeroBitRateHoldsTheAskedQuality) {
  const FourCC handler = GetParam();
  ASSERT_EQ(SetCompressorBitRate(handler, 0), registry::kSuccess);
  SequenceOptions options = Frames(10, 0);
  options.quality = 10000;
  int64_t fine = TotalBytes(CompressPattern(handler, options));
  options.quality = 1000;
  int64_t coarse = TotalBytes(CompressPattern(handler, options));
  EXPECT_GT(fine, coarse * 2) << "fine " << fine << " coarse " << coarse;
}

INSTANTIATE_TEST_SUITE_P(Vfw, SequenceCompressionTest,
                         ::testing::Values(kHandlerXvid, kHandlerDivx, kHandlerMjpg),
                         [](const auto& info) { return FourCCText(info.param); });

TEST(VfwJpegSequenceTest, OddHeightIsTakenAsTheQuerySays) {
  ovc::test::TempWorld world;
  SequenceOptions options = Frames(5);
  options.width = 122;
  options.height = 91;
  std::vector<std::vector<uint8_t>> pictures =
      DecodeToYuy2(kHandlerMjpg, 122, 91, CompressPattern(kHandlerMjpg, options));
  ASSERT_EQ(pictures.size(), 5u);
  EXPECT_GT(Psnr(MakeYuy2Frame(122, 91, 4), pictures[4]), 30.0);
}

// Compressors with two-pass rate control, with their pass-mode values.
struct TwoPassCase {
  FourCC handler;
  uint32_t one_pass, first_pass, second_pass;
  const char* stats_name;
};

class TwoPassTest : public ::testing::TestWithParam<TwoPassCase> {
 protected:
  std::string StatsPath() const { return world_.temp() + "/" + GetParam().stats_name; }
  std::vector<CompressedFrame> Compress(uint32_t pass_mode, const SequenceOptions& options) {
    WritePassMode(GetParam().handler, pass_mode);
    return CompressPattern(GetParam().handler, options);
  }
  ovc::test::TempWorld world_;
};

TEST_P(TwoPassTest, SecondPassHitsTheTargetSizeFromTheFirstPassStatistics) {
  const TwoPassCase& c = GetParam();
  ASSERT_EQ(SetCompressorBitRate(c.handler, 300), registry::kSuccess);
  const double target_bytes = 300 * 1000.0 / 8 * 150 / 15;
  // An easy first half and a costly second half: the case two passes are for.
  const SequenceOptions options = Frames(150, 75);

  double one_pass = static_cast<double>(TotalBytes(Compress(c.one_pass, options)));
  EXPECT_FALSE(fs::exists(StatsPath()));
  ASSERT_EQ(Compress(c.first_pass, options).size(), 150u);
  ASSERT_TRUE(fs::exists(StatsPath()));
  for (const auto& entry : fs::directory_iterator(world_.temp()))
    EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();

  std::vector<CompressedFrame> second = Compress(c.second_pass, options);
  ASSERT_EQ(second.size(), 150u);
  double two_pass = static_cast<double>(TotalBytes(second));
  EXPECT_NEAR(two_pass, target_bytes, target_bytes * 0.10) << "one pass gave " << one_pass;
  EXPECT_NEAR(one_pass, target_bytes, target_bytes * 0.15);
  EXPECT_EQ(DecodeToYuy2(c.handler, options.width, options.height, second).size(), 150u);
}

TEST_P(TwoPassTest, SecondPassNeedsTheFirstPassToHaveEnded) {
  const TwoPassCase& c = GetParam();
  WritePassMode(c.handler, c.second_pass);
  Hic hic = ICOpen(kTypeVideo, c.handler, kIcModeCompress);
  ASSERT_NE(hic, nullptr);
  CompVars vars;
  vars.hic = hic;
  EXPECT_FALSE(ICSeqCompressFrameStart(&vars, Yuy2Header(176, 144)));  // no statistics yet
  ICClose(hic);

  // While a first pass runs, an older clip's statistics are gone, so a pass
  // that never ends leaves none for a second pass to trust.
  ASSERT_EQ(Compress(c.first_pass, Frames(5)).size(), 5u);
  ASSERT_TRUE(fs::exists(StatsPath()));
  hic = ICOpen(kTypeVideo, c.handler, kIcModeCompress);
  vars.hic = hic;
  ASSERT_TRUE(ICSeqCompressFrameStart(&vars, Yuy2Header(176, 144)));
  EXPECT_FALSE(fs::exists(StatsPath()));
  ICClose(hic);  // ends the sequence
  EXPECT_TRUE(fs::exists(StatsPath()));
}

TEST_P(TwoPassTest, SecondPassLongerThanTheFirstKeepsCompressing) {
  const TwoPassCase& c = GetParam();
  ASSERT_EQ(SetCompressorBitRate(c.handler, 500), registry::kSuccess);
  ASSERT_EQ(Compress(c.first_pass, Frames(37)).size(), 37u);
  std::vector<CompressedFrame> second = Compress(c.second_pass, Frames(64));
  ASSERT_EQ(second.size(), 64u);
  for (int i = 0; i < 64; ++i) {
    EXPECT_FALSE(second[i].bytes.empty()) << "frame " << i;
    // The stream restarts with a key frame where the statistics end.
    EXPECT_EQ(second[i].key, i == 0 || i == 15 || i == 30 || i == 37 || i == 52) << "frame " << i;
  }
  std::vector<std::vector<uint8_t>> pictures = DecodeToYuy2(c.handler, 176, 144, second);
  ASSERT_EQ(pictures.size(), 64u);
  EXPECT_GT(Psnr(MakeYuy2Frame(176, 144, 63), pictures[63]), 30.0);
}

TEST_P(TwoPassTest, LinksPlantedAtTheStatisticsNamesAreNeverFollowed) {
  const TwoPassCase& c = GetParam();
  const std::string victim = world_.Path("victim");
  ovc::test::WriteFile(victim, "precious");
  fs::create_directories(world_.temp());
  // The names a first pass once wrote through, as fixed names in the folder.
  fs::create_symlink(victim, StatsPath() + ".part");
  fs::create_symlink(victim, StatsPath());
  ASSERT_EQ(Compress(c.first_pass, Frames(10)).size(), 10u);
  EXPECT_EQ(ovc::test::ReadFile(victim), "precious");
  ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(StatsPath())));
  EXPECT_EQ(Compress(c.second_pass, Frames(10)).size(), 10u);

  // Statistics behind a link are not the first pass's own.
  std::string stats = ovc::test::ReadFile(StatsPath());
  ovc::test::WriteFile(world_.Path("other.stats"), stats);
  fs::remove(StatsPath());
  fs::create_symlink(world_.Path("other.stats"), StatsPath());
  WritePassMode(c.handler, c.second_pass);
  Hic hic = ICOpen(kTypeVideo, c.handler, kIcModeCompress);
  ASSERT_NE(hic, nullptr);
  CompVars vars;
  vars.hic = hic;
  EXPECT_FALSE(ICSeqCompressFrameStart(&vars, Yuy2Header(176, 144)));
  ICClose(hic);
}

TEST_P(TwoPassTest, StatisticsFileComesFromTheRegistry) {
  const TwoPassCase& c = GetParam();
  const std::string path = world_.Path("stats/custom.log");
  ASSERT_EQ(registry::DefaultStore()->SetValue(registry::Hive::kCurrentUser,
                                               CompressorRegistryKey(c.handler), "stats file",
                                               registry::TextValue(path)),
            registry::kSuccess);
  ASSERT_EQ(Compress(c.first_pass, Frames(20)).size(), 20u);
  EXPECT_TRUE(fs::exists(path));
  EXPECT_FALSE(fs::exists(StatsPath()));
  EXPECT_EQ(Compress(c.second_pass, Frames(20)).size(), 20u);
}

INSTANTIATE_TEST_SUITE_P(Vfw, TwoPassTest,
                         ::testing::Values(TwoPassCase{kHandlerXvid, 0, 1, 2, "xvid.stats"},
                                           TwoPassCase{kHandlerDivx, 0, 2, 3, "divx.stats"}),
                         [](const auto& info) { return FourCCText(info.param.handler); });

}  // namespace
}  // namespace ovc::vfw::test
