#include "platform/registry/registry_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/trace.h"
#include "support/database_lock.h"
#include "support/temp_world.h"

namespace ovc::registry {
namespace {

namespace fs = std::filesystem;
using test::TempWorld;

constexpr Hive kCu = Hive::kCurrentUser;
constexpr Hive kLm = Hive::kLocalMachine;

std::vector<std::string> SubkeysOf(Store& store, Hive hive, const std::string& key) {
  std::vector<std::string> names;
  store.ListSubkeys(hive, key, &names);
  return names;
}

// Every decoded line of the trace log.
std::vector<std::string> TraceLines() {
  std::vector<std::string> lines;
  std::istringstream log(test::ReadFile(TraceLogPath()));
  for (std::string line; std::getline(log, line);) {
    uint32_t tick = 0;
    std::string message;
    if (UnscrambleTraceLine(line, &tick, &message)) lines.push_back(message);
  }
  return lines;
}

std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) names.push_back(name);
  }
  return names;
}

struct TypedCase {
  const char* label;
  std::string name;
  Value value;
};

TEST(RegistryStoreTest, ValuesKeepTheirTypeAndBytes) {
  TempWorld world;
  const std::vector<TypedCase> cases = {
      {"text", "Name", TextValue("caf\xC3\xA9 \\ \"quoted\"")},
      {"empty text", "Empty", TextValue("")},
      {"default value", "", TextValue("the default")},
      {"dword", "Count", DwordValue(0xFFFFFFFEu)},
      {"binary with zeros", "Blob", BinaryValue(std::string("\x00\x01\xFF\x00", 4))},
      {"unknown type", "Multi", Value{7, std::string("a\0\0", 3)}},
  };
  {
    Store store(world.registry());
    for (const TypedCase& c : cases)
      ASSERT_EQ(store.SetValue(kCu, "Software\\Test", c.name, c.value), kSuccess) << c.label;
  }
  // Read back through a second connection, as another copy of the program would.
  Store store(world.registry());
  for (const TypedCase& c : cases) {
    Value read;
    ASSERT_EQ(store.QueryValue(kCu, "Software\\Test", c.name, &read), kSuccess) << c.label;
    EXPECT_EQ(read.type, c.value.type) << c.label;
    EXPECT_EQ(read.data, c.value.data) << c.label;
  }
  uint32_t number = 0;
  Value count;
  store.QueryValue(kCu, "Software\\Test", "Count", &count);
  ASSERT_TRUE(DwordOf(count, &number));
  EXPECT_EQ(number, 0xFFFFFFFEu);
  EXPECT_EQ(count.data, std::string("\xFE\xFF\xFF\xFF", 4));  // little-endian

  // Overwriting changes type and bytes in place.
  ASSERT_EQ(store.SetValue(kCu, "Software\\Test", "Count", TextValue("now text")), kSuccess);
  Value replaced;
  store.QueryValue(kCu, "Software\\Test", "count", &replaced);
  EXPECT_EQ(replaced.type, kRegSz);
  EXPECT_EQ(replaced.data, "now text");
}

TEST(RegistryStoreTest, NamesIgnoreAsciiCaseAndKeepTheirFirstSpelling) {
  TempWorld world;
  Store store(world.registry());
  ASSERT_EQ(store.SetValue(kCu, "Software\\MyApp", "Volume", TextValue("5")), kSuccess);
  ASSERT_EQ(store.SetValue(kCu, "SOFTWARE\\myapp", "VOLUME", TextValue("7")), kSuccess);

  Value read;
  ASSERT_EQ(store.QueryValue(kCu, "software\\MYAPP", "volume", &read), kSuccess);
  EXPECT_EQ(read.data, "7");
  EXPECT_EQ(SubkeysOf(store, kCu, ""), std::vector<std::string>{"Software"});
  EXPECT_EQ(SubkeysOf(store, kCu, "software"), std::vector<std::string>{"MyApp"});
  std::vector<NamedValue> values;
  store.ListValues(kCu, "Software\\MyApp", &values);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "Volume");

  // Only ASCII letters fold: these are two keys.
  store.CreateKey(kCu, "Software\\\xC3\x89t\xC3\xA9");  // "Été"
  store.CreateKey(kCu, "Software\\\xC3\xA9t\xC3\xA9");  // "été"
  EXPECT_EQ(SubkeysOf(store, kCu, "Software").size(), 3u);
}

TEST(RegistryStoreTest, MissingKeysAndValuesReportNotFound) {
  TempWorld world;
  Store store(world.registry());
  store.SetValue(kCu, "A\\B", "x", TextValue("1"));
  Value read;
  EXPECT_EQ(store.QueryValue(kCu, "A\\C", "x", &read), kFileNotFound);
  EXPECT_EQ(store.QueryValue(kCu, "A\\B", "y", &read), kFileNotFound);
  EXPECT_EQ(store.QueryValue(kLm, "A\\B", "x", &read), kFileNotFound);  // hives are apart
  EXPECT_EQ(store.OpenKey(kCu, "A\\C"), kFileNotFound);
  EXPECT_EQ(store.OpenKey(kCu, "A\\B"), kSuccess);
  EXPECT_EQ(store.DeleteValue(kCu, "A\\B", "y"), kFileNotFound);
  EXPECT_EQ(store.DeleteKey(kCu, "A\\C"), kFileNotFound);
  EXPECT_EQ(store.DeleteKey(kCu, ""), kAccessDenied);
  EXPECT_EQ(store.DeleteValue(kCu, "A\\B", "X"), kSuccess);
  EXPECT_EQ(store.QueryValue(kCu, "A\\B", "x", &read), kFileNotFound);
}

TEST(RegistryStoreTest, DeleteKeyTakesItsWholeSubtreeAndNothingElse) {
  TempWorld world;
  Store store(world.registry());
  for (const char* key : {"Top\\A", "Top\\A\\B", "Top\\A\\B\\C", "Top\\AB", "Top\\A2\\B"})
    store.SetValue(kCu, key, "v", TextValue(key));
  store.SetValue(kLm, "Top\\A", "v", TextValue("machine"));

  ASSERT_EQ(store.DeleteKey(kCu, "top\\a"), kSuccess);
  EXPECT_EQ(store.OpenKey(kCu, "Top\\A"), kFileNotFound);
  EXPECT_EQ(store.OpenKey(kCu, "Top\\A\\B\\C"), kFileNotFound);
  EXPECT_EQ(SubkeysOf(store, kCu, "Top"), (std::vector<std::string>{"A2", "AB"}));
  Value read;
  EXPECT_EQ(store.QueryValue(kLm, "Top\\A", "v", &read), kSuccess);
  // A later key of the same name starts empty.
  store.CreateKey(kCu, "Top\\A");
  EXPECT_TRUE(SubkeysOf(store, kCu, "Top\\A").empty());
  EXPECT_TRUE(store.CheckIntegrity());
}

TEST(RegistryStoreTest, PathSyntaxAndLimits) {
  TempWorld world;
  Store store(world.registry());
  // Leading, trailing and doubled separators name the same key.
  ASSERT_EQ(store.SetValue(kCu, "\\One\\\\Two\\", "", TextValue("d")), kSuccess);
  Value read;
  EXPECT_EQ(store.QueryValue(kCu, "One\\Two", "", &read), kSuccess);

  EXPECT_EQ(store.CreateKey(kCu, "K\\" + std::string(255, 'n')), kSuccess);
  EXPECT_EQ(store.CreateKey(kCu, "K\\" + std::string(256, 'n')), kInvalidParameter);
  EXPECT_EQ(store.SetValue(kCu, "K", std::string(16384, 'v'), TextValue("")), kInvalidParameter);
  std::string deep;
  for (int i = 0; i < 513; ++i) deep += "d\\";
  EXPECT_EQ(store.CreateKey(kCu, deep), kInvalidParameter);
  EXPECT_EQ(store.OpenKey(kCu, "K\\" + std::string(256, 'n')), kInvalidParameter);
}

TEST(RegistryStoreTest, ApplyRunsABatchAndCountsRefusedChanges) {
  TempWorld world;
  Store store(world.registry());
  store.SetValue(kCu, "Old\\Sub", "x", TextValue("1"));
  std::vector<Change> changes = {
      {Change::Kind::kCreateKey, kCu, "New\\Empty", "", {}},
      {Change::Kind::kSetValue, kCu, "New", "v", DwordValue(3)},
      {Change::Kind::kDeleteKey, kCu, "Old", "", {}},
      {Change::Kind::kDeleteKey, kCu, "Never\\There", "", {}},                    // no error
      {Change::Kind::kDeleteValue, kCu, "New", "missing", {}},                    // no error
      {Change::Kind::kSetValue, kCu, std::string(300, 'k'), "v", TextValue("")},  // refused
      {Change::Kind::kDeleteKey, kLm, "", "", {}},                                // refused: a hive
  };
  int rejected = -1;
  ASSERT_EQ(store.Apply(changes, &rejected), kSuccess);
  EXPECT_EQ(rejected, 2);
  EXPECT_EQ(store.OpenKey(kCu, "New\\Empty"), kSuccess);
  EXPECT_EQ(store.OpenKey(kCu, "Old"), kFileNotFound);
  EXPECT_EQ(SubkeysOf(store, kCu, ""), (std::vector<std::string>{"New"}));
}

TEST(RegistryStoreTest, ThreadsShareOneStore) {
  TempWorld world;
  Store store(world.registry());
  constexpr int kThreads = 4, kWrites = 50;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kWrites; ++i) {
        std::string key = "T" + std::to_string(t) + "\\" + std::to_string(i);
        if (store.SetValue(kCu, key, "", TextValue(std::to_string(t * 1000 + i))) != kSuccess)
          ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(failures[t], 0);
    EXPECT_EQ(SubkeysOf(store, kCu, "T" + std::to_string(t)).size(), size_t{kWrites});
  }
  Value read;
  ASSERT_EQ(store.QueryValue(kCu, "T3\\49", "", &read), kSuccess);
  EXPECT_EQ(read.data, "3049");
}

TEST(RegistryStoreTest, DefaultStoreFollowsTheEnvironment) {
  TempWorld world;
  ASSERT_EQ(DefaultStore()->SetValue(kCu, "K", "v", TextValue("first")), kSuccess);
  EXPECT_TRUE(fs::exists(world.registry()));

  world.SetEnv("OVC_REGISTRY", world.Path("other/second.sqlite3"));
  Value read;
  EXPECT_EQ(DefaultStore()->QueryValue(kCu, "K", "v", &read), kFileNotFound);
  EXPECT_TRUE(fs::exists(world.Path("other/second.sqlite3")));

  world.SetEnv("OVC_REGISTRY", world.registry());
  ASSERT_EQ(DefaultStore()->QueryValue(kCu, "K", "v", &read), kSuccess);
  EXPECT_EQ(read.data, "first");

  // Without OVC_REGISTRY the store lives in the configuration folder.
  world.SetEnv("OVC_REGISTRY", "");
  world.SetEnv("XDG_CONFIG_HOME", world.Path("config"));
  EXPECT_EQ(DefaultStorePath(), world.Path("config") + "/Orvane/registry.sqlite3");
  world.SetEnv("XDG_CONFIG_HOME", "");
  world.SetEnv("HOME", world.home());
  EXPECT_EQ(DefaultStorePath(), world.home() + "/.config/Orvane/registry.sqlite3");
}

// A store file damaged in some way, and what the recovery must keep aside.
struct Damage {
  const char* label;
  void (*make)(const std::string& path);
  bool bytes_kept;  // whether the file aside must hold exactly the damaged bytes
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.label; }

void WriteGarbage(const std::string& path) {
  std::string bytes;
  uint32_t state = 12345;
  for (int i = 0; i < 8192; ++i) {
    state = state * 1103515245u + 12345u;
    bytes.push_back(static_cast<char>(state >> 24));
  }
  test::WriteFile(path, bytes);
}

// A real store whose pages after the header are overwritten: SQLite opens
// it, the integrity check fails.
void DamagePages(const std::string& path) {
  {
    Store store(path);
    for (int i = 0; i < 200; ++i)
      store.SetValue(kCu, "Fill\\" + std::to_string(i), "", TextValue(std::string(100, 'x')));
  }
  std::string bytes = test::ReadFile(path);
  ASSERT_GT(bytes.size(), 3 * 4096u);
  for (size_t i = 4096 + 20; i < bytes.size(); i += 37) bytes[i] = static_cast<char>(0xA5 ^ i);
  test::WriteFile(path, bytes);
}

// A database of some other program that happens to have a table "keys".
void ForeignDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "CREATE TABLE keys(a, b); INSERT INTO keys VALUES(1, 2);", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
}

class RegistryRecoveryTest : public ::testing::TestWithParam<Damage> {};

TEST_P(RegistryRecoveryTest, ADamagedFileIsMovedAsideAndAFreshStoreUsed) {
  TempWorld world;
  const std::string path = world.registry();
  GetParam().make(path);
  if (HasFatalFailure()) return;
  std::string damaged_bytes = fs::is_regular_file(path) ? test::ReadFile(path) : "";

  testing::internal::CaptureStderr();
  std::shared_ptr<Store> store = DefaultStore();
  ASSERT_EQ(store->SetValue(kCu, "Software\\After", "", TextValue("works")), kSuccess);
  std::string errors = testing::internal::GetCapturedStderr();

  Value read;
  ASSERT_EQ(store->QueryValue(kCu, "Software\\After", "", &read), kSuccess);
  EXPECT_EQ(read.data, "works");
  EXPECT_TRUE(store->CheckIntegrity());
  EXPECT_TRUE(fs::is_regular_file(path));

  std::vector<std::string> aside = FilesStartingWith(world.root(), "registry.sqlite3.corrupt-");
  ASSERT_EQ(aside.size(), 1u) << errors;
  if (GetParam().bytes_kept) {
    EXPECT_TRUE(test::ReadFile(world.Path(aside[0])) == damaged_bytes);
  }

  // Reported once, on stderr and in the trace.
  size_t first = errors.find(aside[0]);
  ASSERT_NE(first, std::string::npos) << errors;
  EXPECT_EQ(errors.find(aside[0], first + 1), std::string::npos) << errors;
  int traced = 0;
  for (const std::string& line : TraceLines()) traced += line.find(aside[0]) != std::string::npos;
  EXPECT_EQ(traced, 1);

  // The new file is a store of its own that later runs open silently.
  store.reset();
  testing::internal::CaptureStderr();
  Store again(path);
  EXPECT_EQ(again.QueryValue(kCu, "Software\\After", "", &read), kSuccess);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

INSTANTIATE_TEST_SUITE_P(Damages, RegistryRecoveryTest,
                         ::testing::Values(Damage{"RandomBytes", WriteGarbage, true},
                                           Damage{"DamagedPages", DamagePages, false}),
                         [](const auto& info) { return std::string(info.param.label); });

// Something at the store's path that is not damaged but cannot serve as the
// store: it must be left exactly as it is, and the reason given.
struct Unusable {
  const char* label;
  void (*make)(const std::string& path);
  const char* reason;  // part of the message
  bool needs_non_root;  // permissions do not stop root
};

void PrintTo(const Unusable& unusable, std::ostream* out) { *out << unusable.label; }

void MakeFolder(const std::string& path) { fs::create_directories(path + "/inside"); }
void MakeFifo(const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }
void MakeUnreadable(const std::string& path) {
  {
    Store store(path);
    store.SetValue(kCu, "K", "", TextValue("private"));
  }
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
}

class RegistryUnusableTest : public ::testing::TestWithParam<Unusable> {};

TEST_P(RegistryUnusableTest, IsLeftAloneAndTheStoreRunsInMemory) {
  if (GetParam().needs_non_root && geteuid() == 0) GTEST_SKIP() << "root reads any file";
  TempWorld world;
  const std::string path = world.registry();
  GetParam().make(path);
  if (HasFatalFailure()) return;
  struct stat before {};
  ASSERT_EQ(lstat(path.c_str(), &before), 0);

  testing::internal::CaptureStderr();
  std::shared_ptr<Store> store = DefaultStore();
  ASSERT_EQ(store->SetValue(kCu, "Software\\After", "", TextValue("works")), kSuccess);
  ASSERT_EQ(store->SetValue(kCu, "Software\\Again", "", TextValue("too")), kSuccess);
  Value read;
  ASSERT_EQ(store->QueryValue(kCu, "Software\\After", "", &read), kSuccess);
  EXPECT_EQ(read.data, "works");
  std::string errors = testing::internal::GetCapturedStderr();

  const std::string expected = "The registry database " + path + " cannot be used";
  size_t first = errors.find(expected);
  ASSERT_NE(first, std::string::npos) << errors;
  EXPECT_EQ(errors.find(expected, first + 1), std::string::npos) << "reported twice: " << errors;
  EXPECT_NE(errors.find(GetParam().reason), std::string::npos) << errors;

  struct stat after {};
  ASSERT_EQ(lstat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_TRUE(FilesStartingWith(world.root(), "registry.sqlite3.corrupt-").empty());
  store.reset();
  if (GetParam().make == ForeignDatabase) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "SELECT a, b FROM keys", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, RegistryUnusableTest,
    ::testing::Values(Unusable{"Folder", MakeFolder, "it is a folder", false},
                      Unusable{"Fifo", MakeFifo, "not a regular file", false},
                      Unusable{"ForeignDatabase", ForeignDatabase, "not a settings database", false},
                      Unusable{"Unreadable", MakeUnreadable, "Permission denied", true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RegistryStoreTest, ANewStoreIsPrivateToItsUser) {
  TempWorld world;
  mode_t old_mask = umask(0022);
  {
    Store store(world.registry());
    ASSERT_EQ(store.SetValue(kCu, "K", "", TextValue("v")), kSuccess);
    for (const char* suffix : {"", "-wal", "-shm"}) {
      struct stat info {};
      if (stat((world.registry() + suffix).c_str(), &info) != 0) continue;
      EXPECT_EQ(info.st_mode & 0777, 0600u) << suffix;
    }
  }
  umask(old_mask);
}

struct LockCase {
  const char* label;
  bool wal;             // the file is a store already, in WAL mode
  bool keeps_contents;  // what the file held is still read
};

void PrintTo(const LockCase& lock, std::ostream* out) { *out << lock.label; }

class RegistryLockTest : public ::testing::TestWithParam<LockCase> {};

TEST_P(RegistryLockTest, ALongLockCostsOneBudgetThenTheStoreGoesOnInMemory) {
  TempWorld world;
  const std::string path = world.registry();
  if (GetParam().wal) {
    Store before(path);
    ASSERT_EQ(before.SetValue(kCu, "Kept", "", TextValue("from the file")), kSuccess);
  } else {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE other(x)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  test::DatabaseLock holder(path);
  ASSERT_TRUE(holder.locked());

  constexpr auto kBudget = std::chrono::milliseconds(600);
  testing::internal::CaptureStderr();
  auto start = std::chrono::steady_clock::now();
  Store store(path, kBudget);
  for (int i = 0; i < 6; ++i) {
    std::string name = "Written\\" + std::to_string(i);
    ASSERT_EQ(store.SetValue(kCu, name, "", TextValue("v" + std::to_string(i))), kSuccess) << i;
    Value read;
    ASSERT_EQ(store.QueryValue(kCu, name, "", &read), kSuccess) << i;
    EXPECT_EQ(read.data, "v" + std::to_string(i));
  }
  auto spent = std::chrono::steady_clock::now() - start;
  std::string errors = testing::internal::GetCapturedStderr();

  // Every call waiting out the budget again would take six times as long.
  EXPECT_LT(spent, 3 * kBudget);
  const std::string expected = "The registry database " + path + " is locked by another process";
  size_t first = errors.find(expected);
  ASSERT_NE(first, std::string::npos) << errors;
  EXPECT_EQ(errors.find(expected, first + 1), std::string::npos) << errors;

  Value kept;
  EXPECT_EQ(store.QueryValue(kCu, "Kept", "", &kept) == kSuccess, GetParam().keeps_contents);
  if (GetParam().keeps_contents) {
    EXPECT_EQ(kept.data, "from the file");
  }
}

INSTANTIATE_TEST_SUITE_P(Locks, RegistryLockTest,
                         ::testing::Values(LockCase{"WalStore", true, true},
                                           LockCase{"RollbackFile", false, false}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(RegistryRecoveryTest, TheDamagedFilesJournalDoesNotReachTheNewStore) {
  TempWorld world;
  WriteGarbage(world.registry());
  test::WriteFile(world.registry() + "-wal", "stale journal of the damaged file");
  testing::internal::CaptureStderr();
  Store store(world.registry());
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(store.SetValue(kCu, "K", "", TextValue("v")), kSuccess);
  EXPECT_TRUE(store.CheckIntegrity());
  for (const char* suffix : {"", "-wal", "-shm"}) {
    EXPECT_EQ(test::ReadFile(world.registry() + suffix).find("stale journal"), std::string::npos)
        << suffix;
  }
}

TEST(RegistryRecoveryTest, AStoreThatCannotBeCreatedKeepsDataInMemory) {
  TempWorld world;
  test::WriteFile(world.Path("blocker"), "a file where a folder should be");
  world.SetEnv("OVC_REGISTRY", world.Path("blocker/registry.sqlite3"));
  testing::internal::CaptureStderr();
  std::shared_ptr<Store> store = DefaultStore();
  ASSERT_EQ(store->SetValue(kCu, "K", "", TextValue("kept")), kSuccess);
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("kept in memory"), std::string::npos) << errors;
  Value read;
  ASSERT_EQ(store->QueryValue(kCu, "K", "", &read), kSuccess);
  EXPECT_EQ(read.data, "kept");
}

}  // namespace
}  // namespace ovc::registry
