// ovc-elog: turns the scrambled trace log back into text.
//
//   ovc-elog [FILE]
//
// Prints one line per entry: the tick count as eight hex digits, a blank and
// the message. Without FILE it reads the log the program writes
// (<temp>/Orvane.elog). Lines that are not trace lines are reported on stderr
// with their line number and skipped; the exit code is then 1.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/trace.h"

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

int Usage() {
  std::fprintf(stderr, "usage: ovc-elog [FILE]\n  default FILE: %s\n", ovc::TraceLogPath().c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) return Usage();
  if (argc == 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) return Usage();
  std::string path = argc == 2 ? argv[1] : ovc::TraceLogPath();
  std::unique_ptr<FILE, FileCloser> file(path == "-" ? nullptr : std::fopen(path.c_str(), "rb"));
  FILE* input = path == "-" ? stdin : file.get();
  if (!input) {
    std::fprintf(stderr, "ovc-elog: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return 1;
  }
  // fopen accepts a folder, and reading it then just ends: that would look
  // like an empty log.
  struct stat info {};
  if (fstat(fileno(input), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fprintf(stderr, "ovc-elog: %s is a folder, not a file\n", path.c_str());
    return 1;
  }

  int status = 0;
  long line_number = 0;
  std::string line;
  int c;
  int read_error = 0;
  bool more = true;
  while (more) {
    line.clear();
    while ((c = std::fgetc(input)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    more = c != EOF;
    if (!more && std::ferror(input)) read_error = errno;
    if (!more && line.empty()) break;
    ++line_number;
    uint32_t tick = 0;
    std::string message;
    if (!ovc::UnscrambleTraceLine(line, &tick, &message)) {
      std::fprintf(stderr, "ovc-elog: %s:%ld: not a trace line\n", path.c_str(), line_number);
      status = 1;
      continue;
    }
    std::printf("%08X %s\n", tick, message.c_str());
  }
  if (read_error != 0) {
    std::fprintf(stderr, "ovc-elog: cannot read %s: %s\n", path.c_str(),
                 std::strerror(read_error));
    return 1;
  }
  return status;
}
