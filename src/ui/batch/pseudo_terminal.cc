#include "ui/batch/pseudo_terminal.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

namespace ovc {

PseudoTerminal::~PseudoTerminal() { Close(); }

int PseudoTerminal::Open() {
  Close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return -1;
  char name[128];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    Close();
    return -1;
  }
  // O_NOCTTY: the far end must never become this process's controlling
  // terminal.
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) {
    Close();
    return -1;
  }
  termios modes;
  if (tcgetattr(slave_, &modes) == 0) {
    cfmakeraw(&modes);
    tcsetattr(slave_, TCSANOW, &modes);
  }
  const int flags = fcntl(master_, F_GETFL);
  if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
    Close();
    return -1;
  }
  return 0;
}

void PseudoTerminal::Close() {
  CloseSlave();
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PseudoTerminal::CloseSlave() {
  if (slave_ >= 0) close(slave_);
  slave_ = -1;
}

bool PseudoTerminal::ReadAvailable(std::string* bytes) {
  if (master_ < 0) return false;
  char buffer[4096];
  for (;;) {
    const ssize_t count = read(master_, buffer, sizeof buffer);
    if (count > 0) {
      bytes->append(buffer, static_cast<size_t>(count));
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    // 0 or EIO: every writer has closed the far end.
    return false;
  }
}

void PseudoTerminal::Drain(std::string* bytes, int limit_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (ReadAvailable(bytes)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    pollfd watch = {master_, POLLIN, 0};
    if (poll(&watch, 1, static_cast<int>(left.count())) == 0) return;
  }
}

}  // namespace ovc
