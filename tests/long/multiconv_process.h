#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ovc::test {

// multiconv run as a child process, as a user or a script runs it.
struct MulticonvRun {
  bool exited = false;  // false: ended by a signal
  int exit_code = -1;   // when exited
  int signal = 0;       // when not exited
  bool interrupted = false;             // SIGINT was sent
  std::vector<std::string> outputs;     // the paths printed on standard output
  std::string err;                      // what it wrote on standard error
  int64_t peak_rss_kb = 0;              // its peak resident memory, kB
  std::vector<int64_t> rss_samples_kb;  // its resident memory while it ran, kB
  double seconds = 0;                   // wall time
};

struct MulticonvOptions {
  // The working folder; standard output and error are kept in files there.
  std::string folder;
  // Send SIGINT this long after the program has installed its handler for
  // it (never before: the default action would kill it).
  std::optional<std::chrono::milliseconds> interrupt_after;
  // Sample the resident memory this often; zero: never.
  std::chrono::milliseconds sample_interval{0};
};

// Runs `program` with `args` (argv[1]…) and waits for it to end. Standard
// input is /dev/null.
MulticonvRun RunMulticonv(const std::string& program, const std::vector<std::string>& args,
                          const MulticonvOptions& options);

}  // namespace ovc::test
