#include "platform/wmf/wm_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/wmf/wm_profile.h"
#include "platform/wmf/wm_wide_text.h"
#include "support/command_output.h"
#include "support/temp_world.h"

namespace ovc::wmf {
namespace {

using test::CommandOutput;

std::vector<double> PacketTimes(const std::string& path, const std::string& stream) {
  std::istringstream lines(CommandOutput("ffprobe -v error -select_streams " + stream +
                                      " -show_entries packet=pts_time -of csv=p=0 '" + path +
                                      "' 2>/dev/null"));
  std::vector<double> times;
  for (std::string line; std::getline(lines, line);) times.push_back(std::atof(line.c_str()));
  return times;
}

std::wstring Wide(const std::string& text) {
  std::wstring wide;
  Utf8ToWide(text, &wide);
  return wide;
}

// A profile with the given streams of the installed codecs: the audio
// format by its description, the video codec by name at 320 × 240, 15 fps.
std::unique_ptr<WmProfile> Profile(const char* audio_format, const char* video_codec) {
  std::unique_ptr<WmProfileManager> manager;
  WMCreateProfileManager(&manager);
  WmCodecInfo& info = manager->codec_info();
  std::unique_ptr<WmProfile> profile;
  manager->CreateEmptyProfile(kWmtVer90, &profile);
  uint16_t number = 1;
  for (MajorType type : {MajorType::kAudio, MajorType::kVideo}) {
    const char* wanted = type == MajorType::kAudio ? audio_format : video_codec;
    if (!wanted) continue;
    uint32_t codecs = 0;
    info.GetCodecInfoCount(type, &codecs);
    for (uint32_t codec = 0; codec < codecs; ++codec) {
      uint32_t formats = 0;
      info.GetCodecFormatCount(type, codec, &formats);
      for (uint32_t format = 0; format < formats; ++format) {
        std::unique_ptr<WmStreamConfig> config;
        std::string description;
        info.GetCodecFormatDesc(type, codec, format, &config, &description);
        if (description != wanted) continue;
        if (type == MajorType::kVideo) {
          MediaType media = config->GetMediaType();
          media.video_info()->avg_time_per_frame = 10000000 / 15;
          config->SetMediaType(media);
        }
        config->SetStreamNumber(number++);
        EXPECT_EQ(profile->AddStream(*config), kSOk);
      }
    }
  }
  return profile;
}

std::vector<uint8_t> Yuy2(int width, int height, int index) {
  std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 2);
  for (size_t i = 0; i < frame.size(); i += 2) {
    frame[i] = static_cast<uint8_t>((i / 2 % width + index * 4) & 0xff);
    frame[i + 1] = 128;
  }
  return frame;
}

HResult Write(WmWriter* writer, uint32_t input, int64_t time, const std::vector<uint8_t>& bytes) {
  std::unique_ptr<WmSample> sample;
  HResult hr = writer->AllocateSample(static_cast<uint32_t>(bytes.size()), &sample);
  if (Failed(hr)) return hr;
  uint8_t* data = nullptr;
  sample->GetBuffer(&data);
  std::copy(bytes.begin(), bytes.end(), data);
  return writer->WriteSample(input, time, 0, *sample);
}

class WmWriterTest : public testing::Test {
 protected:
  test::TempWorld world_;
};

TEST_F(WmWriterTest, RefusesCallsOutOfOrder) {
  std::unique_ptr<WmWriter> writer;
  ASSERT_EQ(WMCreateWriter(&writer), kSOk);
  EXPECT_EQ(writer->BeginWriting(), kNsENotConfigured);
  WmSample sample({0, 0, 0, 0});
  EXPECT_EQ(writer->WriteSample(0, 0, 0, sample), kEUnexpected);
  EXPECT_EQ(writer->EndWriting(), kEUnexpected);

  ASSERT_EQ(writer->SetProfile(*Profile("64 kbps, 44 kHz, stereo CBR", nullptr)), kSOk);
  EXPECT_EQ(writer->BeginWriting(), kNsENotConfigured);  // no file name yet
  ASSERT_EQ(writer->SetOutputFilename(Wide(world_.Path("a.wma"))), kSOk);
  ASSERT_EQ(writer->BeginWriting(), kSOk);
  EXPECT_EQ(writer->BeginWriting(), kEUnexpected);
  EXPECT_EQ(writer->SetProfile(WmProfile(kWmtVer90)), kEUnexpected);
  EXPECT_EQ(writer->WriteSample(5, 0, 0, sample), kEInvalidArg);
  EXPECT_EQ(writer->EndWriting(), kSOk);
  EXPECT_EQ(writer->EndWriting(), kEUnexpected);

  ASSERT_EQ(writer->SetProfile(WmProfile(kWmtVer90)), kSOk);
  EXPECT_EQ(writer->BeginWriting(), kNsEInvalidOutputFormat);  // nothing to write
}

TEST_F(WmWriterTest, InputsTakeOnlyWhatTheyCanConvert) {
  std::unique_ptr<WmWriter> writer;
  WMCreateWriter(&writer);
  ASSERT_EQ(writer->SetProfile(*Profile("64 kbps, 44 kHz, stereo CBR", "Windows Media Video 8")),
            kSOk);
  uint32_t inputs = 0;
  ASSERT_EQ(writer->GetInputCount(&inputs), kSOk);
  ASSERT_EQ(inputs, 2u);

  struct Case {
    const char* name;
    uint32_t input;
    MediaType type;
    HResult expected;
  };
  MediaType pcm24 = PcmMediaType(2, 48000);
  pcm24.wave_format()->bits_per_sample = 24;
  MediaType rgb = Yuy2MediaType(320, 240, 0);
  rgb.subtype = FourCcCode("RGB3");
  MediaType short_i420 = I420MediaType(320, 240, 0);
  short_i420.video_info()->bmi.image_size = 320 * 240;
  const Case cases[] = {
      {"SixChannels", 0, PcmMediaType(6, 48000), kSOk},
      {"NoChannels", 0, PcmMediaType(0, 48000), kNsEInvalidInputFormat},
      {"TwentyFourBits", 0, pcm24, kNsEInvalidInputFormat},
      {"VideoOnTheAudioInput", 0, Yuy2MediaType(320, 240, 0), kNsEInvalidInputFormat},
      {"LargerFrames", 1, Yuy2MediaType(640, 480, 0), kSOk},
      {"OddWidth", 1, Yuy2MediaType(321, 240, 0), kNsEInvalidInputFormat},
      {"NotYuy2", 1, rgb, kNsEInvalidInputFormat},
      {"PlanarI420", 1, I420MediaType(320, 240, 0), kSOk},
      {"I420ShorterThanItsFrames", 1, short_i420, kNsEInvalidInputFormat},
  };
  for (const Case& c : cases) {
    std::unique_ptr<WmInputMediaProps> props;
    ASSERT_EQ(writer->GetInputProps(c.input, &props), kSOk);
    // The props keep their input's major type; the writer judges the rest.
    WmInputMediaProps changed(props->GetType(), c.type, props->GetConnectionName());
    EXPECT_EQ(writer->SetInputProps(c.input, changed), c.expected) << c.name;
  }
}

// Every audio format this machine offers is one the encoder writes and
// players read back as described.
TEST_F(WmWriterTest, EveryAudioFormatWrites) {
  std::unique_ptr<WmProfileManager> manager;
  WMCreateProfileManager(&manager);
  const Codec& wma = DefaultCodecs().front();
  ASSERT_EQ(wma.name, "Windows Media Audio 9.2");
  for (const AudioCodecFormat& format : wma.formats) {
    SCOPED_TRACE(format.description);
    std::unique_ptr<WmWriter> writer;
    WMCreateWriter(&writer);
    ASSERT_EQ(writer->SetProfile(*Profile(format.description.c_str(), nullptr)), kSOk);
    std::string path = world_.Path("format.wma");
    ASSERT_EQ(writer->SetOutputFilename(Wide(path)), kSOk);
    ASSERT_EQ(writer->BeginWriting(), kSOk);
    // A fifth of a second of 44.1 kHz stereo input: resampled and remixed.
    std::vector<uint8_t> pcm(8820 * 4);
    for (size_t i = 0; i < pcm.size(); i += 2) {
      auto value = static_cast<int16_t>(6000 * std::sin(i / 40.0));
      pcm[i] = static_cast<uint8_t>(value & 0xff);
      pcm[i + 1] = static_cast<uint8_t>(value >> 8);
    }
    ASSERT_EQ(Write(writer.get(), 0, 0, pcm), kSOk);
    ASSERT_EQ(writer->EndWriting(), kSOk);
    EXPECT_EQ(test::ProbeEntry(path, "a:0", "stream=codec_name,sample_rate,channels,bit_rate"),
              "wmav2\n" + std::to_string(format.sample_rate) + "\n" +
                  std::to_string(format.channels) + "\n" + std::to_string(format.bit_rate));
  }
}

TEST_F(WmWriterTest, SampleTimesPlaceTheSamples) {
  std::unique_ptr<WmWriter> writer;
  WMCreateWriter(&writer);
  ASSERT_EQ(writer->SetProfile(*Profile("64 kbps, 44 kHz, stereo CBR", "Windows Media Video 8")),
            kSOk);
  // Larger input frames are scaled to the stream's size.
  std::unique_ptr<WmInputMediaProps> video;
  writer->GetInputProps(1, &video);
  ASSERT_EQ(video->SetMediaType(Yuy2MediaType(640, 480, 0)), kSOk);
  ASSERT_EQ(writer->SetInputProps(1, *video), kSOk);
  std::string path = world_.Path("times.wmv");
  ASSERT_EQ(writer->SetOutputFilename(Wide(path)), kSOk);
  ASSERT_EQ(writer->BeginWriting(), kSOk);

  // The audio starts at 1 s and runs on from there.
  std::vector<uint8_t> pcm(4410 * 4);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(Write(writer.get(), 0, 10000000 + i * 1000000, pcm), kSOk);
  // Frames at 15 fps, 666,666 100-ns units apart; a time off the grid goes
  // to the nearest slot, a slot taken goes to the next.
  const int64_t times[] = {0, 666666, 1400000, 1400000, 2666664};
  int index = 0;
  for (int64_t time : times)
    ASSERT_EQ(Write(writer.get(), 1, time, Yuy2(640, 480, index++)), kSOk);
  ASSERT_EQ(writer->EndWriting(), kSOk);

  EXPECT_EQ(test::ProbeEntry(path, "v:0", "stream=width,height"), "320\n240");
  std::vector<double> frames = PacketTimes(path, "v:0");
  std::vector<double> audio = PacketTimes(path, "a:0");
  ASSERT_EQ(frames.size(), 5u);
  ASSERT_FALSE(audio.empty());
  const double expected[] = {0, 1 / 15.0, 2 / 15.0, 3 / 15.0, 4 / 15.0};
  for (size_t i = 0; i < 5; ++i) EXPECT_NEAR(frames[i], expected[i], 0.001) << i;
  // The audio codec's packets run one 2048-sample frame (its priming)
  // ahead of the audio they carry.
  const double priming = 2048.0 / 44100;
  EXPECT_NEAR(audio.front(), 1.0 - priming, 0.001);
  EXPECT_NEAR(audio.back() - audio.front(), 1.0, priming + 0.001);
}

TEST_F(WmWriterTest, TwoThreadsWriteAtOnce) {
  std::unique_ptr<WmWriter> writer;
  WMCreateWriter(&writer);
  ASSERT_EQ(writer->SetProfile(*Profile("128 kbps, 44 kHz, stereo CBR", "Windows Media Video 7")),
            kSOk);
  std::string path = world_.Path("threads.wmv");
  ASSERT_EQ(writer->SetOutputFilename(Wide(path)), kSOk);
  ASSERT_EQ(writer->BeginWriting(), kSOk);
  const int kFrames = 150;  // 10 s at 15 fps
  HResult audio_result = kSOk;
  HResult video_result = kSOk;
  std::thread audio([&] {
    std::vector<uint8_t> pcm(2940 * 4);  // one frame period at 44.1 kHz
    for (int i = 0; i < kFrames && Succeeded(audio_result); ++i)
      audio_result = Write(writer.get(), 0, i * 666666LL, pcm);
  });
  std::thread video([&] {
    for (int i = 0; i < kFrames && Succeeded(video_result); ++i)
      video_result = Write(writer.get(), 1, i * 666666LL, Yuy2(320, 240, i));
  });
  audio.join();
  video.join();
  EXPECT_EQ(audio_result, kSOk);
  EXPECT_EQ(video_result, kSOk);
  ASSERT_EQ(writer->EndWriting(), kSOk);
  EXPECT_EQ(PacketTimes(path, "v:0").size(), static_cast<size_t>(kFrames));
  std::vector<double> audio_times = PacketTimes(path, "a:0");
  ASSERT_FALSE(audio_times.empty());
  EXPECT_NEAR(audio_times.back(), 10.0, 0.1);
}

TEST_F(WmWriterTest, CodecInformationListsNoVariableRateFormats) {
  std::unique_ptr<WmProfileManager> manager;
  WMCreateProfileManager(&manager);
  WmCodecInfo& info = manager->codec_info();
  uint32_t constant = 0;
  ASSERT_EQ(info.GetCodecFormatCount(MajorType::kAudio, 0, &constant), kSOk);
  EXPECT_EQ(constant, DefaultCodecs().front().formats.size());
  // The standard WMA encoder writes at a constant rate only.
  ASSERT_EQ(info.SetCodecEnumerationSetting(MajorType::kAudio, 0, kVbrEnabledSetting, true), kSOk);
  uint32_t variable = 1;
  ASSERT_EQ(info.GetCodecFormatCount(MajorType::kAudio, 0, &variable), kSOk);
  EXPECT_EQ(variable, 0u);
  EXPECT_EQ(info.SetCodecEnumerationSetting(MajorType::kAudio, 0, "_NOSUCHSETTING", true),
            kEInvalidArg);
  EXPECT_EQ(info.SetCodecEnumerationSetting(MajorType::kAudio, 7, kVbrEnabledSetting, false),
            kEInvalidArg);
}

TEST(WmWideText, ConvertsValidTextOnly) {
  struct Case {
    const char* utf8;
    std::wstring wide;
    bool valid;
  };
  const Case cases[] = {
      {"/home/clip.wmv", L"/home/clip.wmv", true},
      {"caf\xc3\xa9", L"caf\u00e9", true},
      {"\xf0\x9f\x8e\xac", std::wstring(1, static_cast<wchar_t>(0x1F3AC)), true},
      {"\xff", L"", false},
      {"\xc0\xaf", L"", false},          // an overlong '/'
      {"\xed\xa0\x80", L"", false},      // a surrogate
      {"\xe2\x82", L"", false},          // cut short
  };
  for (const Case& c : cases) {
    std::wstring wide;
    ASSERT_EQ(Utf8ToWide(c.utf8, &wide), c.valid) << c.utf8;
    if (!c.valid) continue;
    EXPECT_EQ(wide, c.wide);
    std::string back;
    ASSERT_TRUE(WideToUtf8(wide, &back));
    EXPECT_EQ(back, c.utf8);
  }
  std::string text;
  EXPECT_FALSE(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800)), &text));
}

}  // namespace
}  // namespace ovc::wmf
