#pragma once

// multiconv run as a separate process in a world of its own, on generated
// clips; its outputs are read back with ffprobe and libavformat.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/clip_generator.h"
#include "support/clip_reader.h"
#include "support/command_output.h"
#include "support/file_growth.h"
#include "support/temp_world.h"

namespace ovc::test {

struct ProgramRun {
  int exit_code = -1;
  std::vector<std::string> out_lines;
  std::string err;
};

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline double Duration(const std::string& path) {
  std::string text = ProbeEntry(path, "v:0", "stream=duration");
  return text.empty() || text == "N/A" ? std::atof(CommandOutput(
                                             "ffprobe -v error -show_entries format=duration -of "
                                             "default=nw=1:nk=1 " + Quote(path)).c_str())
                                       : std::atof(text.c_str());
}

// Bounds of the pixels of one decoded grey picture whose luma passes a
// threshold.
struct Box {
  int left = 1 << 30;
  int top = 1 << 30;
  int right = -1;  // inclusive
  int bottom = -1;
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};

inline Box BoxAbove(const std::string& luma, int width, int height, int threshold) {
  Box box;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (static_cast<uint8_t>(luma[static_cast<size_t>(y) * width + x]) <= threshold) continue;
      box.left = std::min(box.left, x);
      box.right = std::max(box.right, x);
      box.top = std::min(box.top, y);
      box.bottom = std::max(box.bottom, y);
    }
  return box;
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

  // The media file (not the thumbnail) a running conversion writes into
  // out_, once it holds 100 kB; "" when that took more than 30 seconds.
  std::string WaitForOutputGrowth() {
    return WaitForFileGrowth(out_, 100000, std::chrono::seconds(30),
                                   [](const std::string& name) {
                                     return name.size() < 4 || name.substr(name.size() - 4) != ".THM";
                                   });
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
    ClipRecipe clip_recipe;
    clip_recipe.container = container;
    clip_recipe.seconds = seconds;
    std::string path = world_.Path(name);
    std::string error = WriteClip(path, clip_recipe);
    EXPECT_EQ(error, "");
    return path;
  }

  TempWorld world_;
  std::string out_;
};

}  // namespace ovc::test
