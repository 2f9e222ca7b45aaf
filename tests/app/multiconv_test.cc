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
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/clip_generator.h"
#include "support/clip_reader.h"
#include "support/command_output.h"
#include "support/temp_world.h"

namespace ovc::test {
namespace {

struct ProgramRun {
  int exit_code = -1;
  std::vector<std::string> out_lines;
  std::string err;
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

double Duration(const std::string& path) {
  std::string text = ProbeEntry(path, "v:0", "stream=duration");
  return text.empty() || text == "N/A" ? std::atof(CommandOutput(
                                             "ffprobe -v error -show_entries format=duration -of "
                                             "default=nw=1:nk=1 " + Quote(path)).c_str())
                                       : std::atof(text.c_str());
}

class MulticonvTest : public testing::Test {
 protected:
  void SetUp() override {
    world_.SetEnv("HOME", world_.home());
    out_ = world_.Path("out");
    mkdir(out_.c_str(), 0755);
  }

  // Runs multiconv in the world's folder with `args` (already quoted).
  ProgramRun Multiconv(const std::string& args) {
    const std::string out = world_.Path("stdout.txt");
    const std::string err = world_.Path("stderr.txt");
    // Without a display: with one, no arguments at all open the batch window.
    std::string command = "cd " + Quote(world_.root()) +
                          " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                          Quote(MULTICONV_PATH) + " " + args + " >" + Quote(out) + " 2>" +
                          Quote(err) + " </dev/null";
    int status = std::system(command.c_str());
    ProgramRun run;
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out_lines = Lines(ReadFile(out));
    run.err = ReadFile(err);
    return run;
  }

  // Starts multiconv with `args` in the world's folder, as a shell would:
  // SIGXFSZ with its default action, no display. With `file_limit`, no
  // file the program writes may grow past that many bytes.
  pid_t StartMulticonv(const std::vector<std::string>& args, rlim_t file_limit = RLIM_INFINITY) {
    std::vector<std::string> line = {"multiconv"};
    line.insert(line.end(), args.begin(), args.end());
    const std::string out = world_.Path("stdout.txt");
    const std::string err = world_.Path("stderr.txt");
    pid_t child = fork();
    if (child != 0) return child;
    if (chdir(world_.root().c_str()) != 0) _exit(120);
    if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr) ||
        !freopen("/dev/null", "r", stdin))
      _exit(121);
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
    signal(SIGXFSZ, SIG_DFL);
    rlimit limit = {file_limit, file_limit};
    if (file_limit != RLIM_INFINITY && setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(123);
    std::vector<char*> argv;
    for (std::string& arg : line) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(MULTICONV_PATH, argv.data());
    _exit(122);
  }

  // Waits for a program StartMulticonv started; a program killed by a
  // signal gets 128 + the signal as its exit code, as in a shell.
  ProgramRun Finish(pid_t child) {
    ProgramRun run;
    int status = 0;
    if (waitpid(child, &status, 0) != child) return run;
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out_lines = Lines(ReadFile(world_.Path("stdout.txt")));
    run.err = ReadFile(world_.Path("stderr.txt"));
    return run;
  }

  std::string Clip(const std::string& name, double seconds, ClipContainer container) {
    ClipSpec clip_spec;
    clip_spec.container = container;
    clip_spec.seconds = seconds;
    std::string path = world_.Path(name);
    std::string error = WriteClip(path, clip_spec);
    EXPECT_EQ(error, "");
    return path;
  }

  TempWorld world_;
  std::string out_;
};

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
    {"WMV", "wmv2", "wmav2", ".wmv"},       {"QuickTime", "h264", "aac", ".mov"},
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
  ClipSpec clip_spec;
  clip_spec.container = ClipContainer::kMkv;
  clip_spec.seconds = 24;  // about 2.2 MB at the iPod profile's rates
  std::string clip = world_.Path("big.mkv");
  ASSERT_EQ(WriteClip(clip, clip_spec), "");
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
  ClipSpec clip_spec;
  clip_spec.container = ClipContainer::kMkv;
  clip_spec.seconds = 120;
  std::string clip = world_.Path("long.mkv");
  ASSERT_EQ(WriteClip(clip, clip_spec), "");
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
  std::string written;
  for (int i = 0; i < 600 && written.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::string listing = CommandOutput("ls " + Quote(out_));
    if (!listing.empty()) {
      written = out_ + "/" + Lines(listing)[0];
      struct stat info;
      if (stat(written.c_str(), &info) != 0 || info.st_size < 100000) written.clear();
    }
  }
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
  const std::string reason = "  " + path + " The file has grown as large as the system allows.";
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
  std::string written;
  for (int i = 0; i < 600 && written.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::string media = MediaFileIn(out_);
    struct stat info;
    if (!media.empty() && stat(media.c_str(), &info) == 0 && info.st_size > 100000)
      written = media;
  }
  ASSERT_FALSE(written.empty()) << "the conversion never wrote anything";
  std::filesystem::remove_all(out_);
  ProgramRun run = Finish(child);

  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_TRUE(run.out_lines.empty()) << run.out_lines[0];
  std::vector<std::string> messages = Messages(run.err);
  ASSERT_EQ(messages.size(), 2u) << run.err;
  EXPECT_EQ(messages[0], "multiconv: Could not write the output file.  " + written +
                             " The file or its folder is no longer there.");
  EXPECT_EQ(messages[1], "multiconv: " + clip +
                             ": the conversion stopped at the failure; no file of it was kept");
  EXPECT_GT(LastRecordedPercent(run.err), 0);
  EXPECT_LT(LastRecordedPercent(run.err), 50) << run.err;
}

}  // namespace
}  // namespace ovc::test
