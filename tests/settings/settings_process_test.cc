// Several running copies of the program share one store, and a copy may die
// at any moment; neither may cost a setting that a writer saw committed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/registry/registry_store.h"
#include "settings/settings_store.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

using test::TempWorld;

// Runs `body` in a child process that exits with body's result.
pid_t Spawn(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int ExitCodeOf(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Reads one whole record; false at the end of the pipe.
bool ReadRecord(int fd, uint32_t* record) {
  char* bytes = reinterpret_cast<char*>(record);
  size_t got = 0;
  while (got < sizeof *record) {
    ssize_t n = read(fd, bytes + got, sizeof *record - got);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

std::string Name(int i) { return "s" + std::to_string(i); }

TEST(SettingsProcessTest, TwoCopiesWritingAtOnceLoseNothing) {
  TempWorld world;
  constexpr int kWrites = 150;
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> writers;
  for (int n = 0; n < 2; ++n) {
    writers.push_back(Spawn([&, n] {
      close(go[1]);
      char start;
      if (read(go[0], &start, 1) != 0) return 100;  // released when the pipe closes
      int failures = 0;
      for (int i = 0; i < kWrites; ++i) {
        failures += WriteSettingInt("Writer" + std::to_string(n), Name(i), n * 1000 + i) != 0;
        // Both copies also write the same settings.
        failures += WriteSettingInt("Shared", Name(i), n * 1000 + i) != 0;
      }
      return failures > 99 ? 99 : failures;
    }));
  }
  close(go[0]);
  close(go[1]);  // both start together
  for (pid_t pid : writers) EXPECT_EQ(ExitCodeOf(pid), 0);

  for (int n = 0; n < 2; ++n) {
    for (int i = 0; i < kWrites; ++i) {
      EXPECT_EQ(ReadSettingInt("Writer" + std::to_string(n) + "\\" + Name(i), -1), n * 1000 + i);
      int shared = ReadSettingInt("Shared\\" + Name(i), -1);
      EXPECT_TRUE(shared == i || shared == 1000 + i) << shared;
    }
  }
  EXPECT_TRUE(registry::DefaultStore()->CheckIntegrity());
}

TEST(SettingsProcessTest, TwoCopiesStartingOnADamagedStoreRepairItOnce) {
  TempWorld world;
  test::WriteFile(world.registry(), std::string(8192, '\x5A'));
  constexpr int kWrites = 40;
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> copies;
  for (int n = 0; n < 2; ++n) {
    copies.push_back(Spawn([&, n] {
      close(go[1]);
      char start;
      if (read(go[0], &start, 1) != 0) return 100;
      int failures = 0;
      for (int i = 0; i < kWrites; ++i)
        failures += WriteSettingInt("Copy" + std::to_string(n), Name(i), i) != 0;
      return failures > 99 ? 99 : failures;
    }));
  }
  close(go[0]);
  close(go[1]);
  for (pid_t pid : copies) EXPECT_EQ(ExitCodeOf(pid), 0);

  int aside = 0;
  for (const auto& entry : std::filesystem::directory_iterator(world.root()))
    aside += entry.path().filename().string().rfind("registry.sqlite3.corrupt-", 0) == 0;
  EXPECT_EQ(aside, 1);
  for (int n = 0; n < 2; ++n) {
    for (int i = 0; i < kWrites; ++i)
      EXPECT_EQ(ReadSettingInt("Copy" + std::to_string(n) + "\\" + Name(i), -1), i) << n;
  }
}

TEST(SettingsProcessTest, AKilledWriterLosesNoCommittedSetting) {
  TempWorld world;
  int reports[2];
  ASSERT_EQ(pipe(reports), 0);
  pid_t writer = Spawn([&] {
    close(reports[0]);
    for (uint32_t i = 0;; ++i) {
      // A long text makes each write span several pages.
      if (WriteSettingText("Crash", Name(static_cast<int>(i)),
                           std::to_string(i) + std::string(3000, '.')) != 0)
        return 1;
      if (write(reports[1], &i, sizeof i) != sizeof i) return 2;
    }
  });
  close(reports[1]);

  std::vector<uint32_t> done;
  uint32_t record = 0;
  while (done.size() < 200 && ReadRecord(reports[0], &record)) done.push_back(record);
  kill(writer, SIGKILL);
  EXPECT_EQ(ExitCodeOf(writer), 128 + SIGKILL);
  while (ReadRecord(reports[0], &record)) done.push_back(record);
  close(reports[0]);
  ASSERT_GE(done.size(), 200u);

  testing::internal::CaptureStderr();
  registry::Store store(world.registry());
  EXPECT_TRUE(store.CheckIntegrity());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // no repair was needed
  // (The texts are longer than a setting read takes, so they are read raw.)
  for (uint32_t i : done) {
    registry::Value value;
    ASSERT_EQ(store.QueryValue(registry::Hive::kCurrentUser,
                               SettingsRoot() + "Crash\\" + Name(static_cast<int>(i)), "", &value),
              registry::kSuccess)
        << i;
    EXPECT_TRUE(value.data == std::to_string(i) + std::string(3000, '.')) << i;
  }
}

}  // namespace
}  // namespace ovc
