// The profiles shipped in data/profile: each loads with its device's values,
// offers only choices its device plays, and is exactly what Save writes.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/record/profile.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

namespace fs = std::filesystem;
using Set = std::set<std::string>;

struct Shipped {
  const char* name;
  const char* device;
  const char* fileext;
  const char* vcodec;
  const char* acodec;
  const char* s;
  double r;
  int ar;
  const char* ac;
  int ab;  // kbit/s; not stored for Windows Media profiles
  // What the device plays; every choice must come from these.
  Set vcodecs, acodecs, sizes, rates, sampling, channels;
  int min_ab, max_ab;  // kbit/s
  int min_b, max_b;    // kbit/s
};

const Set kPcRates = {"15", "23.976", "24", "25", "29.97", "30"};
const Set kPspSizes = {"160x120", "176x144", "320x240", "368x208", "400x192", "480x272"};
const Set kTodaysRates = {"24", "25", "30", "50", "60"};
// Phones decode H.263 at level 45 (QCIF, 128 kbit/s).
const Set kPhoneSizes = {"128x96", "176x144"};
const Set kWebSizes = {"640x360", "854x480", "1280x720", "1920x1080"};

const Shipped kShipped[] = {
    {"AVI", "", "avi", "xvid", "mp3", "640x480", 29.97, 44100, "2", 128,
     {"xvid", "mpeg4"}, {"mp3"},
     {"320x240", "480x360", "512x384", "640x480", "720x480", "720x576"}, kPcRates,
     {"32000", "44100", "48000"}, {"1", "2"}, 32, 320, 300, 4000},
    {"PSP", "PSP", "MP4", "mpeg4", "aac", "320x240", 29.97, 48000, "2", 128,
     {"mpeg4", "h264"}, {"aac"}, kPspSizes, {"14.985", "29.97"},
     {"24000", "48000"}, {"1", "2"}, 32, 160, 200, 768},
    {"PSP AVC", "PSP", "MP4", "h264", "aac", "320x240", 29.97, 48000, "2", 128,
     {"mpeg4", "h264"}, {"aac"}, kPspSizes, {"14.985", "29.97"},
     {"24000", "48000"}, {"1", "2"}, 32, 160, 200, 768},
    {"iPod", "iPod", "mp4", "h264", "aac", "320x240", 29.97, 44100, "2", 128,
     {"h264", "mpeg4"}, {"aac"}, {"160x120", "176x144", "320x240"}, kPcRates,
     {"22050", "32000", "44100", "48000"}, {"1", "2"}, 32, 160, 200, 768},
    {"iPod MPEG-4", "iPod", "mp4", "mpeg4", "aac", "320x240", 29.97, 44100, "2", 128,
     {"mpeg4"}, {"aac"}, {"160x120", "176x144", "320x240", "480x360"}, kPcRates,
     {"22050", "32000", "44100", "48000"}, {"1", "2"}, 32, 160, 200, 2500},
    {"3GP phone", "mobile3gp", "3gp", "h263", "amr_nb", "176x144", 15, 8000, "1", 12,
     {"h263", "mpeg4"}, {"amr_nb"}, kPhoneSizes, {"5", "7.5", "10", "12.5", "15"},
     {"8000"}, {"1"}, 4, 12, 32, 128},
    {"3GP MPEG-4", "mobile3gp", "3gp", "mpeg4", "mpeg4aac", "176x144", 15, 22050, "1", 32,
     {"mpeg4"}, {"mpeg4aac"}, {"128x96", "176x144", "320x240", "352x288"},
     {"10", "12.5", "15", "25", "29.97"}, {"8000", "16000", "22050", "32000", "44100"},
     {"1", "2"}, 16, 96, 32, 384},
    {"MPEG-2", "", "mpg", "mpeg2video", "mp2", "720x480", 29.97, 48000, "2", 224,
     {"mpeg2video"}, {"mp2"},
     {"352x240", "352x288", "352x480", "352x576", "480x480", "480x576", "704x480", "704x576",
      "720x480", "720x576"},
     {"23.976", "24", "25", "29.97", "30"}, {"44100", "48000"}, {"1", "2"}, 32, 384, 1000, 9800},
    {"WMV", "", "wmv", "Windows Media Video 8", "Windows Media Audio 9.2", "320x240", 29.97, 0,
     "", 64, {"Windows Media Video 8", "Windows Media Video 7"}, {},
     {"176x144", "320x240", "480x360", "640x480", "720x480"}, kPcRates, {}, {}, 0, 0, 100, 3000},
    {"QuickTime", "", "mov", "mpeg4", "aac", "640x480", 29.97, 44100, "2", 128,
     {"mpeg4", "h264"}, {"aac"}, {"320x240", "480x360", "640x480", "720x480"}, kPcRates,
     {"32000", "44100", "48000"}, {"1", "2"}, 32, 192, 300, 4000},
    // Today's phones and Apple's HEVC players: "s" is the box the source's
    // shape fits in, "r" the ceiling over the source's rate.
    {"Phone (H.264 720p)", "phone", "mp4", "h264", "aac", "1280x720", 60, 48000, "2", 128,
     {"h264"}, {"aac"}, {"640x360", "854x480", "960x540", "1280x720"}, kTodaysRates,
     {"48000"}, {"2"}, 96, 192, 1000, 14000},
    {"Phone (H.264 1080p)", "phone", "mp4", "h264", "aac", "1920x1080", 60, 48000, "2", 160,
     {"h264"}, {"aac"}, {"1280x720", "1920x1080"}, kTodaysRates,
     {"48000"}, {"2"}, 96, 192, 1000, 20000},
    {"iPhone/iPad (HEVC)", "hevc", "mp4", "hevc", "aac", "1920x1080", 60, 48000, "2", 160,
     {"hevc"}, {"aac"}, {"1280x720", "1920x1080", "3840x2160"}, kTodaysRates,
     {"48000"}, {"2"}, 96, 192, 1000, 30000},
    // The web's files: a 1080p box, the source's rate up to 60; Opus codes
    // 48 kHz only.
    {"Web (WebM VP9)", "webm", "webm", "vp9", "opus", "1920x1080", 60, 48000, "2", 128,
     {"vp9"}, {"opus"}, kWebSizes, kTodaysRates, {"48000"}, {"1", "2"}, 32, 256, 300, 8000},
    {"AV1 (small files)", "av1", "mp4", "av1", "opus", "1920x1080", 60, 48000, "2", 96,
     {"av1"}, {"opus"}, kWebSizes, kTodaysRates, {"48000"}, {"1", "2"}, 32, 256, 200, 6000},
};

// The container the main window picks for a codec pair; -1 when it knows
// none, which would leave the previous profile's container in place.
int ContainerOf(const std::string& device, const std::string& vcodec, const std::string& acodec) {
  int format = -1;
  if (vcodec.starts_with("WMV") || vcodec.starts_with("Windows Media")) format = 1;
  if (vcodec == "xvid" && acodec == "mp3") format = 3;
  if (vcodec == "mpeg4" && acodec == "mp3") format = 3;
  if (vcodec == "mpeg4" && acodec == "aac") format = 2;
  if (vcodec == "h264" && acodec == "aac") format = 2;
  if (vcodec == "hevc" && acodec == "aac") format = 2;
  if (vcodec == "mpeg2video") format = 4;
  if ((device == "webm" && vcodec == "vp9") || (device == "av1" && vcodec == "av1")) {
    if (acodec == "opus") format = 2;
  }
  if (device == "mobile3gp" && (vcodec == "h263" || vcodec == "mpeg4") &&
      (acodec == "amr_nb" || acodec == "mpeg4aac"))
    format = 6;
  return format;
}

// `value` "" (a size that follows the source) need not be among them.
void ExpectChoicesWithin(const std::vector<std::string>& choices, const Set& allowed,
                         const std::string& value, const char* what) {
  EXPECT_FALSE(choices.empty()) << what;
  for (const std::string& choice : choices)
    EXPECT_TRUE(allowed.count(choice)) << what << " offers " << choice;
  if (value.empty()) return;
  EXPECT_NE(std::find(choices.begin(), choices.end(), value), choices.end())
      << what << " does not offer its own value " << value;
}

// Bit-rate choices: whole numbers within [low, high], the value among them.
void ExpectOffersWithin(const std::vector<std::string>& choices, int low, int high, int value,
                        const char* what) {
  EXPECT_FALSE(choices.empty()) << what;
  for (const std::string& choice : choices) {
    EXPECT_EQ(std::to_string(std::atoi(choice.c_str())), choice) << what;
    EXPECT_GE(std::atoi(choice.c_str()), low) << what << " offers " << choice;
    EXPECT_LE(std::atoi(choice.c_str()), high) << what << " offers " << choice;
  }
  EXPECT_NE(std::find(choices.begin(), choices.end(), std::to_string(value)), choices.end())
      << what << " does not offer its own value " << value;
}

class ShippedProfileTest : public testing::TestWithParam<Shipped> {
 protected:
  void SetUp() override {
    const std::string file = ProfileFileName(GetParam().name);
    source_ = std::string(OVC_DATA_SOURCE_DIR) + "/profile/" + file;
    ASSERT_TRUE(fs::is_regular_file(source_)) << source_;
    fs::create_directories(world_.Path("home/profile"));
    fs::copy_file(source_, world_.Path("home/profile/") + file);
    ASSERT_EQ(profile_.Load(GetParam().name), 0);
  }

  test::TempWorld world_;
  std::string source_;
  CProfile profile_;
};

TEST_P(ShippedProfileTest, LoadsWithItsDeviceValues) {
  const Shipped& want = GetParam();
  EXPECT_EQ(profile_.name, want.name);
  EXPECT_EQ(profile_.device, want.device);
  EXPECT_EQ(profile_.fileext, want.fileext);
  EXPECT_EQ(profile_.t, 0);
  EXPECT_EQ(profile_.ss, 0);
  EXPECT_EQ(profile_.vcodec, want.vcodec);
  EXPECT_EQ(profile_.acodec, want.acodec);
  EXPECT_EQ(profile_.s, want.s);
  EXPECT_DOUBLE_EQ(profile_.r, want.r);
  EXPECT_GT(profile_.b, 0);
  EXPECT_EQ(profile_.ar, want.ar);
  EXPECT_EQ(profile_.ac, want.ac);
  EXPECT_EQ(profile_.ab, want.ab);
}

TEST_P(ShippedProfileTest, OffersOnlyWhatTheDevicePlays) {
  const Shipped& want = GetParam();
  ExpectChoicesWithin(profile_.vcodec_choices, want.vcodecs, profile_.vcodec, "vcodec");
  ExpectChoicesWithin(profile_.s_choices, want.sizes, profile_.s, "s");
  ExpectOffersWithin(profile_.b_choices, want.min_b, want.max_b, profile_.b, "b");
  char rate[32];
  std::snprintf(rate, sizeof rate, "%g", profile_.r);
  ExpectChoicesWithin(profile_.r_choices, want.rates, rate, "r");
  if (profile_.IsWindowsMedia()) {
    EXPECT_EQ(ContainerOf(profile_.device, profile_.vcodec, profile_.acodec), 1);
    EXPECT_EQ(std::atoi(profile_.aformat.c_str()), 64) << "the format text leads with its kbit/s";
    return;
  }
  ExpectChoicesWithin(profile_.acodec_choices, want.acodecs, profile_.acodec, "acodec");
  ExpectChoicesWithin(profile_.ar_choices, want.sampling, std::to_string(profile_.ar), "ar");
  ExpectChoicesWithin(profile_.ac_choices, want.channels, profile_.ac, "ac");
  ExpectOffersWithin(profile_.ab_choices, want.min_ab, want.max_ab, profile_.ab, "ab");
  // Whatever codec pair the user picks, the main window knows its container.
  for (const std::string& v : profile_.vcodec_choices)
    for (const std::string& a : profile_.acodec_choices)
      EXPECT_NE(ContainerOf(profile_.device, v, a), -1) << v << " + " << a;
}

TEST_P(ShippedProfileTest, IsExactlyWhatSaveWrites) {
  EXPECT_EQ(profile_.ToText(), test::ReadFile(source_));
  ASSERT_EQ(profile_.Save("copy"), 0);
  EXPECT_EQ(test::ReadFile(world_.Path("home/profile/copy.pr")), test::ReadFile(source_));
}

INSTANTIATE_TEST_SUITE_P(Data, ShippedProfileTest, testing::ValuesIn(kShipped),
                         [](const auto& info) {
                           std::string name;
                           for (char c : std::string(info.param.name))
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

TEST(ShippedProfilesTest, EveryShippedFileIsCovered) {
  std::set<std::string> listed;
  for (const auto& entry : fs::directory_iterator(std::string(OVC_DATA_SOURCE_DIR) + "/profile"))
    if (entry.path().extension() == ".pr")
      listed.insert(ProfileNameOfFile(entry.path().filename().string()));
  std::set<std::string> covered;
  for (const Shipped& shipped : kShipped) covered.insert(shipped.name);
  EXPECT_EQ(listed, covered);
}

}  // namespace
}  // namespace ovc
