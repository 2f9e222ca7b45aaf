#include "long/multiconv_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/command_output.h"
#include "support/temp_world.h"

namespace ovc::test {
namespace {

// The value of one "Name:" line of /proc/<pid>/status, "" when missing.
std::string StatusField(pid_t pid, const std::string& name) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, name.size() + 1, name + ":") == 0) {
      const size_t value = line.find_first_not_of(" \t", name.size() + 1);
      return value == std::string::npos ? "" : line.substr(value);
    }
  }
  return "";
}

// Whether the child runs `program` (it has passed exec) and catches SIGINT.
bool CatchesInterrupt(pid_t pid, const std::string& program) {
  const std::string name = StatusField(pid, "Name");
  const std::string base = program.substr(program.rfind('/') + 1);
  // The kernel keeps the first 15 bytes of the name.
  if (name.empty() || base.compare(0, 15, name) != 0) return false;
  const std::string caught = StatusField(pid, "SigCgt");
  if (caught.empty()) return false;
  const unsigned long long mask = std::strtoull(caught.c_str(), nullptr, 16);
  return (mask >> (SIGINT - 1)) & 1;
}

int64_t ResidentKb(pid_t pid) {
  return std::atoll(StatusField(pid, "VmRSS").c_str());
}

}  // namespace

MulticonvRun RunMulticonv(const std::string& program, const std::vector<std::string>& args,
                          const MulticonvOptions& options) {
  MulticonvRun run;
  const std::string out_path = options.folder + "/multiconv-stdout.txt";
  const std::string err_path = options.folder + "/multiconv-stderr.txt";
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  const auto started = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) return run;
  if (child == 0) {
    // Only async-signal-safe calls between fork and exec.
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(options.folder.c_str()) != 0) _exit(120);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execv(program.c_str(), argv.data());
    _exit(121);
  }

  int status = 0;
  struct rusage usage = {};
  std::optional<std::chrono::steady_clock::time_point> ready_at;
  auto next_sample = started;
  for (;;) {
    if (wait4(child, &status, WNOHANG, &usage) == child) break;
    const auto now = std::chrono::steady_clock::now();
    if (options.interrupt_after && !run.interrupted) {
      if (!ready_at && CatchesInterrupt(child, program)) ready_at = now;
      if (ready_at && now - *ready_at >= *options.interrupt_after) {
        kill(child, SIGINT);
        run.interrupted = true;
      }
    }
    if (options.sample_interval.count() > 0 && now >= next_sample) {
      if (const int64_t kb = ResidentKb(child); kb > 0) run.rss_samples_kb.push_back(kb);
      next_sample += options.sample_interval;
    }
    // Short steps while an interrupt is due, so that its moment is kept.
    const bool interrupt_due = options.interrupt_after && !run.interrupted;
    std::this_thread::sleep_for(std::chrono::milliseconds(interrupt_due ? 2 : 20));
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  run.exited = WIFEXITED(status);
  if (run.exited) run.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  run.peak_rss_kb = usage.ru_maxrss;
  run.outputs = Lines(ReadFile(out_path));
  run.err = ReadFile(err_path);
  return run;
}

}  // namespace ovc::test
