#include "app/multiconv/batch_options.h"

#include <cerrno>
#include <cstdlib>

#include "ui/main/time_text.h"

namespace ovc {
namespace {

std::string Absolute(const std::string& path, const std::string& folder) {
  if (path.empty() || path[0] == '/') return path;
  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  return base + path;
}

// A whole decimal number within [low, high].
bool ParseNumber(const std::string& text, int low, int high, int* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long number = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || number < low || number > high) return false;
  *value = static_cast<int>(number);
  return true;
}

// A time as the Duration and Start cells take it, but strict: digits and
// colons only, so that a typing error is reported instead of becoming 0.
bool ParseTime(const std::string& text, int* seconds) {
  if (text.empty() || text.size() > 20) return false;
  for (char c : text)
    if (!(c >= '0' && c <= '9') && c != ':') return false;
  if (text.front() == ':' || text.back() == ':' || text.find("::") != std::string::npos)
    return false;
  *seconds = ParseTimeText(text);
  return true;
}

}  // namespace

const char* BatchUsage() {
  return "usage: multiconv [-p PROFILE] [-o FOLDER | --output FILE] [--start T] [--duration T]\n"
         "                 [--passes 1|2] [--split-mb N] [--volume 1..9] [--brightness 0..3]\n"
         "                 [--crf 0..51] [--yes] [--quiet] [--list-profiles] [--help]\n"
         "                 INPUT...\n"
         "\n"
         "Converts each INPUT with the chosen output profile, as the main window's\n"
         "Convert does, and prints the path of every file written.\n"
         "\n"
         "  -p PROFILE        output profile (default: the one used last)\n"
         "  -o FOLDER         output folder (default: the one used last)\n"
         "  --output FILE     output file (one INPUT only)\n"
         "  --start T         start point; T is seconds, m:s or h:m:s\n"
         "  --duration T      length to convert (default: to the end)\n"
         "  --passes 1|2      one or two passes\n"
         "  --split-mb N      split the output every N MB (this run only)\n"
         "  --volume 1..9     audio volume, 5 = unchanged (this run only)\n"
         "  --brightness 0..3 brightness level, 0 = unchanged (this run only)\n"
         "  --crf 0..51       constant quality instead of the bit rate, lower is better\n"
         "                    (18 to 28 usual); 0 = the bit rate. Profiles that offer\n"
         "                    a quality only\n"
         "  --yes             overwrite existing output files\n"
         "  --quiet           no progress on standard error\n"
         "  --list-profiles   print the profile names and exit\n"
         "\n"
         "Exit status: 0 all converted, 1 some input failed, 2 bad usage.\n";
}

bool ParseBatchOptions(const std::vector<std::string>& args, const std::string& working_folder,
                       BatchOptions* options, std::string* error) {
  *options = BatchOptions{};
  auto fail = [error](const std::string& text) {
    *error = text;
    return false;
  };
  bool only_inputs = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (only_inputs || arg.empty() || arg[0] != '-' || arg == "-") {
      options->inputs.push_back(Absolute(arg, working_folder));
      continue;
    }
    if (arg == "--") {
      only_inputs = true;
      continue;
    }
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) return false;
      *out = args[++i];
      return true;
    };
    std::string text;
    int number = 0;
    if (arg == "--yes" || arg == "-y") {
      options->yes = true;
    } else if (arg == "--quiet" || arg == "-q") {
      options->quiet = true;
    } else if (arg == "--list-profiles") {
      options->list_profiles = true;
    } else if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else if (arg == "-p" || arg == "--profile") {
      if (!value(&options->profile) || options->profile.empty())
        return fail(arg + " needs a profile name");
    } else if (arg == "-o") {
      if (!value(&text) || text.empty()) return fail("-o needs a folder");
      options->output_folder = Absolute(text, working_folder);
    } else if (arg == "--output") {
      if (!value(&text) || text.empty()) return fail("--output needs a file name");
      options->output_file = Absolute(text, working_folder);
    } else if (arg == "--start" || arg == "--duration") {
      if (!value(&text) || !ParseTime(text, &number))
        return fail(arg + " needs a time: seconds, m:s or h:m:s");
      (arg == "--start" ? options->start : options->duration) = number;
    } else if (arg == "--passes") {
      if (!value(&text) || !ParseNumber(text, 1, 2, &number)) return fail("--passes takes 1 or 2");
      options->passes = number;
    } else if (arg == "--split-mb") {
      if (!value(&text) || !ParseNumber(text, 1, 1 << 20, &number))
        return fail("--split-mb takes a number of megabytes from 1 up");
      options->split_mb = number;
    } else if (arg == "--volume") {
      if (!value(&text) || !ParseNumber(text, 1, 9, &number))
        return fail("--volume takes a level from 1 to 9");
      options->volume = number;
    } else if (arg == "--brightness") {
      if (!value(&text) || !ParseNumber(text, 0, 3, &number))
        return fail("--brightness takes a level from 0 to 3");
      options->brightness = number;
    } else if (arg == "--crf") {
      if (!value(&text) || !ParseNumber(text, 0, 51, &number))
        return fail("--crf takes a quality from 0 to 51");
      options->crf = number;
    } else {
      return fail("unknown option " + arg);
    }
  }
  if (!options->output_folder.empty() && !options->output_file.empty())
    return fail("-o and --output exclude each other");
  if (!options->output_file.empty() && options->inputs.size() > 1)
    return fail("--output takes one input only");
  if (options->help || options->list_profiles) return true;
  if (options->inputs.empty()) return fail("no input file");
  return true;
}

}  // namespace ovc
