#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry/registry_store.h"
#include "platform/vfw/compression_manager.h"
#include "platform/vfw/compressor_settings.h"
#include "support/temp_world.h"
#include "vfw_test_support.h"

namespace ovc::vfw::test {
namespace {

std::string GetState(Hic hic) {
  std::string state(static_cast<size_t>(ICGetStateSize(hic)), '\0');
  EXPECT_EQ(ICGetState(hic, state.data(), static_cast<int>(state.size())),
            static_cast<int>(state.size()));
  return state;
}

CompressorSettings SettingsOf(Hic hic, FourCC handler) {
  std::optional<CompressorSettings> settings = ParseSettings(handler, GetState(hic));
  EXPECT_TRUE(settings.has_value());
  return settings.value_or(CompressorSettings{});
}

TEST(VfwCompressionManagerTest, OnlyInstalledVideoCompressorsOpen) {
  ovc::test::TempWorld world;
  struct Case {
    const char* what;
    FourCC type, handler;
    uint32_t mode;
  } cases[] = {
      {"unknown handler", kTypeVideo, MakeFourCC('A', 'B', 'C', 'D'), kIcModeCompress},
      {"stream type", MakeFourCC('v', 'i', 'd', 's'), kHandlerXvid, kIcModeCompress},
      {"audio compressor type", MakeFourCC('a', 'u', 'd', 'c'), kHandlerDivx, kIcModeCompress},
      {"decompression", kTypeVideo, kHandlerXvid, kIcModeDecompress},
  };
  for (const Case& c : cases) EXPECT_EQ(ICOpen(c.type, c.handler, c.mode), nullptr) << c.what;
  EXPECT_EQ(ICClose(nullptr), kIcErrBadHandle);
  EXPECT_EQ(SetCompressorBitRate(MakeFourCC('A', 'B', 'C', 'D'), 500),
            registry::kInvalidParameter);

  Hic lower_case = ICOpen(MakeFourCC('V', 'I', 'D', 'C'), MakeFourCC('x', 'v', 'i', 'd'),
                          kIcModeQuery);
  EXPECT_NE(lower_case, nullptr);
  ICClose(lower_case);
}

class CompressorTest : public ::testing::TestWithParam<FourCC> {
 protected:
  void SetUp() override {
    hic_ = ICOpen(kTypeVideo, GetParam(), kIcModeCompress);
    ASSERT_NE(hic_, nullptr);
  }
  void TearDown() override { ICClose(hic_); }
  ovc::test::TempWorld world_;
  Hic hic_ = nullptr;
};

TEST_P(CompressorTest, QueryTakesOnlyPackedYuy2AndPlanarI420) {
  const bool is_jpeg = GetParam() == kHandlerMjpg;
  struct Case {
    const char* what;
    void (*change)(BitmapInfoHeader*);
    bool accepted;
  } cases[] = {
      {"YUY2", [](BitmapInfoHeader*) {}, true},
      {"lower-case code",
       [](BitmapInfoHeader* h) { h->compression = MakeFourCC('y', 'u', 'y', '2'); }, true},
      {"RGB", [](BitmapInfoHeader* h) { h->compression = 0; h->bit_count = 24; }, false},
      {"UYVY", [](BitmapInfoHeader* h) { h->compression = MakeFourCC('U', 'Y', 'V', 'Y'); },
       false},
      {"YUY2 of 12 bits", [](BitmapInfoHeader* h) { h->bit_count = 12; }, false},
      {"I420", [](BitmapInfoHeader* h) { *h = I420Header(176, 144); }, true},
      {"I420 of 16 bits", [](BitmapInfoHeader* h) { *h = I420Header(176, 144); h->bit_count = 16; },
       false},
      {"I420 image size too small",
       [](BitmapInfoHeader* h) { *h = I420Header(176, 144); h->size_image = 176 * 144; }, false},
      {"odd width", [](BitmapInfoHeader* h) { h->width = 175; h->size_image = 175 * 144 * 2; },
       false},
      {"negative height", [](BitmapInfoHeader* h) { h->height = -144; }, false},
      {"image size too small", [](BitmapInfoHeader* h) { h->size_image = 176 * 144; }, false},
      {"short header", [](BitmapInfoHeader* h) { h->size = 12; }, false},
      // 4:2:0 encoders need an even height; JPEG keeps 4:2:2.
      {"odd height", [](BitmapInfoHeader* h) { h->height = 143; h->size_image = 0; }, is_jpeg},
      // MPEG-4 picture sizes have 13 bits.
      {"8200 wide", [](BitmapInfoHeader* h) { h->width = 8200; h->size_image = 0; }, is_jpeg},
  };
  for (const Case& c : cases) {
    BitmapInfoHeader in = Yuy2Header(176, 144);
    c.change(&in);
    EXPECT_EQ(ICCompressQuery(hic_, &in, nullptr), c.accepted ? kIcErrOk : kIcErrBadFormat)
        << c.what;
    CompVars vars;
    vars.hic = hic_;
    if (!c.accepted) {
      EXPECT_FALSE(ICSeqCompressFrameStart(&vars, in)) << c.what;
    }
  }

  // An output format must be this compressor's code at the input size.
  BitmapInfoHeader in = Yuy2Header(176, 144);
  BitmapInfoHeader out = in;
  out.compression = GetParam();
  EXPECT_EQ(ICCompressQuery(hic_, &in, &out), kIcErrOk);
  out.width = 88;
  EXPECT_EQ(ICCompressQuery(hic_, &in, &out), kIcErrBadFormat);
}

TEST_P(CompressorTest, StateRoundTripsTheSettings) {
  const FourCC handler = GetParam();
  CompressorSettings settings = SettingsOf(hic_, handler);
  EXPECT_EQ(settings.bit_rate_kbps, 800u);  // empty registry
  EXPECT_EQ(settings.stats_file.rfind(world_.temp() + "/", 0), 0u) << settings.stats_file;

  settings.bit_rate_kbps = 1234;
  settings.quality = 9000;
  settings.stats_file = world_.Path("elsewhere.stats");
  const std::string blob = SerializeSettings(handler, settings);
  EXPECT_EQ(ICSetState(hic_, blob.data(), static_cast<int>(blob.size())),
            static_cast<int>(blob.size()));
  EXPECT_EQ(GetState(hic_), blob);
  std::string small(blob.size() - 1, '\0');
  EXPECT_EQ(ICGetState(hic_, small.data(), static_cast<int>(small.size())), kIcErrBadSize);

  // Blobs that are not this compressor's leave the settings as they are.
  const std::string foreign =
      SerializeSettings(handler == kHandlerXvid ? kHandlerDivx : kHandlerXvid, settings);
  EXPECT_EQ(ICSetState(hic_, foreign.data(), static_cast<int>(foreign.size())), kIcErrBadParam);
  EXPECT_EQ(GetState(hic_), blob);

  // No state: back to what the registry says.
  ASSERT_EQ(SetCompressorBitRate(handler, 777), registry::kSuccess);
  EXPECT_EQ(ICSetState(hic_, nullptr, 0), kIcErrOk);
  EXPECT_EQ(SettingsOf(hic_, handler).bit_rate_kbps, 777u);
}

INSTANTIATE_TEST_SUITE_P(Vfw, CompressorTest,
                         ::testing::Values(kHandlerXvid, kHandlerDivx, kHandlerMjpg),
                         [](const auto& info) { return FourCCText(info.param); });

// The pass mode a compressor reads from the value the settings store writes.
struct PassModeCase {
  FourCC handler;
  uint32_t registry_value;
  PassMode expected;
};

class PassModeTest : public ::testing::TestWithParam<PassModeCase> {
 protected:
  ovc::test::TempWorld world_;
};

TEST_P(PassModeTest, ReadFromTheCompressorsKey) {
  const PassModeCase& c = GetParam();
  WritePassMode(c.handler, c.registry_value);
  Hic hic = ICOpen(kTypeVideo, c.handler, kIcModeCompress);
  ASSERT_NE(hic, nullptr);
  EXPECT_EQ(SettingsOf(hic, c.handler).pass_mode, c.expected);
  ICClose(hic);
}

INSTANTIATE_TEST_SUITE_P(
    Vfw, PassModeTest,
    ::testing::Values(PassModeCase{kHandlerXvid, 0, PassMode::kOnePass},
                      PassModeCase{kHandlerXvid, 1, PassMode::kFirstPass},
                      PassModeCase{kHandlerXvid, 2, PassMode::kSecondPass},
                      PassModeCase{kHandlerXvid, 3, PassMode::kOnePass},
                      PassModeCase{kHandlerDivx, 0, PassMode::kOnePass},
                      PassModeCase{kHandlerDivx, 1, PassMode::kOnePass},
                      PassModeCase{kHandlerDivx, 2, PassMode::kFirstPass},
                      PassModeCase{kHandlerDivx, 3, PassMode::kSecondPass}),
    [](const auto& info) {
      return FourCCText(info.param.handler) + "_" + std::to_string(info.param.registry_value);
    });

TEST(VfwSettingsBlobTest, BlobsOutOfShapeOrRangeAreRefused) {
  CompressorSettings settings;
  settings.stats_file = "/tmp/x.stats";
  const std::string good = SerializeSettings(kHandlerXvid, settings);
  ASSERT_EQ(ParseSettings(kHandlerXvid, good), settings);

  auto with_word = [&](size_t offset, uint32_t value) {
    std::string blob = good;
    std::memcpy(blob.data() + offset, &value, sizeof(value));  // little-endian host
    return blob;
  };
  const std::string cases[] = {
      "XVCS" + good.substr(4),                                  // magic
      with_word(4, 2),                                          // layout version
      with_word(12, 3),                                         // pass mode
      with_word(16, 1000001),                                   // bit rate
      with_word(20, 10001),                                     // quality
      with_word(24, 13),                                        // path longer than the blob
      with_word(24, 0).substr(0, kStateHeaderBytes),            // empty path
      good + "x",                                               // trailing byte
      good.substr(0, kStateHeaderBytes - 1),                    // header cut short
      good.substr(0, good.size() - 1) + std::string(1, '\0'),  // terminator in the path
  };
  for (const std::string& blob : cases) {
    EXPECT_FALSE(ParseSettings(kHandlerXvid, blob)) << testing::PrintToString(blob);
  }
}

}  // namespace
}  // namespace ovc::vfw::test
