#pragma once

#include <string>
#include <vector>

namespace ovc {

// One run of the batch converter as the batch window sets it up: which
// files, which profile, where the outputs go and the few output settings the
// window offers. Everything left empty or 0 is what `multiconv` itself takes
// from the settings store.
struct BatchJob {
  std::vector<std::string> inputs;  // video files, in the order they convert
  std::string profile;              // profile name; "" = the stored last profile
  std::string output_folder;        // "" = the folder of the stored output path
  int passes = 1;                   // 1 or 2 (anything else counts as 1)
  int split_mb = 0;                 // split size in MB; 0 = the stored split size
  bool overwrite = false;           // existing output files are replaced
};

// The largest split size `multiconv --split-mb` accepts, in MB.
inline constexpr int kMaxSplitMb = 1 << 20;

// The `multiconv` argument list (without the program name) that converts
// `job`, in this order:
//
//   [-p PROFILE] [-o FOLDER] --passes 1|2 [--split-mb N] [--yes] INPUT...
//
// Relative input and folder paths are made absolute against
// `working_folder`, since the converter changes its working directory; a
// leading "~/" stands for `home_folder`. Empty inputs are left out. A split
// size of 0 or below is left out; one above kMaxSplitMb is cut to it. Every
// path is one argument, spaces and all: the list is meant for a program
// start without a shell.
std::vector<std::string> BatchArguments(const BatchJob& job, const std::string& working_folder,
                                        const std::string& home_folder);

// `path` made absolute as BatchArguments does it ("" stays "").
std::string AbsoluteBatchPath(const std::string& path, const std::string& working_folder,
                              const std::string& home_folder);

}  // namespace ovc
