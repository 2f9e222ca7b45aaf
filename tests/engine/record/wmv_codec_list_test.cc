#include "engine/record/wmv_codec_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/wmf/wm_codecs.h"
#include "platform/wmf/wm_profile.h"

namespace ovc {
namespace {

using wmf::AudioCodecFormat;
using wmf::Codec;
using wmf::MajorType;

AudioCodecFormat Format(const char* description, bool vbr = false) {
  return AudioCodecFormat{description, 64000, 44100, 2, 16, vbr};
}

Codec Audio(const char* name, std::vector<AudioCodecFormat> formats) {
  return Codec{name, MajorType::kAudio, wmf::kSubtypeWmAudioV8, "wmav2", std::move(formats)};
}

Codec Video(const char* name) {
  return Codec{name, MajorType::kVideo, wmf::kSubtypeWmv2, "wmv2", {}};
}

struct AudioListCase {
  const char* name;
  wmf::CodecTable machine;
  const char* wanted_format;
  std::vector<std::string> codecs;
  std::vector<std::string> formats;
  int codec_index;
  int format_index;
};
void PrintTo(const AudioListCase& c, std::ostream* os) { *os << c.name; }

class AudioCodecListTest : public testing::TestWithParam<AudioListCase> {};

TEST_P(AudioCodecListTest, ListsTheFirstWma9CodecsFormats) {
  const AudioListCase& c = GetParam();
  wmf::ScopedCodecTable machine(c.machine);
  WmAudioCodecList list;
  ASSERT_EQ(EnumerateWmAudioCodecs("Windows Media Audio 9.2", c.wanted_format, &list), wmf::kSOk);
  EXPECT_EQ(list.codecs, c.codecs);
  EXPECT_EQ(list.formats, c.formats);
  EXPECT_EQ(list.codec_index, c.codec_index);
  EXPECT_EQ(list.format_index, c.format_index);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, AudioCodecListTest,
    testing::Values(
        AudioListCase{"OnlyTheFirstCodecWithThePrefix",
                      {Audio("Windows Media Audio Voice 9", {Format("16 kbps, 16 kHz, mono")}),
                       Video("Windows Media Video 8"),
                       Audio("Windows Media Audio 9.2", {Format("64 kbps, 44 kHz, stereo CBR")}),
                       Audio("Windows Media Audio 9.2 Lossless", {Format("VBR Quality 100")})},
                      "64 kbps, 44 kHz, stereo CBR",
                      {"Windows Media Audio 9.2"},
                      {"64 kbps, 44 kHz, stereo CBR"},
                      1,
                      0},
        AudioListCase{"AvCbrEndsTheList",
                      {Audio("Windows Media Audio 9", {Format("64 kbps, 44 kHz, stereo CBR"),
                                                      Format("48 kbps, 44 kHz, stereo (A/V) CBR"),
                                                      Format("32 kbps, 44 kHz, stereo CBR")})},
                      "32 kbps, 44 kHz, stereo CBR",
                      {"Windows Media Audio 9"},
                      {"64 kbps, 44 kHz, stereo CBR"},
                      0,
                      -1},
        AudioListCase{"TwentyFourBitIsSkippedWithoutShiftingTheIndex",
                      {Audio("Windows Media Audio 9.2",
                             {Format("192 kbps, 48 kHz, stereo 24 bit CBR"),
                              Format("128 kbps, 44 kHz, stereo CBR"),
                              Format("64 kbps, 44 kHz, stereo CBR")})},
                      "64 kbps, 44 kHz, stereo CBR",
                      {"Windows Media Audio 9.2"},
                      {"128 kbps, 44 kHz, stereo CBR", "64 kbps, 44 kHz, stereo CBR"},
                      0,
                      2},
        AudioListCase{"VariableRateFormatsAreOff",
                      {Audio("Windows Media Audio 9.2",
                             {Format("Quality 50, 44 kHz, stereo VBR", true),
                              Format("64 kbps, 44 kHz, stereo CBR")})},
                      "64 kbps, 44 kHz, stereo CBR",
                      {"Windows Media Audio 9.2"},
                      {"64 kbps, 44 kHz, stereo CBR"},
                      0,
                      0},
        AudioListCase{"NoWma9Codec",
                      {Audio("Windows Media Audio 8", {Format("64 kbps, 44 kHz, stereo CBR")})},
                      "64 kbps, 44 kHz, stereo CBR",
                      {},
                      {},
                      -1,
                      -1}),
    [](const testing::TestParamInfo<AudioListCase>& info) { return info.param.name; });

TEST(AudioCodecList, ThisMachineOffersTheProfilesFormat) {
  WmAudioCodecList list;
  ASSERT_EQ(EnumerateWmAudioCodecs("Windows Media Audio 9.2", "64 kbps, 44 kHz, stereo CBR", &list),
            wmf::kSOk);
  EXPECT_EQ(list.codecs, std::vector<std::string>{"Windows Media Audio 9.2"});
  ASSERT_GE(list.format_index, 0);
  EXPECT_GE(list.formats.size(), 20u);
  for (const std::string& format : list.formats) {
    EXPECT_EQ(format.find("24 bit"), std::string::npos) << format;
    EXPECT_EQ(format.find("(A/V)"), std::string::npos) << format;
  }

  // The index names the wanted format in the codec's own numbering, the
  // one a stream is built from.
  std::unique_ptr<wmf::WmProfileManager> manager;
  ASSERT_EQ(wmf::WMCreateProfileManager(&manager), wmf::kSOk);
  std::string description;
  ASSERT_EQ(manager->codec_info().GetCodecFormatDesc(MajorType::kAudio, 0, list.format_index,
                                                     nullptr, &description),
            wmf::kSOk);
  EXPECT_EQ(description, "64 kbps, 44 kHz, stereo CBR");
}

TEST(VideoCodecList, ListsEveryVideoCodecAndFindsTheWantedOne) {
  struct Case {
    const char* wanted;
    int index;
  };
  for (const Case& c : {Case{"Windows Media Video 8", 0}, Case{"Windows Media Video 7", 1},
                        Case{"Windows Media Video 9", -1}}) {
    WmVideoCodecList list;
    ASSERT_EQ(EnumerateWmVideoCodecs(c.wanted, &list), wmf::kSOk);
    EXPECT_EQ(list.codecs,
              (std::vector<std::string>{"Windows Media Video 8", "Windows Media Video 7"}));
    EXPECT_EQ(list.codec_index, c.index) << c.wanted;
  }
}

}  // namespace
}  // namespace ovc
