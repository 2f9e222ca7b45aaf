// multiconv: converts video files from the command line with the main
// window's workflow, without a screen.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "ui/main/batch_converter.h"
#include "ui/main/batch_options.h"

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted.store(true); }

}  // namespace

int main(int argc, char** argv) {
  // The decoders' notices are not the user's business.
  av_log_set_level(AV_LOG_ERROR);

  std::vector<std::string> args(argv + 1, argv + argc);
  char buffer[4096];
  const std::string working_folder = getcwd(buffer, sizeof buffer) ? buffer : ".";
  ovc::BatchOptions options;
  std::string error;
  if (!ovc::ParseBatchOptions(args, working_folder, &options, &error)) {
    std::cerr << "multiconv: " << error << "\n" << ovc::BatchUsage();
    return 2;
  }
  if (options.help) {
    std::cout << ovc::BatchUsage();
    return 0;
  }

  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed pipe on stdout must not kill a conversion half-way.
  signal(SIGPIPE, SIG_IGN);

  return ovc::RunBatch(options, std::cout, std::cerr, &interrupted);
}
