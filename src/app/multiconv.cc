// multiconv: converts video files from the command line with the main
// window's workflow, without a screen. Started without any argument on a
// display (as the desktop program's "Batch Convert Video Files" starts it),
// it runs the batch window's program instead (multiconv-window), which runs
// this one once per file.

#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "app/multiconv/batch_converter.h"
#include "app/multiconv/batch_options.h"
#include "platform/imaging/scaler_code.h"
#include "platform/media/library_log.h"

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted.store(true); }

#ifdef OVC_MULTICONV_WINDOW

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

// Replaces this process with the batch window's program beside it; returns
// only when that fails.
int RunBatchWindow(char** argv) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::string window = (self.parent_path() / "multiconv-window").string();
  if (!error) {
    execv(window.c_str(), argv);
    error.assign(errno, std::generic_category());
  }
  std::cerr << "multiconv: cannot start the batch window " << window << ": " << error.message()
            << "\n";
  return 1;
}

#endif

}  // namespace

int main(int argc, char** argv) {
  // The libraries' complaints about damaged files go to the trace log.
  ovc::media::RouteLibraryLogToTrace();

  std::vector<std::string> args(argv + 1, argv + argc);
#ifdef OVC_MULTICONV_WINDOW
  if (args.empty() && HasDisplay()) return RunBatchWindow(argv);
#endif
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
  // Nor may the file size limit: past it a write fails (EFBIG), which the
  // writers report, finishing what they wrote.
  signal(SIGXFSZ, SIG_IGN);

  // A conversion is work in bulk: under the batch policy (threads started
  // later inherit it) a thread that wakes another does not hand it the core
  // at once, so the stages pass frames along without a switch at every
  // hand-over. The priority (nice) stays the same. Where the policy is
  // refused, the conversion runs as it is.
  const sched_param batch = {};
  sched_setscheduler(0, SCHED_BATCH, &batch);

  ovc::ChooseScalerCode();
  return ovc::RunBatch(options, std::cout, std::cerr, &interrupted);
}
