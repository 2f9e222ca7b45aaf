#include "engine/record/wmv_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/scripted_message_box.h"
#include "engine/record/recording_session.h"
#include "support/command_output.h"
#include "support/temp_world.h"
#include "support/i420_picture.h"

namespace ovc {
namespace {

// Opens WmvOutput for format 1 with fixed codec choices, as the format
// factory does with the main window's choices.
class WmvFactory : public OutputFactory {
 public:
  explicit WmvFactory(WmvCodecChoice codecs) : codecs_(std::move(codecs)) {}
  std::unique_ptr<FileOutput> Open(const OutputConfig& output, const std::string& path,
                                   bool /*audio_enabled*/) override {
    return WmvOutput::Open(output, codecs_, path);
  }

 private:
  WmvCodecChoice codecs_;
};

using test::CommandOutput;
using test::ProbeEntry;

// The packets of a stream: their count, summed sizes and first and last
// times.
struct PacketSummary {
  int count = 0;
  long bytes = 0;
  double first = 0;     // seconds: the first packet's time
  double last = 0;      // seconds: the last packet's time
};

PacketSummary Packets(const std::string& path, const std::string& stream) {
  std::istringstream lines(CommandOutput("ffprobe -v error -select_streams " + stream +
                               " -show_entries packet=pts_time,size -of csv=p=0 '" +
                               path + "' 2>/dev/null"));
  PacketSummary summary;
  std::string line;
  while (std::getline(lines, line)) {
    char* end = nullptr;
    double pts = std::strtod(line.c_str(), &end);
    if (*end != ',') continue;
    if (summary.count++ == 0) summary.first = pts;
    summary.bytes += std::atol(end + 1);
    summary.last = std::max(summary.last, pts);
  }
  return summary;
}

double Fraction(const std::string& text) {
  int num = 0, den = 0;
  if (std::sscanf(text.c_str(), "%d/%d", &num, &den) != 2 || den == 0) return 0;
  return static_cast<double>(num) / den;
}

// A 4:2:0 frame: moving waves with a little noise, or a white frame for a
// sync mark.
std::vector<uint8_t> Picture(int width, int height, int index, bool white) {
  std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 2);
  uint32_t seed = 12345u + static_cast<uint32_t>(index) * 7919u;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245u + 12345u;
      double wave = std::sin(x / 7.0 + index / 3.0) * std::cos(y / 5.0 - index / 4.0);
      uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 2];
      p[0] = white ? 235 : static_cast<uint8_t>(128 + 70 * wave + (seed >> 30));
      p[1] = white ? 128 : static_cast<uint8_t>(x & 1 ? 100 + (y & 63) : 140 - (x & 31));
    }
  return test::I420FromYuy2(frame, width, height);
}

// What a recording feeds: the frames, and the audio as a 440 Hz tone, or
// silence with a 1 kHz burst at the start of the audio of `mark_frame`,
// whose picture is then white.
struct Feed {
  int frames = 30;
  int mark_frame = -1;
};

class WmvOutputTest : public testing::Test {
 protected:
  static OutputConfig Config(int width, int height, double fps, float kbps, int rate,
                             int channels) {
    OutputConfig output;
    output.format = kFormatWmv;
    output.width = width;
    output.height = height;
    output.out_frame_rate = fps;
    output.video_bitrate = kbps;
    output.input_sample_rate = rate;
    output.input_channels = channels;
    return output;
  }

  // Records through a session with the two encoding threads (processors
  // 2) or inline (1). Returns -1 when the output could not be opened.
  int Record(OutputConfig* output, const WmvCodecChoice& codecs, const std::string& path,
             const Feed& feed, int processors) {
    WmvFactory factory(codecs);
    RecordingSession session(output, &factory, processors);
    session.set_output_path(path);
    if (session.OpenOutput(false) != 0) return -1;
    session.StartProducers();
    const int channels = output->input_channels;
    const int rate = output->input_sample_rate;
    const double per_frame = rate / output->out_frame_rate;
    double due = 0;
    long t = 0;
    for (int i = 0; i < feed.frames; ++i) {
      due += per_frame;
      int n = static_cast<int>(due) - static_cast<int>(t);
      std::vector<int16_t> pcm(static_cast<size_t>(n) * channels);
      for (int s = 0; s < n; ++s, ++t) {
        double value = 0;
        if (feed.mark_frame < 0)
          value = 8000 * std::sin(2 * M_PI * 440.0 * t / rate);
        else if (i == feed.mark_frame && s < rate / 50)
          value = 20000 * std::sin(2 * M_PI * 1000.0 * s / rate);
        for (int c = 0; c < channels; ++c)
          pcm[static_cast<size_t>(s) * channels + c] = static_cast<int16_t>(value);
      }
      auto picture = Picture(output->width, output->height, i, i == feed.mark_frame);
      session.Produce(picture.data(), pcm.data(), n);
    }
    session.StopProducers();
    session.FinishOutput();
    return 0;
  }

  test::TempWorld world_;
  ScriptedMessageBox box_;
  ScopedMessageBox installed_{&box_};
};

// The decoded audio of a file as mono samples, and the time of the first.
struct DecodedAudio {
  std::vector<int16_t> samples;
  double start = 0;  // seconds
};

DecodedAudio Decode(const std::string& path, int rate) {
  DecodedAudio audio;
  std::string raw = CommandOutput("ffmpeg -v error -i '" + path + "' -map 0:a -ac 1 -ar " +
                        std::to_string(rate) + " -f s16le - 2>/dev/null");
  audio.samples.resize(raw.size() / 2);
  std::memcpy(audio.samples.data(), raw.data(), audio.samples.size() * 2);
  std::string first = CommandOutput(
      "ffprobe -v error -select_streams a:0 -show_entries frame=pts_time "
      "-of csv=p=0 '" +
      path + "' 2>/dev/null");
  audio.start = std::atof(first.c_str());
  return audio;
}

struct RecordingCase {
  const char* name;
  int processors;
  int width;
  int height;
  double fps;
  int frames;
  int input_rate;
  int input_channels;
  const char* video_codec;
  const char* audio_format;
  float video_kbps;
  const char* probe_video_codec;
  int probe_rate;
  int probe_channels;
};
void PrintTo(const RecordingCase& c, std::ostream* os) { *os << c.name; }

class WmvRecordingTest : public WmvOutputTest, public testing::WithParamInterface<RecordingCase> {};

TEST_P(WmvRecordingTest, PlayersReadTheFile) {
  const RecordingCase& c = GetParam();
  OutputConfig output =
      Config(c.width, c.height, c.fps, c.video_kbps, c.input_rate, c.input_channels);
  WmvCodecChoice codecs;
  codecs.video_codec = c.video_codec;
  codecs.audio_format = c.audio_format;
  std::string path = world_.Path("clip.wmv");
  ASSERT_EQ(Record(&output, codecs, path, Feed{c.frames, -1}, c.processors), 0);
  EXPECT_TRUE(box_.Texts().empty()) << box_.Texts()[0];

  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=codec_name"), c.probe_video_codec);
  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=width"), std::to_string(c.width));
  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=height"), std::to_string(c.height));
  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=nb_read_frames"), std::to_string(c.frames));
  EXPECT_NEAR(Fraction(ProbeEntry(path, "v:0", "stream=avg_frame_rate")), c.fps, 0.02);
  EXPECT_EQ(ProbeEntry(path, "a:0", "stream=codec_name"), "wmav2");
  EXPECT_EQ(ProbeEntry(path, "a:0", "stream=sample_rate"), std::to_string(c.probe_rate));
  EXPECT_EQ(ProbeEntry(path, "a:0", "stream=channels"), std::to_string(c.probe_channels));

  // Times in the file are whole milliseconds.
  const double seconds = c.frames / c.fps;
  PacketSummary video = Packets(path, "v:0");
  PacketSummary audio = Packets(path, "a:0");
  const double video_end = video.last + 1 / c.fps;
  EXPECT_NEAR(video_end - video.first, seconds, 0.002);
  // The audio starts with the codec's one frame of priming before the
  // first picture and, as heard, ends with the pictures (the codec's last
  // frame is completed with silence).
  EXPECT_LE(audio.first, video.first);
  EXPECT_LE(video.first - audio.first, 2048.0 / c.probe_rate + 0.001);
  DecodedAudio decoded = Decode(path, c.probe_rate);
  const double audio_end = decoded.start + decoded.samples.size() / double(c.probe_rate);
  EXPECT_NEAR(audio_end, video_end, 0.05);
  double video_kbps = video.bytes * 8 / seconds / 1000;
  EXPECT_LE(video_kbps, c.video_kbps * 1.15);
  EXPECT_GE(video_kbps, c.video_kbps * 0.5);
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, WmvRecordingTest,
    testing::Values(
        RecordingCase{"Wmv8StereoThreads", 2, 320, 240, 29.97, 90, 44100, 2,
                      "Windows Media Video 8", "64 kbps, 44 kHz, stereo CBR", 500, "wmv2", 44100,
                      2},
        RecordingCase{"Wmv7ResampledInline", 1, 176, 144, 15, 45, 48000, 2,
                      "Windows Media Video 7", "32 kbps, 22 kHz, stereo CBR", 250, "wmv1", 22050,
                      2},
        RecordingCase{"SixChannelsToMonoThreads", 2, 320, 240, 25, 50, 48000, 6,
                      "Windows Media Video 8", "32 kbps, 44 kHz, mono CBR", 400, "wmv2", 44100,
                      1},
        RecordingCase{"MonoSourceToStereoInline", 1, 320, 240, 14.985, 45, 22050, 1,
                      "Windows Media Video 8", "48 kbps, 44 kHz, stereo CBR", 300, "wmv2", 44100,
                      2}),
    [](const testing::TestParamInfo<RecordingCase>& info) { return info.param.name; });

// The white frame and the audio burst that belong together play together.
TEST_F(WmvOutputTest, AMarkInPictureAndSoundPlaysAtOneTime) {
  for (int processors : {1, 2}) {
    SCOPED_TRACE(processors);
    OutputConfig output = Config(320, 240, 29.97, 500, 44100, 2);
    std::string path = world_.Path("mark.wmv");
    std::filesystem::remove(path);
    const int mark = 40;
    ASSERT_EQ(Record(&output, WmvCodecChoice{}, path, Feed{75, mark}, processors), 0);

    std::istringstream lines(CommandOutput("ffprobe -v error -select_streams v:0 -show_entries "
                                 "packet=pts_time -of csv=p=0 '" + path + "'"));
    std::vector<double> frame_times;
    for (std::string line; std::getline(lines, line);)
      frame_times.push_back(std::atof(line.c_str()));
    ASSERT_EQ(frame_times.size(), 75u);
    std::sort(frame_times.begin(), frame_times.end());

    DecodedAudio audio = Decode(path, 44100);
    auto loud = std::find_if(audio.samples.begin(), audio.samples.end(),
                             [](int16_t v) { return std::abs(v) > 4000; });
    ASSERT_NE(loud, audio.samples.end());
    double burst = audio.start + (loud - audio.samples.begin()) / 44100.0;
    EXPECT_NEAR(burst, frame_times[mark], 0.02);
  }
}

TEST_F(WmvOutputTest, AWideSourceGetsWidePixels) {
  OutputConfig output = Config(320, 240, 15, 300, 44100, 2);
  output.aspect_x = 16;
  output.aspect_y = 9;
  std::string path = world_.Path("wide.wmv");
  ASSERT_EQ(Record(&output, WmvCodecChoice{}, path, Feed{15, -1}, 2), 0);
  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=sample_aspect_ratio"), "4:3");
  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=display_aspect_ratio"), "16:9");
}

TEST_F(WmvOutputTest, TheFirstOfTwoPassesWritesPicturesOnly) {
  OutputConfig output = Config(320, 240, 15, 300, 44100, 2);
  output.n_pass = 2;
  output.pass = 1;
  std::string path = world_.Path("pass1.wmv");
  ASSERT_EQ(Record(&output, WmvCodecChoice{}, path, Feed{30, -1}, 2), 0);
  EXPECT_TRUE(box_.Texts().empty());
  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=nb_read_frames"), "30");
  EXPECT_EQ(Packets(path, "a:0").count, 0);
}

TEST_F(WmvOutputTest, AnUnwritablePathIsReportedOnce) {
  // A folder in the file's place can't be written, even by root.
  std::string path = world_.Path("clip.wmv");
  std::filesystem::create_directories(path);
  OutputConfig output = Config(320, 240, 15, 300, 44100, 2);
  box_.Answer(kButtonYes);  // overwrite? yes
  EXPECT_EQ(Record(&output, WmvCodecChoice{}, path, Feed{3, -1}, 2), -1);
  ASSERT_EQ(box_.Shown().size(), 2u);
  EXPECT_EQ(box_.Shown()[1].text,
            "Unable to Initialize Writing. Make sure the file/folder is NOT readonly and you have "
            "the permission to write.");
  EXPECT_EQ(box_.Shown()[1].caption, "Error");
  EXPECT_EQ(box_.Shown()[1].kind, MessageKind::kError);
}

TEST_F(WmvOutputTest, AMissingFolderIsReportedOnce) {
  OutputConfig output = Config(320, 240, 15, 300, 44100, 2);
  EXPECT_EQ(Record(&output, WmvCodecChoice{}, world_.Path("gone/clip.wmv"), Feed{3, -1}, 1), -1);
  EXPECT_EQ(box_.Texts(),
            std::vector<std::string>{
                "Unable to Set Output Filename. Make sure the folder exists and you have "
                "permissions to write.\n\nYou may change the output location in File Menu."});
}

}  // namespace
}  // namespace ovc
