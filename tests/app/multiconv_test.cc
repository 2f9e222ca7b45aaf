// Whole-program tests of the batch converter: multiconv runs as a separate
// process on generated clips, and its outputs are read back with ffprobe and
// libavformat.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/clip_generator.h"
#include "support/clip_reader.h"
#include "support/command_output.h"
#include "support/database_lock.h"
#include "support/temp_world.h"
#include "app/multiconv_fixture.h"

namespace ovc::test {
namespace {

struct ProfileCase {
  const char* profile;
  const char* video_codec;
  const char* audio_codec;
  const char* extension;  // of the output file name, case as written
};

void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.profile; }

const ProfileCase kProfiles[] = {
    {"AVI", "mpeg4", "mp3", ".avi"},        {"PSP", "mpeg4", "aac", ".MP4"},
    {"PSP AVC", "h264", "aac", ".MP4"},     {"iPod", "h264", "aac", ".mp4"},
    {"iPod MPEG-4", "mpeg4", "aac", ".mp4"}, {"3GP phone", "h263", "amr_nb", ".3gp"},
    {"3GP MPEG-4", "mpeg4", "aac", ".3gp"}, {"MPEG-2", "mpeg2video", "mp2", ".mpg"},
    {"WMV", "wmv2", "wmav2", ".wmv"},       {"QuickTime", "mpeg4", "aac", ".mov"},
    {"Phone (H.264 720p)", "h264", "aac", ".mp4"},
    {"Phone (H.264 1080p)", "h264", "aac", ".mp4"},
    {"iPhone/iPad (HEVC)", "hevc", "aac", ".mp4"},
    {"Web (WebM VP9)", "vp9", "opus", ".webm"},
    {"AV1 (small files)", "av1", "opus", ".mp4"},
};

class MulticonvProfileTest : public MulticonvTest,
                             public testing::WithParamInterface<ProfileCase> {};

TEST_P(MulticonvProfileTest, ConvertsIntoAFileRealReadersOpen) {
  const ProfileCase& c = GetParam();
  std::string clip = Clip("clip.mkv", 3.0, ClipContainer::kMkv);
  ProgramRun run = Multiconv("-q -p " + Quote(c.profile) + " -o " + Quote(out_) + " " + Quote(clip));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.out_lines.size(), 1u) << run.err;
  const std::string& path = run.out_lines[0];
  EXPECT_EQ(path.substr(0, out_.size() + 1), out_ + "/");
  EXPECT_EQ(path.substr(path.size() - std::string(c.extension).size()), c.extension);
  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=codec_name"), c.video_codec);
  EXPECT_EQ(ProbeEntry(path, "a:0", "stream=codec_name"), c.audio_codec);
  // The whole clip, to within a frame of the slowest output rate (12.5 fps
  // and the writers' rounding of the last frame).
  EXPECT_NEAR(Duration(path), 3.0, 0.15) << path;
}

INSTANTIATE_TEST_SUITE_P(Shipped, MulticonvProfileTest, testing::ValuesIn(kProfiles));

TEST_F(MulticonvTest, StartAndDurationConvertThatRangeOnly) {
  std::string clip = Clip("clip.mkv", 6.0, ClipContainer::kMkv);
  ProgramRun run = Multiconv("-q -p PSP --start 0:02 --duration 3 -o " + Quote(out_) + " " +
                      Quote(clip));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.out_lines.size(), 1u);
  DecodedClip decoded;
  ASSERT_EQ(ReadClip(run.out_lines[0], &decoded), "");
  ASSERT_FALSE(decoded.frame_numbers.empty());
  // The clip runs at 25 fps, its pictures 10 ms after its sound (as the
  // Matroska writer places them): the picture showing at 2 s is frame 49
  // (1.97 to 2.01 s), and it comes first.
  EXPECT_EQ(decoded.frame_numbers.front(), 49);
  // PSP output runs at 29.97 fps; the range ends within one output frame.
  const double frame = 1 / 29.97;
  EXPECT_NEAR(decoded.picture_times.size() * frame, 3.0, frame + 1e-6);
  EXPECT_LE(decoded.frame_numbers.back(), 125);
}

// Two passes through the FFmpeg-written AVI and the PSP file, whose muxer
// wants sound in every file it writes (the first pass has none).
TEST_F(MulticonvTest, TwoPassesWriteOneFileOfTheWholeRange) {
  std::string clip = Clip("clip.mp4", 4.0, ClipContainer::kMp4);
  for (const auto& [profile, audio] : {std::pair{"AVI", "mp3"}, std::pair{"PSP", "aac"}}) {
    SCOPED_TRACE(profile);
    ProgramRun run = Multiconv(std::string("-q -y -p ") + profile + " --passes 2 -o " +
                               Quote(out_) + " " + Quote(clip));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_EQ(run.out_lines.size(), 1u);
    EXPECT_EQ(ProbeEntry(run.out_lines[0], "a:0", "stream=codec_name"), audio);
    EXPECT_NEAR(Duration(run.out_lines[0]), 4.0, 0.15);
  }
}

TEST_F(MulticonvTest, SplitPartsAddUpToTheSource) {
  ClipRecipe clip_recipe;
  clip_recipe.container = ClipContainer::kMkv;
  clip_recipe.seconds = 24;  // about 2.2 MB at the iPod profile's rates
  std::string clip = world_.Path("big.mkv");
  ASSERT_EQ(WriteClip(clip, clip_recipe), "");
  ProgramRun run = Multiconv("-q -p iPod --split-mb 1 -o " + Quote(out_) + " " + Quote(clip));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_GE(run.out_lines.size(), 2u) << "the output did not split";
  EXPECT_NE(run.out_lines[1].find(" - 02.mp4"), std::string::npos) << run.out_lines[1];
  double total = 0;
  int64_t frames = 0;
  for (const std::string& part : run.out_lines) {
    total += Duration(part);
    frames += std::atoll(ProbeEntry(part, "v:0", "stream=nb_read_frames").c_str());
  }
  EXPECT_NEAR(total, 24.0, 0.1 * run.out_lines.size());
  // No picture lost at the boundaries: the iPod output runs at the profile's
  // rate over the whole source.
  EXPECT_NEAR(static_cast<double>(frames), 24.0 * 29.97, 2.0 * run.out_lines.size());
}

TEST_F(MulticonvTest, BadInputsFailAloneAndTheNextInputStillConverts) {
  std::string clip = Clip("good.mp4", 2.0, ClipContainer::kMp4);
  WriteFile(world_.Path("notes.txt"), "not a video at all\n");
  ProgramRun run = Multiconv("-q -p PSP -o " + Quote(out_) + " " + Quote(world_.Path("missing.mkv")) +
                      " " + Quote(world_.Path("notes.txt")) + " " + Quote(clip));
  EXPECT_EQ(run.exit_code, 1);
  ASSERT_EQ(run.out_lines.size(), 1u) << run.err;
  EXPECT_NEAR(Duration(run.out_lines[0]), 2.0, 0.15);
  EXPECT_NE(run.err.find("missing.mkv"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("notes.txt"), std::string::npos) << run.err;
}

TEST_F(MulticonvTest, RefusalsLeaveNoFileClaimingSuccess) {
  std::string clip = Clip("clip.mp4", 2.0, ClipContainer::kMp4);

  ProgramRun unknown = Multiconv("-q -p Nokia -o " + Quote(out_) + " " + Quote(clip));
  EXPECT_EQ(unknown.exit_code, 1);
  EXPECT_NE(unknown.err.find("Nokia"), std::string::npos);

  ProgramRun past_end = Multiconv("-q -p PSP --start 10 -o " + Quote(out_) + " " + Quote(clip));
  EXPECT_EQ(past_end.exit_code, 1);
  EXPECT_NE(past_end.err.find("past the end"), std::string::npos) << past_end.err;

  ProgramRun no_folder = Multiconv("-q -p iPod --output " + Quote(world_.Path("none/x.mp4")) + " " +
                            Quote(clip));
  EXPECT_EQ(no_folder.exit_code, 1);
  EXPECT_FALSE(no_folder.err.empty());
  EXPECT_TRUE(no_folder.out_lines.empty());

  for (const ProgramRun& run : {unknown, past_end, no_folder}) EXPECT_TRUE(run.out_lines.empty());
  EXPECT_EQ(CommandOutput("ls -A " + Quote(out_)), "");
}

// Inputs multiconv cannot convert: each fails at once with its reason, and
// nothing is left in the output folder.
struct RefusedCase {
  const char* name;
  // Makes the input in the world's folder; returns the command line's
  // inputs (already quoted).
  std::string (*make)(TempWorld& world);
  const char* reason;
  int times;  // how often the reason is given
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

std::string SoundOnlyTwice(TempWorld& world) {
  ClipRecipe clip_recipe;
  clip_recipe.has_video = false;
  const std::string path = world.Path("sound.m4a");
  EXPECT_EQ(WriteClip(path, clip_recipe), "");
  return Quote(path) + " " + Quote(path);
}

std::string Pipe(TempWorld& world) {
  const std::string path = world.Path("pipe.mp4");
  EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
  return Quote(path);
}

std::string Folder(TempWorld& world) {
  const std::string path = world.Path("folder.mp4");
  EXPECT_EQ(mkdir(path.c_str(), 0755), 0);
  return Quote(path);
}

std::string CutAfterItsHeader(TempWorld& world) {
  ClipRecipe clip_recipe;
  clip_recipe.container = ClipContainer::kMkv;
  const std::string whole = world.Path("whole.mkv");
  EXPECT_EQ(WriteClip(whole, clip_recipe), "");
  const std::string cut = world.Path("cut.mkv");
  WriteFile(cut, ReadFile(whole).substr(0, 2000));
  return Quote(cut);
}

const RefusedCase kRefused[] = {
    {"SoundOnlyOpenedTwice", SoundOnlyTwice,
     "It has no picture, only sound: there is nothing to convert.", 2},
    {"Pipe", Pipe, "pipe.mp4: not a regular file (a pipe or a device cannot be converted)", 1},
    {"Folder", Folder, "folder.mp4: is a folder, not a video file", 1},
    {"CutAfterItsHeader", CutAfterItsHeader, "cut.mkv: no picture could be decoded", 1},
};

class MulticonvRefusalTest : public MulticonvTest,
                             public testing::WithParamInterface<RefusedCase> {};

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_P(MulticonvRefusalTest, FailsAtOnceLeavingNothing) {
  const RefusedCase& c = GetParam();
  const std::string inputs = c.make(world_);
  ProgramRun run = Multiconv("-q -p AVI -o " + Quote(out_) + " " + inputs);
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_TRUE(run.out_lines.empty());
  EXPECT_EQ(Occurrences(run.err, c.reason), static_cast<size_t>(c.times)) << run.err;
  // Nothing sends the user to the program that is running.
  EXPECT_EQ(run.err.find("Multiconv"), std::string::npos) << run.err;
  EXPECT_EQ(CommandOutput("ls -A " + Quote(out_)), "");
}

INSTANTIATE_TEST_SUITE_P(Inputs, MulticonvRefusalTest, testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MulticonvTest, ASourceCutShortIsKeptAndSaysHowMuchWasConverted) {
  ClipRecipe clip_recipe;
  clip_recipe.container = ClipContainer::kMkv;
  clip_recipe.seconds = 10;
  const std::string whole = world_.Path("whole.mkv");
  ASSERT_EQ(WriteClip(whole, clip_recipe), "");
  const std::string clip = ReadFile(whole);
  const std::string cut = world_.Path("cut.mkv");
  WriteFile(cut, clip.substr(0, clip.size() / 2));

  ProgramRun run = Multiconv("-q -p PSP -o " + Quote(out_) + " " + Quote(cut));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.out_lines.size(), 1u);
  const double converted = Duration(run.out_lines[0]);
  EXPECT_GT(converted, 2.0);
  EXPECT_LT(converted, 8.0);
  // "multiconv: <input>: converted h:mm:ss of 0:00:10; ...", the time
  // being what the output holds.
  const std::string head = "multiconv: " + cut + ": converted ";
  const size_t at = run.err.find(head);
  ASSERT_NE(at, std::string::npos) << run.err;
  int hours = -1, minutes = -1, seconds = -1;
  ASSERT_EQ(std::sscanf(run.err.c_str() + at + head.size(), "%d:%d:%d", &hours, &minutes, &seconds),
            3);
  EXPECT_NEAR(hours * 3600 + minutes * 60 + seconds, converted, 1.0) << run.err;
  EXPECT_NE(run.err.find(" of 0:00:10; the rest of the source could not be read\n", at),
            std::string::npos)
      << run.err;

  // The whole file says nothing of the kind.
  ProgramRun intact = Multiconv("-q -p PSP -o " + Quote(out_) + " " + Quote(whole));
  ASSERT_EQ(intact.exit_code, 0) << intact.err;
  EXPECT_EQ(intact.err.find("could not be read"), std::string::npos) << intact.err;
}

struct SlowCase {
  const char* profile;
  ClipContainer container;
};

void PrintTo(const SlowCase& c, std::ostream* os) { *os << c.profile; }

class MulticonvSlowSourceTest : public MulticonvTest,
                                public testing::WithParamInterface<SlowCase> {};

TEST_P(MulticonvSlowSourceTest, EachPictureCoversItsTime) {
  ClipRecipe clip_recipe;
  clip_recipe.container = GetParam().container;
  clip_recipe.fps_num = 1;
  clip_recipe.fps_den = 2;  // one picture every 2 s
  clip_recipe.seconds = 6;
  const std::string clip =
      world_.Path(GetParam().container == ClipContainer::kMp4 ? "slow.mp4" : "slow.mkv");
  ASSERT_EQ(WriteClip(clip, clip_recipe), "");
  ProgramRun run =
      Multiconv("-q -p " + Quote(GetParam().profile) + " -o " + Quote(out_) + " " + Quote(clip));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.out_lines.size(), 1u);
  EXPECT_NEAR(Duration(run.out_lines[0]), 6.0, 0.15);
  EXPECT_EQ(run.err.find("could not be read"), std::string::npos) << run.err;

  DecodedClip decoded;
  ASSERT_EQ(ReadClip(run.out_lines[0], &decoded), "");
  ASSERT_FALSE(decoded.picture_times.empty());
  const double frame = 1 / decoded.frame_rate;
  for (size_t i = 0; i < decoded.picture_times.size(); ++i) {
    const double t = decoded.picture_times[i];
    // Source picture n lasts from 2n to 2n + 2 s; a frame on its edge may
    // show either neighbour.
    const int n = decoded.frame_numbers[i];
    EXPECT_GE(t, 2.0 * n - frame - 1e-3) << "frame at " << t << " shows picture " << n;
    EXPECT_LE(t, 2.0 * n + 2.0 + 1e-3) << "frame at " << t << " shows picture " << n;
  }
  EXPECT_EQ(decoded.frame_numbers.front(), 0);
  EXPECT_EQ(decoded.frame_numbers.back(), 2);
}

INSTANTIATE_TEST_SUITE_P(Profiles, MulticonvSlowSourceTest,
                         testing::Values(SlowCase{"PSP", ClipContainer::kMp4},
                                         SlowCase{"AVI", ClipContainer::kMkv}));

TEST_F(MulticonvTest, AnExistingOutputIsOnlyOverwrittenWithYes) {
  std::string clip = Clip("clip.mp4", 2.0, ClipContainer::kMp4);
  const std::string target = out_ + "/fixed.mp4";
  WriteFile(target, "precious");
  ProgramRun refused = Multiconv("-q -p iPod --output " + Quote(target) + " " + Quote(clip));
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("Overwrite?"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadFile(target), "precious");

  ProgramRun agreed = Multiconv("-q -y -p iPod --output " + Quote(target) + " " + Quote(clip));
  EXPECT_EQ(agreed.exit_code, 0) << agreed.err;
  ASSERT_EQ(agreed.out_lines.size(), 1u);
  EXPECT_EQ(agreed.out_lines[0], target);
  EXPECT_EQ(ProbeEntry(target, "v:0", "stream=codec_name"), "h264");
}

TEST_F(MulticonvTest, AProfileThatCannotDriveAConversionIsRefusedByName) {
  std::string clip = Clip("clip.mp4", 2.0, ClipContainer::kMp4);
  // The first run fills the program folder; then a copy of a shipped profile
  // with a frame rate of 0 (once an abort with half a file left behind).
  ASSERT_EQ(Multiconv("--list-profiles").exit_code, 0);
  std::string text = ReadFile(world_.home() + "/profile/AVI.pr");
  size_t rate = text.find("\nr ");
  ASSERT_NE(rate, std::string::npos);
  text.replace(rate, text.find('\n', rate + 1) - rate, "\nr = 0");
  WriteFile(world_.home() + "/profile/Still.pr", text);

  ProgramRun run = Multiconv("-q -p Still -o " + Quote(out_) + " " + Quote(clip));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("Profile \"Still\": frame rate \"r\" must be"), std::string::npos)
      << run.err;
  EXPECT_TRUE(run.out_lines.empty());
  EXPECT_EQ(CommandOutput("ls -A " + Quote(out_)), "");
}

TEST_F(MulticonvTest, SettingsLockedByAnotherProcessCostSecondsAndAreReportedOnce) {
  std::string clip = Clip("clip.mp4", 2.0, ClipContainer::kMp4);
  ASSERT_EQ(Multiconv("--list-profiles").exit_code, 0);  // makes the store
  DatabaseLock lock(world_.registry());
  ASSERT_TRUE(lock.locked());

  auto start = std::chrono::steady_clock::now();
  ProgramRun run = Multiconv("-q -p iPod -o " + Quote(out_) + " " + Quote(clip));
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  EXPECT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.out_lines.size(), 1u) << run.err;
  EXPECT_NEAR(Duration(run.out_lines[0]), 2.0, 0.15);
  const std::string said = "is locked by another process";
  size_t first = run.err.find(said);
  ASSERT_NE(first, std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(said, first + 1), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(world_.registry()), std::string::npos) << run.err;
  // One wait of a few seconds in all; waiting per access took minutes.
  EXPECT_LT(seconds, 40) << run.err;
}

TEST_F(MulticonvTest, BadUsageExitsWithTwo) {
  EXPECT_EQ(Multiconv("").exit_code, 2);
  EXPECT_EQ(Multiconv("--passes 3 x.mp4").exit_code, 2);
  EXPECT_EQ(Multiconv("--start soon x.mp4").exit_code, 2);
  EXPECT_EQ(Multiconv("--frobnicate x.mp4").exit_code, 2);
  ProgramRun list = Multiconv("--list-profiles");
  EXPECT_EQ(list.exit_code, 0);
  EXPECT_EQ(list.out_lines.size(), std::size(kProfiles));
}

TEST_F(MulticonvTest, InterruptStopsLikePauseStopAndKeepsAPlayableFile) {
  ClipRecipe clip_recipe;
  clip_recipe.container = ClipContainer::kMkv;
  clip_recipe.seconds = 120;
  std::string clip = world_.Path("long.mkv");
  ASSERT_EQ(WriteClip(clip, clip_recipe), "");
  const std::string out = world_.Path("stdout.txt");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (chdir(world_.root().c_str()) != 0) _exit(120);
    if (!freopen(out.c_str(), "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(121);
    execl(MULTICONV_PATH, "multiconv", "-q", "-p", "PSP", "-o", out_.c_str(), clip.c_str(),
          static_cast<char*>(nullptr));
    _exit(122);
  }
  // Wait until the output has grown, then interrupt.
  const std::string written = WaitForOutputGrowth();
  ASSERT_FALSE(written.empty()) << "the conversion never wrote anything";
  kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::vector<std::string> printed = Lines(ReadFile(out));
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_EQ(printed[0], written);
  DecodedClip decoded;
  ASSERT_EQ(ReadClip(written, &decoded), "");
  EXPECT_GT(decoded.picture_times.size(), 10u);
  EXPECT_LT(decoded.picture_times.size(), 120 * 30u);
  EXPECT_FALSE(decoded.audio.empty());
}

// The lines of the program's messages ("multiconv: ...") in its error output.
std::vector<std::string> Messages(const std::string& err) {
  std::vector<std::string> messages;
  for (const std::string& line : Lines(err))
    if (line.rfind("multiconv: ", 0) == 0) messages.push_back(line);
  return messages;
}

// The percentage of the range the last status line showed as recorded;
// -1 when there was none.
double LastRecordedPercent(const std::string& err) {
  double percent = -1;
  for (const std::string& line : Lines(err)) {
    size_t at = line.find("% Recorded");
    if (at == std::string::npos) continue;
    size_t start = line.rfind(' ', at);
    percent = std::atof(line.substr(start == std::string::npos ? 0 : start + 1).c_str());
  }
  return percent;
}

// The media file (not a thumbnail) in a folder; "" when there is none.
std::string MediaFileIn(const std::string& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() != ".THM") return entry.path().string();
  return "";
}

// The output reaches the file size limit a few seconds into a long clip.
// Each writer's failure ends the conversion soon after, with one message
// naming the file and the reason; nothing is printed as finished, the
// exit status is 1, and the file that is left plays what was converted.
struct LimitCase {
  const char* name;
  const char* profile;
  // The AVI writer of its own, with a Video for Windows compressor: a
  // profile whose codecs name no container keeps the stored one, 0.
  bool own_avi_writer;
  // The writer's own words, by the stream that met the limit first.
  const char* video_text;
  const char* audio_text;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class MulticonvSizeLimit : public MulticonvTest, public testing::WithParamInterface<LimitCase> {};

TEST_P(MulticonvSizeLimit, StopsSoonWithOneMessageAndKeepsWhatPlays) {
  const LimitCase& c = GetParam();
  std::string profile = c.profile;
  if (c.own_avi_writer) {
    ASSERT_EQ(Multiconv("--list-profiles").exit_code, 0);  // makes the program folder
    std::string pr = ReadFile(world_.Path("home/profile/AVI.pr"));
    ASSERT_NE(pr.find("\"xvid\""), std::string::npos);
    pr.replace(pr.find("\"xvid\""), 6, "\"divx\"");
    WriteFile(world_.Path("home/profile/Own AVI.pr"), pr);
    const std::string key =
        "[HKEY_CURRENT_USER\\Software\\Orvane\\Orvane Video Converter Zezivovi\\OutputConfig\\";
    WriteFile(world_.Path("codec.reg"), "REGEDIT4\n\n" + key + "format]\n@=\"0\"\n\n" + key +
                                            "last_profile]\n@=\"Own AVI\"\n");
    profile = "Own AVI";
  }
  constexpr double kSeconds = 40;
  std::string clip = Clip("long.mkv", kSeconds, ClipContainer::kMkv);
  ProgramRun run = Finish(StartMulticonv({"-y", "-p", profile, "-o", out_, clip}, 640 * 1024));

  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_TRUE(run.out_lines.empty()) << run.out_lines[0];
  const std::string path = MediaFileIn(out_);
  ASSERT_FALSE(path.empty());
  std::vector<std::string> messages = Messages(run.err);
  ASSERT_EQ(messages.size(), 2u) << run.err;
  const std::string reason = " " + path + " The file has grown as large as the system allows.";
  EXPECT_TRUE(messages[0] == "multiconv: " + std::string(c.video_text) + reason ||
              messages[0] == "multiconv: " + std::string(c.audio_text) + reason)
      << messages[0];
  EXPECT_EQ(messages[1], "multiconv: " + clip +
                             ": the conversion stopped at the failure; " + path +
                             " holds the part converted before the failure");
  const int frames = std::atoi(ProbeEntry(path, "v:0", "stream=nb_read_frames").c_str());
  EXPECT_GT(frames, 10);
  // Stopped soon after the failure: the capture is a few seconds ahead of
  // the file at most, not at the end of the clip.
  EXPECT_GT(LastRecordedPercent(run.err), 0);
  EXPECT_LT(LastRecordedPercent(run.err), 60) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Writers, MulticonvSizeLimit,
                         testing::Values(LimitCase{"OwnAvi", "", true, "AVI Video Write error",
                                                   "AVI Audio Write error"},
                                         LimitCase{"Psp", "PSP", false,
                                                   "Could not write the output file.",
                                                   "Could not write the output file."},
                                         LimitCase{"FfmpegAvi", "AVI", false,
                                                   "Could not write the output file.",
                                                   "Could not write the output file."},
                                         LimitCase{"Wmv", "WMV", false, "Unable to Write Frame",
                                                   "Unable to Audio Write Frame"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MulticonvTest, RemovingTheOutputFolderEndsTheConversionAsAFailure) {
  std::string clip = Clip("long.mkv", 120, ClipContainer::kMkv);
  pid_t child = StartMulticonv({"-p", "PSP", "-o", out_, clip});
  // Wait until the output has grown, then take its folder away.
  const std::string written = WaitForOutputGrowth();
  ASSERT_FALSE(written.empty()) << "the conversion never wrote anything";
  std::filesystem::remove_all(out_);
  ProgramRun run = Finish(child);

  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_TRUE(run.out_lines.empty()) << run.out_lines[0];
  std::vector<std::string> messages = Messages(run.err);
  ASSERT_EQ(messages.size(), 2u) << run.err;
  EXPECT_EQ(messages[0], "multiconv: Could not write the output file. " + written +
                             " The file or its folder is no longer there.");
  EXPECT_EQ(messages[1], "multiconv: " + clip +
                             ": the conversion stopped at the failure; no file of it was kept");
  EXPECT_GT(LastRecordedPercent(run.err), 0);
  EXPECT_LT(LastRecordedPercent(run.err), 50) << run.err;
}

}  // namespace
}  // namespace ovc::test
