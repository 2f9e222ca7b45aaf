#pragma once

// multiconv run as a separate process in a world of its own, on generated
// clips; its outputs are read back with ffprobe and libavformat.

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/clip_generator.h"
#include "support/clip_reader.h"
#include "support/command_output.h"
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

}  // namespace ovc::test
