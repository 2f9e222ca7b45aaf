#include "ui/batch/pseudo_terminal.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

namespace ovc {
namespace {

// A child writing to the far end as its standard error sees a terminal, its
// bytes arrive unchanged, and the end of its output is seen once it exits.
TEST(PseudoTerminal, CarriesAChildsStandardErrorUnchanged) {
  PseudoTerminal terminal;
  ASSERT_EQ(terminal.Open(), 0);
  const std::string written = "\r1.0% Recorded\x1b[K\nmulticonv: done\n";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(terminal.slave_fd(), STDERR_FILENO);
    const char tty = isatty(STDERR_FILENO) ? 'T' : 'P';
    if (write(STDERR_FILENO, &tty, 1) != 1) _exit(1);
    if (write(STDERR_FILENO, written.data(), written.size()) != static_cast<ssize_t>(written.size()))
      _exit(1);
    _exit(0);
  }
  terminal.CloseSlave();
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::string read;
  terminal.Drain(&read, 5000);
  EXPECT_EQ(read, "T" + written);
  EXPECT_FALSE(terminal.ReadAvailable(&read)) << "the end was not seen";
}

TEST(PseudoTerminal, NothingToReadYetIsNotTheEnd) {
  PseudoTerminal terminal;
  ASSERT_EQ(terminal.Open(), 0);
  std::string read;
  EXPECT_TRUE(terminal.ReadAvailable(&read));  // the far end is still open here
  EXPECT_EQ(read, "");
  terminal.Close();
  EXPECT_FALSE(terminal.ReadAvailable(&read));
}

}  // namespace
}  // namespace ovc
