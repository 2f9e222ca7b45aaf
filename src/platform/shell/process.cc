#include "platform/shell/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace ovc {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

// A descriptor that owns itself; closed on scope exit.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// A close-on-exec duplicate of `fd` numbered 3 or above, so that the
// standard descriptors of a child can be replaced without clobbering it.
// Takes ownership of `fd`. -1 on failure.
int AboveStandardDescriptors(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

// argv as the exec calls want it; pointers into `argv`, which must outlive it.
std::vector<char*> ArgvPointers(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

pid_t WaitForExit(pid_t pid, int* status) {
  pid_t result;
  do {
    result = waitpid(pid, status, 0);
  } while (result < 0 && errno == EINTR);
  return result;
}

// Reports an errno value through the status pipe and ends the forked
// process. Only async-signal-safe calls: this runs between fork and exec.
[[noreturn]] void FailInChild(int status_fd) {
  int error = errno;
  ssize_t ignored = write(status_fd, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

}  // namespace

std::string FindProgram(const std::string& name) {
  if (name.empty()) return "";
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : "";
  const char* path_variable = std::getenv("PATH");
  std::string search = path_variable ? path_variable : "/usr/local/bin:/usr/bin:/bin";
  size_t begin = 0;
  while (begin <= search.size()) {
    size_t end = search.find(':', begin);
    if (end == std::string::npos) end = search.size();
    // An empty entry stands for the working folder.
    std::string candidate =
        (end > begin ? search.substr(begin, end - begin) : std::string(".")) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    begin = end + 1;
  }
  return "";
}

bool StartDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  std::string program = FindProgram(argv[0]);
  if (program.empty()) return false;

  // Everything the forked processes use is prepared here: between fork and
  // exec only async-signal-safe calls are allowed.
  std::vector<char*> arguments = ArgvPointers(argv);
  Fd null_fd(AboveStandardDescriptors(open("/dev/null", O_RDWR | O_CLOEXEC)));
  if (null_fd.get() < 0) return false;
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return false;
  Fd status_read(AboveStandardDescriptors(pipe_fds[0]));
  Fd status_write(AboveStandardDescriptors(pipe_fds[1]));
  if (status_read.get() < 0 || status_write.get() < 0) return false;

  // Fork twice: the intermediate process ends at once and is reaped below,
  // so the program itself is adopted by init (or the session's subreaper).
  pid_t intermediate = fork();
  if (intermediate < 0) return false;
  if (intermediate == 0) {
    pid_t program_pid = fork();
    if (program_pid < 0) FailInChild(status_write.get());
    if (program_pid > 0) _exit(0);
    sigset_t no_signals;
    sigemptyset(&no_signals);
    sigprocmask(SIG_SETMASK, &no_signals, nullptr);
    signal(SIGPIPE, SIG_DFL);
    setsid();
    if (dup2(null_fd.get(), STDIN_FILENO) < 0 || dup2(null_fd.get(), STDOUT_FILENO) < 0 ||
        dup2(null_fd.get(), STDERR_FILENO) < 0)
      FailInChild(status_write.get());
    execve(program.c_str(), arguments.data(), environ);
    FailInChild(status_write.get());
  }

  status_write.Reset();
  int status = 0;
  WaitForExit(intermediate, &status);  // ECHILD when SIGCHLD is ignored: nothing to reap

  // The pipe reaches end-of-file when the program's image replaced the fork
  // (close-on-exec) or when a failure ended it after writing its errno.
  int child_error = 0;
  ssize_t got;
  do {
    got = read(status_read.get(), &child_error, sizeof child_error);
  } while (got < 0 && errno == EINTR);
  return got == 0;
}

int RunProgram(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::string program = FindProgram(argv[0]);
  if (program.empty()) return -1;
  std::vector<char*> arguments = ArgvPointers(argv);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  sigset_t no_signals;
  sigemptyset(&no_signals);
  sigset_t default_signals;
  sigemptyset(&default_signals);
  sigaddset(&default_signals, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &no_signals);
  posix_spawnattr_setsigdefault(&attributes, &default_signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  int spawn_error =
      posix_spawn(&pid, program.c_str(), &actions, &attributes, arguments.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawn_error != 0) return -1;

  int status = 0;
  if (WaitForExit(pid, &status) != pid) return -1;
  if (!WIFEXITED(status)) return -1;
  // glibc's posix_spawn reports a failed exec itself; 127 stays an exit status.
  return WEXITSTATUS(status);
}

}  // namespace ovc
