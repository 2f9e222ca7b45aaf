#include "engine/record/avi_output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/scripted_message_box.h"
#include "engine/record/avi_writer_test_support.h"
#include "engine/record/format_output_factory.h"
#include "engine/record/recording_session.h"
#include "support/command_output.h"
#include "support/temp_world.h"
#include "support/i420_picture.h"

namespace ovc {
namespace {

constexpr char kNoFolderText[] =
    "Cannot create output file. Output folder does not exist or you have no permission to "
    "create files in the output folder. \n\nTry to set another output folder under File menu.";
constexpr char kReadOnlyText[] =
    "Cannot create output file. The file is read-only or being used by other applications. "
    "\n\nPlease set another output filename under File menu..";

class CountingPrompt : public MissingCodecPrompt {
 public:
  void Show() override { ++shown; }
  int shown = 0;
};

using test::ProbeEntry;

OutputConfig AviConfig(const char* handler) {
  OutputConfig output;
  output.format = kFormatAvi;
  output.width = 176;
  output.height = 144;
  output.out_frame_rate = 15;
  output.video_bitrate = 400;
  output.audio_bitrate = 128;
  output.audio_output_freq = 44100;
  output.input_sample_rate = 44100;
  output.input_channels = 2;
  output.avi_codec.fcc_handler = FourCc(handler);
  return output;
}

// A moving gradient, as a 4:2:0 frame.
std::vector<uint8_t> Picture(const OutputConfig& output, int index) {
  std::vector<uint8_t> frame(static_cast<size_t>(output.width) * output.height * 2);
  for (int y = 0; y < output.height; ++y)
    for (int x = 0; x < output.width; ++x) {
      uint8_t* p = &frame[(static_cast<size_t>(y) * output.width + x) * 2];
      p[0] = static_cast<uint8_t>((x + y + index * 4) & 0xff);
      p[1] = static_cast<uint8_t>(x & 1 ? 100 + y : 140 - y / 2);
    }
  return test::I420FromYuy2(frame, output.width, output.height);
}

class AviOutputTest : public testing::Test {
 protected:
  // Records `frames` frames through a session with a 440 Hz stereo tone.
  int Record(OutputConfig* output, const std::string& path, int frames, int processors) {
    FormatOutputFactory factory(&prompt_);
    RecordingSession session(output, &factory, processors);
    session.set_output_path(path);
    if (session.OpenOutput(false) != 0) return -1;
    session.StartProducers();
    const int per_frame = static_cast<int>(output->input_sample_rate / output->out_frame_rate);
    std::vector<int16_t> pcm(static_cast<size_t>(per_frame) * output->input_channels);
    long t = 0;
    for (int i = 0; i < frames; ++i) {
      for (int s = 0; s < per_frame; ++s, ++t)
        for (int c = 0; c < output->input_channels; ++c)
          pcm[static_cast<size_t>(s) * output->input_channels + c] = static_cast<int16_t>(
              8000 * std::sin(2 * M_PI * 440.0 * t / output->input_sample_rate));
      auto picture = Picture(*output, i);
      session.Produce(picture.data(), pcm.data(), per_frame);
    }
    session.StopProducers();
    session.FinishOutput();
    return 0;
  }

  test::TempWorld world_;
  ScriptedMessageBox box_;
  ScopedMessageBox installed_{&box_};
  CountingPrompt prompt_;
};

struct CodecCase {
  const char* name;
  const char* handler;
  const char* ffprobe_codec;
  int processors;
  int input_channels;
};
void PrintTo(const CodecCase& c, std::ostream* os) { *os << c.name; }

class AviOutputCodecs : public AviOutputTest, public testing::WithParamInterface<CodecCase> {};

TEST_P(AviOutputCodecs, WritesAFileThatPlayersRead) {
  OutputConfig output = AviConfig(GetParam().handler);
  output.input_channels = GetParam().input_channels;
  std::string path = world_.Path("clip.avi");
  ASSERT_EQ(Record(&output, path, 45, GetParam().processors), 0);
  EXPECT_TRUE(box_.Texts().empty()) << box_.Texts()[0];

  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=codec_name"), GetParam().ffprobe_codec);
  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=width,height"), "176\n144");
  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=nb_read_frames"), "45");
  EXPECT_EQ(ProbeEntry(path, "a:0", "stream=codec_name"), "mp3");
  EXPECT_EQ(ProbeEntry(path, "a:0", "stream=sample_rate"), "44100");
  // 45 frames at 15 fps are 3 s; the audio is within an MP3 frame of it
  // (the last partial period stays behind, the encoder's flush pads).
  double audio_seconds = std::stoi(ProbeEntry(path, "a:0", "stream=nb_read_frames")) * 1152.0 / 44100;
  EXPECT_NEAR(audio_seconds, 3.0, 2 * 1152.0 / 44100 + 1.0 / 15);
}

INSTANTIATE_TEST_SUITE_P(
    Compressors, AviOutputCodecs,
    testing::Values(CodecCase{"XvidThreads", "XVID", "mpeg4", 2, 2},
                    CodecCase{"DivxInline", "DIVX", "mpeg4", 1, 2},
                    CodecCase{"MjpegMonoSource", "MJPG", "mjpeg", 2, 1},
                    CodecCase{"XvidFromSixChannels", "XVID", "mpeg4", 2, 6}),
    [](const testing::TestParamInfo<CodecCase>& info) { return info.param.name; });

// Pass 1 writes no audio and the codec statistics; pass 2 records the same
// range again. Both passes split the output, at different pictures (the
// first pass's parts are smaller without sound). Every part plays, the
// parts hold every frame, each part's audio lasts as long as its video, and
// every second-pass part runs on the statistics of its own pictures.
class AviOutputTwoPass : public AviOutputTest, public testing::WithParamInterface<const char*> {};

TEST_P(AviOutputTwoPass, PartsOfBothPassesKeepTheirStatistics) {
  OutputConfig output = AviConfig(GetParam());
  output.n_pass = 2;
  output.pass = 1;
  std::string path = world_.Path("two pass.avi");
  FormatOutputFactory factory(&prompt_);
  RecordingSession session(&output, &factory, 2);
  auto write_mode = [&] { WriteCodecPassMode(output); };
  write_mode();

  const int per_frame = 44100 / 15;
  std::vector<int16_t> pcm(static_cast<size_t>(per_frame) * 2, 1000);
  for (int pass = 1; pass <= 2; ++pass) {
    session.set_output_path(path);
    ASSERT_EQ(session.OpenOutput(false), 0) << "pass " << pass;
    session.StartProducers();
    for (int i = 0; i < 60; ++i) {
      auto picture = Picture(output, i);
      for (int s = 0; s < per_frame * 2; ++s) pcm[s] = static_cast<int16_t>(((s / 2 + i) % 50) * 200);
      session.Produce(picture.data(), pcm.data(), per_frame);
      if (i == (pass == 1 ? 39 : 29)) {
        ASSERT_EQ(session.NextOutputPart(), 0);
      }
    }
    session.StopProducers();
    session.FinishOutput();
    if (pass == 1) {
      // Between the passes the range's statistics wait in the temp folder.
      bool kept = false;
      for (const auto& entry : std::filesystem::directory_iterator(world_.temp()))
        kept |= entry.path().filename().string().rfind("pass-", 0) == 0;
      EXPECT_TRUE(kept);
    }
    EXPECT_EQ(session.AdvancePass(write_mode), pass == 1);
  }
  EXPECT_EQ(output.pass, 1);
  EXPECT_EQ(output.file_number, 1);
  EXPECT_TRUE(box_.Texts().empty());
  for (const std::string& message : test::TraceMessages())
    EXPECT_EQ(message.find("one pass"), std::string::npos) << message;
  for (const auto& entry : std::filesystem::directory_iterator(world_.temp()))
    EXPECT_NE(entry.path().filename().string().rfind("pass-", 0), 0u) << entry.path();

  std::string second = world_.Path("two pass - 02.avi");
  int frames = std::stoi(ProbeEntry(path, "v:0", "stream=nb_read_frames")) +
               std::stoi(ProbeEntry(second, "v:0", "stream=nb_read_frames"));
  EXPECT_EQ(frames, 60);
  for (const std::string& part : {path, second}) {
    double video = std::stoi(ProbeEntry(part, "v:0", "stream=nb_read_frames")) / 15.0;
    double audio = std::stoi(ProbeEntry(part, "a:0", "stream=nb_read_frames")) * 1152.0 / 44100;
    EXPECT_NEAR(audio, video, 2 * 1152.0 / 44100 + 1.0 / 15) << part;
  }
}

INSTANTIATE_TEST_SUITE_P(Compressors, AviOutputTwoPass, testing::Values("XVID", "DIVX"));

TEST_F(AviOutputTest, MissingOutputFolderIsReported) {
  OutputConfig output = AviConfig("XVID");
  EXPECT_EQ(Record(&output, world_.Path("no/such/folder/clip.avi"), 1, 2), -1);
  EXPECT_EQ(box_.Texts(), std::vector<std::string>{kNoFolderText});
}

TEST_F(AviOutputTest, AnUnwritableExistingFileIsReported) {
  // A folder in the file's place can't be opened as a file, even by root.
  std::string path = world_.Path("clip.avi");
  std::filesystem::create_directories(path);
  OutputConfig output = AviConfig("XVID");
  box_.Answer(kButtonYes);  // overwrite? yes
  EXPECT_EQ(Record(&output, path, 1, 2), -1);
  ASSERT_EQ(box_.Texts().size(), 2u);
  EXPECT_EQ(box_.Texts()[1], kReadOnlyText);
}

TEST_F(AviOutputTest, AnUninstalledCompressorShowsTheCodecPrompt) {
  OutputConfig output = AviConfig("ABCD");
  EXPECT_EQ(Record(&output, world_.Path("clip.avi"), 1, 2), -1);
  EXPECT_EQ(prompt_.shown, 1);
}

TEST_F(AviOutputTest, MissingMp3LibraryStopsOnlyPassesWithAudio) {
  world_.SetEnv("OVC_MP3_LIBRARY", world_.Path("missing/libmp3lame.so.0"));
  OutputConfig output = AviConfig("XVID");
  std::string path = world_.Path("clip.avi");
  EXPECT_EQ(Record(&output, path, 3, 2), -1);
  EXPECT_EQ(box_.Texts(), std::vector<std::string>{"lame not loaded"});

  // The first of two passes writes no audio and needs no MP3 encoder.
  box_.Clear();
  output.n_pass = 2;
  output.pass = 1;
  box_.Answer(kButtonYes);  // the failed attempt left an empty file behind
  EXPECT_EQ(Record(&output, path, 15, 2), 0);
  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=nb_read_frames"), "15");
  EXPECT_EQ(ProbeEntry(path, "a", "stream=codec_name"), "");
}

}  // namespace
}  // namespace ovc
