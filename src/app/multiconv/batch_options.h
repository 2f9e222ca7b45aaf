#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ovc {

// The command line of the batch converter:
//
//   multiconv [-p PROFILE] [-o FOLDER | --output FILE] [--start T] [--duration T]
//             [--passes 1|2] [--split-mb N] [--volume 1..9] [--brightness 0..3]
//             [--crf 0..51] [--yes] [--quiet] [--list-profiles] [--help] INPUT...
struct BatchOptions {
  std::string profile;                 // empty: the stored last profile
  std::string output_folder;           // -o, absolute
  std::string output_file;             // --output, absolute
  std::optional<int> start;            // seconds
  std::optional<int> duration;         // seconds
  std::optional<int> passes;           // 1 or 2
  std::optional<int> split_mb;         // > 0
  std::optional<int> volume;           // 1..9
  std::optional<int> brightness;       // 0..3
  std::optional<int> crf;              // constant quality 1..51; 0: the bit rate
  bool yes = false;
  bool quiet = false;
  bool list_profiles = false;
  bool help = false;
  std::vector<std::string> inputs;     // absolute
};

// The usage text.
const char* BatchUsage();

// Parses argv (without the program name). Relative paths are made absolute
// against `working_folder`. Returns false with `error` set for bad usage.
bool ParseBatchOptions(const std::vector<std::string>& args, const std::string& working_folder,
                       BatchOptions* options, std::string* error);

}  // namespace ovc
