// multiconv on sources whose sound is missing, ends before the picture or
// runs on after it: every output has a sound track as long as the longer
// stream, silent where the source has no sound.

#include <cmath>
#include <cstdlib>
#include <ostream>

#include "multiconv_fixture.h"

namespace ovc::test {
namespace {

// Outputs may differ from the longer stream by this much (seconds).
constexpr double kLengthTolerance = 0.05;

struct Streams {
  double video = 0;  // seconds
  double audio = 0;
  int pictures = 0;
  double max_volume = 0;  // dB, of the sound
};

double Number(const std::string& text) { return text.empty() ? -1 : std::atof(text.c_str()); }

// The end of the last packet of a stream: what a player plays, also where a
// container declares no stream duration.
double PacketsEnd(const std::string& path, const char* stream) {
  const std::string text = CommandOutput(
      std::string("ffprobe -v error -select_streams ") + stream +
      " -show_entries packet=pts_time,duration_time -of csv=p=0 " + Quote(path) +
      " | awk -F, '$1 != \"N/A\" { end = $1 + $2; if (end > last) last = end }"
      " END { print last }'");
  return Number(text);
}

// The loudest sample of the sound from `from` seconds on, in dB (-91 for
// digital silence).
double MaxVolume(const std::string& path, double from = 0) {
  char start[32];
  std::snprintf(start, sizeof start, "%g", from);
  const std::string volume = CommandOutput(
      "ffmpeg -v info -nostats -ss " + std::string(start) + " -i " + Quote(path) +
      " -map 0:a:0 -af volumedetect -f null - 2>&1 | sed -n 's/.*max_volume: \\(.*\\) dB/\\1/p'");
  return volume.empty() ? 0 : Number(volume);
}

Streams Probe(const std::string& path) {
  Streams streams;
  streams.video = PacketsEnd(path, "v:0");
  streams.audio = PacketsEnd(path, "a:0");
  streams.pictures = static_cast<int>(Number(ProbeEntry(path, "v:0", "stream=nb_read_frames")));
  streams.max_volume = MaxVolume(path);
  return streams;
}

// Makes a clip with the ffmpeg command: `video_seconds` of a test picture
// at 25 pictures a second and, unless 0, `sound_seconds` of a tone.
std::string MakeClip(TempWorld& world, const std::string& name, const std::string& video_codec,
                     double video_seconds, double sound_seconds) {
  const std::string path = world.Path(name);
  char inputs[256];
  std::snprintf(inputs, sizeof inputs,
                "-f lavfi -t %g -i testsrc=size=320x240:rate=25 ", video_seconds);
  std::string command = "ffmpeg -v error -y " + std::string(inputs);
  if (sound_seconds > 0) {
    char sound[128];
    std::snprintf(sound, sizeof sound, "-f lavfi -t %g -i sine=frequency=440:sample_rate=44100 ",
                  sound_seconds);
    command += sound;
    command += "-c:a mp2 ";
  }
  command += "-c:v " + video_codec + " -g 12 " + Quote(path) + " 2>&1";
  EXPECT_EQ(CommandOutput(command), "") << command;
  return path;
}

struct SoundCase {
  const char* name;
  const char* file;         // the source's name; its extension names the container
  const char* video_codec;  // of the ffmpeg command
  const char* profile;
  double video_seconds;
  double sound_seconds;  // 0: none
};
void PrintTo(const SoundCase& c, std::ostream* os) { *os << c.name; }

class MulticonvSoundEndsTest : public MulticonvTest,
                               public testing::WithParamInterface<SoundCase> {
 protected:
  // Converts the case's clip with `extra` options; checks the run and
  // returns its outputs.
  std::vector<std::string> Convert(const std::string& extra = "") {
    const SoundCase& c = GetParam();
    const std::string clip =
        MakeClip(world_, c.file, c.video_codec, c.video_seconds, c.sound_seconds);
    ProgramRun run = Multiconv("-q -p " + Quote(c.profile) + " -o " + Quote(out_) + " " + extra +
                               " " + Quote(clip));
    EXPECT_EQ(run.exit_code, 0) << run.err;
    // Without sound, one line says what the output gets; nothing else.
    const std::string expected_err =
        c.sound_seconds > 0
            ? ""
            : "multiconv: " + clip + " has no sound; the output gets a silent sound track\n";
    EXPECT_EQ(run.err, expected_err);
    return run.out_lines;
  }

  // The output lasts as long as the longer stream, its sound as long as its
  // picture; without sound it is silent.
  void CheckOutput(const std::string& path, double seconds) {
    const SoundCase& c = GetParam();
    const Streams streams = Probe(path);
    EXPECT_NEAR(streams.video, seconds, kLengthTolerance) << path;
    EXPECT_NEAR(streams.audio, streams.video, kLengthTolerance) << path;
    if (c.sound_seconds > 0)
      EXPECT_GT(streams.max_volume, -40) << path;
    else
      EXPECT_LT(streams.max_volume, -80) << path;
    // After a sound that ends early, silence (past the encoders' smear).
    if (c.sound_seconds > 0 && c.sound_seconds + 0.15 < seconds)
      EXPECT_LT(MaxVolume(path, c.sound_seconds + 0.15), -80) << path;
  }
};

TEST_P(MulticonvSoundEndsTest, TheOutputLastsAsLongAsTheLongerStream) {
  const SoundCase& c = GetParam();
  const std::vector<std::string> outputs = Convert();
  ASSERT_EQ(outputs.size(), 1u);
  CheckOutput(outputs[0], std::max(c.video_seconds, c.sound_seconds));
  // Every picture is there: as many as the output rate makes of the
  // source's length, within one.
  const double rate = Number(
      CommandOutput("ffprobe -v error -select_streams v:0 -show_entries stream=avg_frame_rate -of "
                    "csv=p=0 " + Quote(outputs[0]) + " | awk -F/ '{ print ($2 ? $1 / $2 : $1) }'"));
  EXPECT_NEAR(Probe(outputs[0]).pictures, std::max(c.video_seconds, c.sound_seconds) * rate, 1.5);
}

const SoundCase kWithoutSound[] = {
    {"Mpeg1ToPsp", "menu.mpg", "mpeg1video", "PSP", 2.0, 0},
    {"Mpeg2ToIpod", "dvd.vob", "mpeg2video", "iPod", 2.0, 0},
    {"Mp4To3gpPhone", "phone.mp4", "mpeg4", "3GP phone", 2.0, 0},
    {"MkvToAvi", "clip.mkv", "mpeg4", "AVI", 2.0, 0},
    {"Mpeg1ToWmv", "old.mpg", "mpeg1video", "WMV", 2.0, 0},
};
INSTANTIATE_TEST_SUITE_P(WithoutSound, MulticonvSoundEndsTest, testing::ValuesIn(kWithoutSound),
                         [](const auto& info) { return std::string(info.param.name); });

// A DVD menu clip whose sound stops early.
const SoundCase kShortSound[] = {
    {"MenuToPsp", "menu.mpg", "mpeg2video", "PSP", 2.0, 0.5},
    {"MenuToAvi", "menu.mpg", "mpeg1video", "AVI", 2.0, 0.5},
    {"MkvToWmv", "clip.mkv", "mpeg4", "WMV", 2.0, 1.0},
};
INSTANTIATE_TEST_SUITE_P(ShortSound, MulticonvSoundEndsTest, testing::ValuesIn(kShortSound),
                         [](const auto& info) { return std::string(info.param.name); });

// A still picture that stops long before its sound.
const SoundCase kLongSound[] = {
    {"MpegToIpod", "talk.mpg", "mpeg1video", "iPod", 1.0, 3.0},
    {"MkvTo3gpPhone", "talk.mkv", "mpeg4", "3GP phone", 1.0, 3.0},
    {"MpegToWmv", "talk.mpg", "mpeg2video", "WMV", 1.0, 3.0},
};
INSTANTIATE_TEST_SUITE_P(LongSound, MulticonvSoundEndsTest, testing::ValuesIn(kLongSound),
                         [](const auto& info) { return std::string(info.param.name); });

// Two passes work the same for such sources.
class MulticonvSoundEndsPassesTest : public MulticonvSoundEndsTest {};

TEST_P(MulticonvSoundEndsPassesTest, TwoPassesGiveTheWholeLength) {
  const SoundCase& c = GetParam();
  const std::vector<std::string> outputs = Convert("--passes 2");
  ASSERT_EQ(outputs.size(), 1u);
  CheckOutput(outputs[0], std::max(c.video_seconds, c.sound_seconds));
}

const SoundCase kPasses[] = {
    {"WithoutSoundToAvi", "clip.mkv", "mpeg4", "AVI", 2.0, 0},
    {"LongSoundToAvi", "talk.mkv", "mpeg4", "AVI", 1.0, 3.0},
};
INSTANTIATE_TEST_SUITE_P(Sources, MulticonvSoundEndsPassesTest, testing::ValuesIn(kPasses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MulticonvTest, SplitPartsOfASourceWithoutSoundEachHaveTheirSilence) {
  ClipSpec clip_spec;
  clip_spec.container = ClipContainer::kMkv;
  clip_spec.has_audio = false;
  clip_spec.seconds = 24;  // about 2.2 MB at the iPod profile's rates
  const std::string clip = world_.Path("big.mkv");
  ASSERT_EQ(WriteClip(clip, clip_spec), "");
  ProgramRun run = Multiconv("-q -p iPod --split-mb 1 -o " + Quote(out_) + " " + Quote(clip));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_GE(run.out_lines.size(), 2u) << "the output did not split";
  double video = 0;
  for (const std::string& part : run.out_lines) {
    const Streams streams = Probe(part);
    EXPECT_NEAR(streams.audio, streams.video, kLengthTolerance) << part;
    EXPECT_LT(streams.max_volume, -80) << part;
    video += streams.video;
  }
  EXPECT_NEAR(video, 24.0, 0.1 * run.out_lines.size());
}

}  // namespace
}  // namespace ovc::test
