#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace ovc::test {

// Holds the process's file size limit at `bytes` for its lifetime, with
// the signal that writing past it raises ignored, so that a write past it
// fails with EFBIG as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
    saved_signal_ = signal(SIGXFSZ, SIG_IGN);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, saved_signal_);
  }

 private:
  rlimit saved_{};
  sighandler_t saved_signal_;
};

}  // namespace ovc::test
