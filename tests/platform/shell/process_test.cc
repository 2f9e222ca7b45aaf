#include "platform/shell/process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <ostream>

#include "platform/shell/shell.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

namespace fs = std::filesystem;

// Writes an executable shell script.
std::string WriteScript(const std::string& path, const std::string& body) {
  test::WriteFile(path, body);
  fs::permissions(path, fs::perms::owner_all);
  return path;
}

// Everything written into an open FIFO by one writer, read until that
// writer closes it; gives up after `timeout_ms` without news.
std::string ReadFifo(int fd, int timeout_ms) {
  std::string text;
  for (;;) {
    pollfd entry{fd, POLLIN, 0};
    int ready = poll(&entry, 1, timeout_ms);
    if (ready == 0) {
      text += "<timed out>";
      break;
    }
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    char buffer[512];
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) text.append(buffer, static_cast<size_t>(got));
    else if (got == 0) break;  // the writer closed it
    else if (errno != EAGAIN && errno != EINTR) break;
  }
  return text;
}

// A stand-in opener that waits for a go-ahead on a gate FIFO (for at most
// 20 s) and then reports its arguments, where its standard output and error
// lead and whether it leads its own session into a report FIFO. An opener
// that was waited for can only time out at the gate.
class DetachedOpenerTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string gate = world_.Path("gate.fifo");
    std::string report = world_.Path("report.fifo");
    ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(report.c_str(), 0600), 0);
    // Held open for reading and writing: the opener's read of the gate
    // blocks until the test writes, and its report never waits for a reader.
    gate_fd_ = open(gate.c_str(), O_RDWR | O_CLOEXEC);
    report_fd_ = open(report.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(gate_fd_, 0);
    ASSERT_GE(report_fd_, 0);
    opener_ = WriteScript(world_.Path("bin/fake opener"),
                          "#!/bin/sh\n"
                          "out=$(readlink /proc/$$/fd/1)\n"
                          "err=$(readlink /proc/$$/fd/2)\n"
                          "sid=$(cut -d' ' -f6 /proc/$$/stat)\n"
                          "if timeout 20 sh -c 'read line < \"$0\"' '" + gate + "'; then\n"
                          "  gate=opened; else gate=timed-out; fi\n"
                          "{ printf '%s\\n' \"$gate\" \"$#\" \"$1\" \"$out\" \"$err\";\n"
                          "  [ \"$sid\" = \"$$\" ] && echo leader || echo member; } > '" +
                              report + "'\n");
  }
  void TearDown() override {
    if (gate_fd_ >= 0) close(gate_fd_);
    if (report_fd_ >= 0) close(report_fd_);
  }

  // Lets the opener go on and returns its report.
  std::string Report() {
    EXPECT_EQ(write(gate_fd_, "go\n", 3), 3);
    return ReadFifo(report_fd_, 60000);
  }

  test::TempWorld world_;
  int gate_fd_ = -1;
  int report_fd_ = -1;
  std::string opener_;
};

TEST_F(DetachedOpenerTest, ReturnsAtOnceAndPassesThePathAsOneArgument) {
  XdgShell shell(opener_);
  const std::string path = world_.Path("my clips/a \"b\" $(touch x); `id` & c.avi");
  ASSERT_TRUE(shell.Open(path));
  EXPECT_EQ(Report(), "opened\n1\n" + path + "\n/dev/null\n/dev/null\nleader\n");
  EXPECT_FALSE(fs::exists(world_.Path("my clips/x")));
}

TEST_F(DetachedOpenerTest, LeavesNoChildToReap) {
  XdgShell shell(opener_);
  ASSERT_TRUE(shell.Open("/tmp"));
  // The opener was handed to init; nothing of ours is left to become a zombie.
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  Report();
}

TEST_F(DetachedOpenerTest, PathLookingLikeAnOptionIsMadeRelative) {
  XdgShell shell(opener_);
  ASSERT_TRUE(shell.Open("--help"));
  EXPECT_EQ(Report().substr(0, 18), "opened\n1\n./--help\n");
}

struct StartFailureCase {
  const char* name;
  const char* program;  // relative to the world, or a bare name
  const char* script;   // nullptr: no file; "" with mode 0600
  bool executable;
};
void PrintTo(const StartFailureCase& c, std::ostream* os) { *os << c.name; }

class OpenerStartFailure : public testing::TestWithParam<StartFailureCase> {};

TEST_P(OpenerStartFailure, IsReportedAsNotStarted) {
  test::TempWorld world;
  const StartFailureCase& c = GetParam();
  std::string program = c.program;
  if (program.find('/') != std::string::npos) program = world.Path(program);
  if (c.script) {
    test::WriteFile(program, c.script);
    fs::permissions(program, c.executable ? fs::perms::owner_all
                                          : fs::perms::owner_read | fs::perms::owner_write);
  }
  EXPECT_FALSE(XdgShell(program).Open("/tmp"));
  EXPECT_EQ(RunProgram({program}), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, OpenerStartFailure,
    testing::Values(
        StartFailureCase{"Missing", "bin/none", nullptr, false},
        StartFailureCase{"NotOnPath", "ovc-no-such-opener-program", nullptr, false},
        StartFailureCase{"NotExecutable", "bin/plain", "#!/bin/sh\nexit 0\n", false},
        StartFailureCase{"BadInterpreter", "bin/broken", "#!/nonexistent/interpreter\n", true}));

TEST(XdgShell, EmptyPathOpensNothing) {
  test::TempWorld world;
  std::string opener = WriteScript(world.Path("bin/opener"), "#!/bin/sh\nexit 0\n");
  EXPECT_FALSE(XdgShell(opener).Open(""));
}

struct ExitCase {
  const char* name;
  const char* body;
  int expected;
};
void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

class RunProgramExit : public testing::TestWithParam<ExitCase> {};

TEST_P(RunProgramExit, ReturnsTheExitStatus) {
  test::TempWorld world;
  std::string program = WriteScript(world.Path("bin/tool"), GetParam().body);
  EXPECT_EQ(RunProgram({program}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, RunProgramExit,
    testing::Values(ExitCase{"Success", "#!/bin/sh\nexit 0\n", 0},
                    ExitCase{"Failure", "#!/bin/sh\nexit 3\n", 3},
                    ExitCase{"NoisyFailure", "#!/bin/sh\necho refused >&2\nexit 1\n", 1},
                    ExitCase{"KilledBySignal", "#!/bin/sh\nkill -TERM $$\nexit 0\n", -1}));

TEST(RunProgram, WaitsAndPassesEveryArgumentAsGiven) {
  test::TempWorld world;
  std::string log = world.Path("args.txt");
  std::string program = WriteScript(
      world.Path("bin/tool"), "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" + log + "'\n");
  ASSERT_EQ(RunProgram({program, "call", "a b", "", "$HOME;x"}), 0);
  EXPECT_EQ(test::ReadFile(log), "4|call|a b||$HOME;x|");
}

}  // namespace
}  // namespace ovc
