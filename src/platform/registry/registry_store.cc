#include "platform/registry/registry_store.h"

#include <sqlite3.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "common/paths.h"
#include "common/trace.h"

namespace ovc::registry {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxKeyNameBytes = 255;
constexpr size_t kMaxValueNameBytes = 16383;
constexpr size_t kMaxKeyDepth = 512;

// The hives are the two keys with these fixed ids; every other key has a
// parent. Key and value names are kept as spelled and, for lookups, folded.
constexpr const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  folded TEXT NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, folded);"
    "CREATE TABLE IF NOT EXISTS key_values("
    "  key INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  folded TEXT NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, folded)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name, folded)"
    "  VALUES(1, 0, 'HKEY_CURRENT_USER', 'hkey_current_user'),"
    "        (2, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');";

constexpr const char kFindKey[] = "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2";
constexpr const char kInsertKey[] = "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)";
constexpr const char kListKeys[] = "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded";
constexpr const char kFindValue[] =
    "SELECT type, data FROM key_values WHERE key = ?1 AND folded = ?2";
constexpr const char kSetValue[] =
    "INSERT INTO key_values(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
    " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data";
constexpr const char kDeleteValue[] = "DELETE FROM key_values WHERE key = ?1 AND folded = ?2";
constexpr const char kListValues[] =
    "SELECT name, type, data FROM key_values WHERE key = ?1 ORDER BY folded";
constexpr const char kDeleteTreeValues[] =
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
    "  SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id)"
    " DELETE FROM key_values WHERE key IN tree";
constexpr const char kDeleteTreeKeys[] =
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
    "  SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id)"
    " DELETE FROM keys WHERE id IN tree";

constexpr const char* kAllStatements[] = {
    kFindKey,     kInsertKey,  kListKeys,         kFindValue,      kSetValue,
    kDeleteValue, kListValues, kDeleteTreeValues, kDeleteTreeKeys,
};

int64_t HiveId(Hive hive) { return hive == Hive::kCurrentUser ? 1 : 2; }

// Codes that say the file itself is unusable, as opposed to busy, full or
// read-only.
bool IsDamage(int sqlite_code) {
  int primary = sqlite_code & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// Locks that another connection holds; they pass.
bool IsBusy(int sqlite_code) {
  int primary = sqlite_code & 0xFF;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string ColumnBytes(sqlite3_stmt* statement, int column) {
  const void* bytes = sqlite3_column_blob(statement, column);
  int size = sqlite3_column_bytes(statement, column);
  if (!bytes || size <= 0) return std::string();
  return std::string(static_cast<const char*>(bytes), static_cast<size_t>(size));
}

void Report(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  TracePrintf("%s", message.c_str());
}

// SQLite's verdicts can run to many lines; the first part says enough.
std::string Shorten(const std::string& reason) {
  std::string line = reason.substr(0, reason.find('\n'));
  return line.size() > 160 ? line.substr(0, 160) + "..." : line;
}

std::string UtcStamp() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
  return text;
}

// An exclusive advisory lock on a file, held for the object's lifetime;
// nothing when the path is empty or the file cannot be opened.
class RepairLock {
 public:
  explicit RepairLock(const std::string& path) {
    if (path.empty()) return;
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~RepairLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  RepairLock(const RepairLock&) = delete;
  RepairLock& operator=(const RepairLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

// A key path split into names, checked against the store's limits.
struct Store::KeyPath {
  std::vector<std::string> names;
  std::vector<std::string> folded;
  int status = kSuccess;

  explicit KeyPath(const std::string& key) {
    size_t start = 0;
    while (start <= key.size()) {
      size_t end = key.find('\\', start);
      if (end == std::string::npos) end = key.size();
      if (end > start) {
        if (end - start > kMaxKeyNameBytes) status = kInvalidParameter;
        names.push_back(key.substr(start, end - start));
        folded.push_back(FoldName(names.back()));
      }
      start = end + 1;
    }
    if (names.size() > kMaxKeyDepth) status = kInvalidParameter;
  }
};

// Resets a cached statement when the scope that used it ends.
class Store::StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt* statement) : statement_(statement) {}
  ~StatementUse() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  sqlite3_stmt* get() const { return statement_; }

 private:
  sqlite3_stmt* statement_;
};

Store::Store(std::string path, std::chrono::milliseconds busy_budget)
    : path_(std::move(path)), busy_budget_(busy_budget) {
  MutexLock lock(&mutex_);
  OpenLocked();
}

Store::~Store() {
  MutexLock lock(&mutex_);
  CloseLocked();
}

void Store::CloseLocked() {
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  statements_.clear();
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
}

int Store::FailLocked(int sqlite_code, int status) {
  last_sqlite_error_ = sqlite_code;
  return status;
}

sqlite3_stmt* Store::PrepareLocked(const char* sql) {
  auto found = statements_.find(sql);
  return found == statements_.end() ? nullptr : found->second;
}

int Store::OnBusy(void* store, int /*attempts*/) {
  // Runs inside a SQLite call made with mutex_ held.
  Store* self = static_cast<Store*>(store);
  self->mutex_.AssertHeld();
  return self->WaitForLockLocked() ? 1 : 0;
}

bool Store::WaitForLockLocked() {
  if (busy_waited_ >= busy_budget_) return false;
  auto step = std::min<std::chrono::steady_clock::duration>(std::chrono::milliseconds(10),
                                                            busy_budget_ - busy_waited_);
  auto start = std::chrono::steady_clock::now();
  sqlite3_sleep(static_cast<int>(
      std::max<int64_t>(1, std::chrono::duration_cast<std::chrono::milliseconds>(step).count())));
  busy_waited_ += std::chrono::steady_clock::now() - start;
  return true;
}

int Store::TryOpenLocked(bool* damaged, std::string* reason, sqlite3* seed) {
  *damaged = false;
  bool memory = in_memory_fallback_ || path_ == ":memory:";
  bool existed = false;
  // Only what SQLite itself calls damaged is; a file that cannot be opened
  // for another reason (permissions, a folder in its place, another
  // program's database) is left alone.
  auto fail = [&](int code, const std::string& why, bool file_at_fault) OVC_REQUIRES(mutex_) {
    *reason = why;
    *damaged = !memory && file_at_fault;
    CloseLocked();
    return code == SQLITE_OK ? SQLITE_ERROR : code;
  };
  if (!memory) {
    std::error_code ec;
    fs::path folder = fs::path(path_).parent_path();
    if (!folder.empty()) fs::create_directories(folder, ec);
    // Remember which file this is, so that a repair never moves a file that
    // another process has meanwhile put in its place.
    struct stat info {};
    existed = ::stat(path_.c_str(), &info) == 0;
    opened_device_ = existed ? info.st_dev : 0;
    opened_inode_ = existed ? info.st_ino : 0;
    if (existed && S_ISDIR(info.st_mode)) return fail(SQLITE_CANTOPEN, "it is a folder", false);
    if (existed && !S_ISREG(info.st_mode))
      return fail(SQLITE_CANTOPEN, "it is not a regular file", false);
    // SQLite would fall back to reading only, or say no more than "unable
    // to open database file"; the system's reason tells the user more.
    int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC | (existed ? 0 : O_CREAT | O_EXCL), 0600);
    if (fd < 0 && !(errno == EEXIST && !existed)) {
      return fail(SQLITE_CANTOPEN, std::strerror(errno), false);
    }
    if (fd >= 0) ::close(fd);  // a new file starts private; SQLite's journals copy its mode
  }
  int rc =
      sqlite3_open_v2(memory ? ":memory:" : path_.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    return fail(rc, sqlite3_errstr(rc), IsDamage(rc));
  }
  sqlite3_busy_handler(db_, &Store::OnBusy, this);
  if (seed) {
    // What the file held, so that a run that had to leave the file keeps the
    // settings it had read. Best effort: without it the store starts empty.
    if (sqlite3_backup* copy = sqlite3_backup_init(db_, "main", seed, "main")) {
      sqlite3_backup_step(copy, -1);
      sqlite3_backup_finish(copy);
    }
  }

  for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL"}) {
    rc = sqlite3_exec(db_, pragma, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(rc, sqlite3_errmsg(db_), IsDamage(rc));
  }

  sqlite3_stmt* check = nullptr;
  rc = sqlite3_prepare_v2(db_, "PRAGMA quick_check", -1, &check, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(check);
    std::string verdict = rc == SQLITE_ROW ? ColumnBytes(check, 0) : std::string();
    sqlite3_finalize(check);
    if (rc != SQLITE_ROW) return fail(rc, sqlite3_errmsg(db_), IsDamage(rc));
    if (verdict != "ok") return fail(SQLITE_CORRUPT, "integrity check: " + verdict, true);
  } else {
    return fail(rc, sqlite3_errmsg(db_), IsDamage(rc));
  }

  // A store that has its tables and hives needs no write to open, so that
  // it can be read while another process holds the write lock.
  bool ready = false;
  sqlite3_stmt* probe = nullptr;
  if (sqlite3_prepare_v2(db_,
                         "SELECT (SELECT count(*) FROM keys WHERE id IN (1, 2)) = 2 AND"
                         " (SELECT count(*) FROM sqlite_master"
                         "  WHERE type = 'table' AND name = 'key_values') = 1",
                         -1, &probe, nullptr) == SQLITE_OK &&
      sqlite3_step(probe) == SQLITE_ROW) {
    ready = sqlite3_column_int(probe, 0) == 1;
  }
  sqlite3_finalize(probe);
  if (!ready) {
    rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      // Tables of the same names but another layout: not a store of ours,
      // and not ours to move aside either.
      std::string why = sqlite3_errmsg(db_);
      if ((rc & 0xFF) == SQLITE_ERROR) why = "not a settings database: " + why;
      return fail(rc, why, IsDamage(rc));
    }
  }

  for (const char* sql : kAllStatements) {
    sqlite3_stmt* statement = nullptr;
    rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    if (rc != SQLITE_OK) {
      std::string why = std::string("not a settings database: ") + sqlite3_errmsg(db_);
      return fail(rc, why, IsDamage(rc));
    }
    statements_[sql] = statement;
  }

  if (!memory && !existed) {
    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0) {
      opened_device_ = info.st_dev;
      opened_inode_ = info.st_ino;
    }
  }
  return SQLITE_OK;
}

int Store::OpenWaitingLocked(bool* damaged, std::string* reason) {
  while (true) {
    int rc = TryOpenLocked(damaged, reason);
    if (!IsBusy(rc) || !WaitForLockLocked()) return rc;
  }
}

void Store::OpenLocked() {
  bool damaged = false;
  std::string reason;
  int rc = OpenWaitingLocked(&damaged, &reason);
  if (rc == SQLITE_OK) return;
  if (damaged) {
    RecoverLocked(reason);
    return;
  }
  FallBackLocked(rc, reason);
}

void Store::FallBackLocked(int sqlite_code, const std::string& reason) {
  if (IsBusy(sqlite_code)) {
    UseMemoryLocked("The registry database " + path_ +
                    " is locked by another process; settings are kept in memory until the "
                    "program ends.");
    return;
  }
  UseMemoryLocked("The registry database " + path_ +
                  " cannot be used; settings are kept in memory until the program ends (" +
                  Shorten(reason) + ").");
}

void Store::UseMemoryLocked(const std::string& message) {
  Report(message);
  // The file's connection, still open when the lock stopped a write, seeds
  // the memory store with what it can read.
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  statements_.clear();
  sqlite3* file = std::exchange(db_, nullptr);
  in_memory_fallback_ = true;
  bool damaged = false;
  std::string again;
  TryOpenLocked(&damaged, &again, file);
  if (file) sqlite3_close(file);
}

void Store::RecoverLocked(const std::string& reason) {
  CloseLocked();
  bool memory = in_memory_fallback_ || path_ == ":memory:";
  // Repairs of several processes take turns, so that the look at the file
  // and the move below are one step: otherwise a second process could move
  // aside the fresh store the first one just made. The lock file itself is
  // never moved.
  RepairLock turn(memory ? std::string() : path_ + ".repair-lock");
  if (!memory) {
    // Move the damaged file aside, unless another process has done so and
    // already put a fresh store in its place.
    struct stat info {};
    bool present = ::stat(path_.c_str(), &info) == 0;
    bool replaced = present && opened_inode_ != 0 &&
                    (info.st_dev != opened_device_ || info.st_ino != opened_inode_);
    if (present && !replaced) {
      std::string aside = path_ + ".corrupt-" + UtcStamp();
      for (int n = 1; ::access(aside.c_str(), F_OK) == 0; ++n)
        aside = path_ + ".corrupt-" + UtcStamp() + "-" + std::to_string(n);
      if (::rename(path_.c_str(), aside.c_str()) == 0) {
        // The journal files belong to the damaged file; left here they would
        // be replayed into the new one.
        for (const char* suffix : {"-wal", "-shm"}) {
          std::string from = path_ + suffix;
          if (::rename(from.c_str(), (aside + suffix).c_str()) != 0) ::unlink(from.c_str());
        }
        Report("The registry database " + path_ + " is damaged; it was moved to " + aside +
               " and a new one was started (" + Shorten(reason) + ").");
      } else {
        Report("The registry database " + path_ + " is damaged and could not be moved aside (" +
               Shorten(reason) + ").");
      }
    }
  }
  bool damaged = false;
  std::string again;
  int rc = OpenWaitingLocked(&damaged, &again);
  if (rc != SQLITE_OK) FallBackLocked(rc, again);
}

template <typename Operation>
int Store::RunLocked(bool write, Operation&& operation) {
  int status = kCantOpen;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!db_) OpenLocked();
    if (!db_) return kCantOpen;
    last_sqlite_error_ = SQLITE_OK;
    // Reads run in a transaction too, so that a path resolved to a key id and
    // the rows read for that id come from one snapshot even while another
    // process deletes and recreates keys.
    int failure = write ? kCantWrite : kCantRead;
    int rc = sqlite3_exec(db_, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      status = FailLocked(rc, failure);
    } else {
      status = operation();
      if (last_sqlite_error_ == SQLITE_OK) {
        rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) status = FailLocked(rc, failure);
      }
      if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    if (IsBusy(last_sqlite_error_) && !in_memory_fallback_) {
      // The lock outlasted what this store may wait in all.
      FallBackLocked(last_sqlite_error_, sqlite3_errstr(last_sqlite_error_));
      continue;
    }
    if (!IsDamage(last_sqlite_error_)) return status;
    RecoverLocked(sqlite3_errstr(last_sqlite_error_));
  }
  return status;
}

int Store::ResolveLocked(Hive hive, const KeyPath& path, bool create, int64_t* id) {
  if (path.status != kSuccess) return path.status;
  int64_t current = HiveId(hive);
  for (size_t i = 0; i < path.names.size(); ++i) {
    {
      StatementUse find(PrepareLocked(kFindKey));
      sqlite3_bind_int64(find.get(), 1, current);
      BindText(find.get(), 2, path.folded[i]);
      int rc = sqlite3_step(find.get());
      if (rc == SQLITE_ROW) {
        current = sqlite3_column_int64(find.get(), 0);
        continue;
      }
      if (rc != SQLITE_DONE) return FailLocked(rc, kCantRead);
    }
    if (!create) return kFileNotFound;
    StatementUse insert(PrepareLocked(kInsertKey));
    sqlite3_bind_int64(insert.get(), 1, current);
    BindText(insert.get(), 2, path.names[i]);
    BindText(insert.get(), 3, path.folded[i]);
    int rc = sqlite3_step(insert.get());
    if (rc != SQLITE_DONE) return FailLocked(rc, kCantWrite);
    current = sqlite3_last_insert_rowid(db_);
  }
  *id = current;
  return kSuccess;
}

int Store::DeleteKeyLocked(Hive hive, const KeyPath& path) {
  if (path.status == kSuccess && path.names.empty()) return kAccessDenied;
  int64_t id = 0;
  int status = ResolveLocked(hive, path, false, &id);
  if (status != kSuccess) return status;
  for (const char* sql : {kDeleteTreeValues, kDeleteTreeKeys}) {
    StatementUse erase(PrepareLocked(sql));
    sqlite3_bind_int64(erase.get(), 1, id);
    int rc = sqlite3_step(erase.get());
    if (rc != SQLITE_DONE) return FailLocked(rc, kCantWrite);
  }
  return kSuccess;
}

int Store::SetValueLocked(Hive hive, const KeyPath& path, const std::string& name,
                          const Value& value) {
  if (name.size() > kMaxValueNameBytes) return kInvalidParameter;
  int64_t id = 0;
  int status = ResolveLocked(hive, path, true, &id);
  if (status != kSuccess) return status;
  StatementUse set(PrepareLocked(kSetValue));
  sqlite3_bind_int64(set.get(), 1, id);
  BindText(set.get(), 2, name);
  BindText(set.get(), 3, FoldName(name));
  sqlite3_bind_int64(set.get(), 4, value.type);
  // A non-null pointer keeps an empty value an empty blob rather than NULL.
  sqlite3_bind_blob(set.get(), 5, value.data.data(), static_cast<int>(value.data.size()),
                    SQLITE_TRANSIENT);
  int rc = sqlite3_step(set.get());
  if (rc != SQLITE_DONE) return FailLocked(rc, kCantWrite);
  return kSuccess;
}

int Store::DeleteValueLocked(Hive hive, const KeyPath& path, const std::string& name) {
  if (name.size() > kMaxValueNameBytes) return kInvalidParameter;
  int64_t id = 0;
  int status = ResolveLocked(hive, path, false, &id);
  if (status != kSuccess) return status;
  StatementUse erase(PrepareLocked(kDeleteValue));
  sqlite3_bind_int64(erase.get(), 1, id);
  BindText(erase.get(), 2, FoldName(name));
  int rc = sqlite3_step(erase.get());
  if (rc != SQLITE_DONE) return FailLocked(rc, kCantWrite);
  return sqlite3_changes(db_) > 0 ? kSuccess : kFileNotFound;
}

int Store::CreateKey(Hive hive, const std::string& key) {
  KeyPath path(key);
  MutexLock lock(&mutex_);
  return RunLocked(true, [&]() OVC_REQUIRES(mutex_) {
    int64_t id = 0;
    return ResolveLocked(hive, path, true, &id);
  });
}

int Store::OpenKey(Hive hive, const std::string& key) {
  KeyPath path(key);
  MutexLock lock(&mutex_);
  return RunLocked(false, [&]() OVC_REQUIRES(mutex_) {
    int64_t id = 0;
    return ResolveLocked(hive, path, false, &id);
  });
}

int Store::DeleteKey(Hive hive, const std::string& key) {
  KeyPath path(key);
  MutexLock lock(&mutex_);
  return RunLocked(true, [&]() OVC_REQUIRES(mutex_) { return DeleteKeyLocked(hive, path); });
}

int Store::SetValue(Hive hive, const std::string& key, const std::string& name,
                    const Value& value) {
  KeyPath path(key);
  MutexLock lock(&mutex_);
  return RunLocked(true, [&]() OVC_REQUIRES(mutex_) { return SetValueLocked(hive, path, name, value); });
}

int Store::QueryValue(Hive hive, const std::string& key, const std::string& name, Value* value) {
  KeyPath path(key);
  MutexLock lock(&mutex_);
  return RunLocked(false, [&]() OVC_REQUIRES(mutex_) {
    int64_t id = 0;
    int status = ResolveLocked(hive, path, false, &id);
    if (status != kSuccess) return status;
    StatementUse find(PrepareLocked(kFindValue));
    sqlite3_bind_int64(find.get(), 1, id);
    BindText(find.get(), 2, FoldName(name));
    int rc = sqlite3_step(find.get());
    if (rc == SQLITE_DONE) return kFileNotFound;
    if (rc != SQLITE_ROW) return FailLocked(rc, kCantRead);
    value->type = static_cast<uint32_t>(sqlite3_column_int64(find.get(), 0));
    value->data = ColumnBytes(find.get(), 1);
    return kSuccess;
  });
}

int Store::DeleteValue(Hive hive, const std::string& key, const std::string& name) {
  KeyPath path(key);
  MutexLock lock(&mutex_);
  return RunLocked(true, [&]() OVC_REQUIRES(mutex_) { return DeleteValueLocked(hive, path, name); });
}

int Store::ListSubkeys(Hive hive, const std::string& key, std::vector<std::string>* names) {
  KeyPath path(key);
  MutexLock lock(&mutex_);
  return RunLocked(false, [&]() OVC_REQUIRES(mutex_) {
    names->clear();
    int64_t id = 0;
    int status = ResolveLocked(hive, path, false, &id);
    if (status != kSuccess) return status;
    StatementUse list(PrepareLocked(kListKeys));
    sqlite3_bind_int64(list.get(), 1, id);
    int rc;
    while ((rc = sqlite3_step(list.get())) == SQLITE_ROW)
      names->push_back(ColumnBytes(list.get(), 0));
    return rc == SQLITE_DONE ? kSuccess : FailLocked(rc, kCantRead);
  });
}

int Store::ListValues(Hive hive, const std::string& key, std::vector<NamedValue>* values) {
  KeyPath path(key);
  MutexLock lock(&mutex_);
  return RunLocked(false, [&]() OVC_REQUIRES(mutex_) {
    values->clear();
    int64_t id = 0;
    int status = ResolveLocked(hive, path, false, &id);
    if (status != kSuccess) return status;
    StatementUse list(PrepareLocked(kListValues));
    sqlite3_bind_int64(list.get(), 1, id);
    int rc;
    while ((rc = sqlite3_step(list.get())) == SQLITE_ROW) {
      NamedValue entry;
      entry.name = ColumnBytes(list.get(), 0);
      entry.value.type = static_cast<uint32_t>(sqlite3_column_int64(list.get(), 1));
      entry.value.data = ColumnBytes(list.get(), 2);
      values->push_back(std::move(entry));
    }
    return rc == SQLITE_DONE ? kSuccess : FailLocked(rc, kCantRead);
  });
}

int Store::Apply(const std::vector<Change>& changes, int* rejected) {
  int refused = 0;
  MutexLock lock(&mutex_);
  int status = RunLocked(true, [&]() OVC_REQUIRES(mutex_) {
    refused = 0;
    for (const Change& change : changes) {
      KeyPath path(change.key);
      int result = kSuccess;
      switch (change.kind) {
        case Change::Kind::kCreateKey: {
          int64_t id = 0;
          result = ResolveLocked(change.hive, path, true, &id);
          break;
        }
        case Change::Kind::kDeleteKey:
          result = DeleteKeyLocked(change.hive, path);
          break;
        case Change::Kind::kSetValue:
          result = SetValueLocked(change.hive, path, change.name, change.value);
          break;
        case Change::Kind::kDeleteValue:
          result = DeleteValueLocked(change.hive, path, change.name);
          break;
      }
      if (last_sqlite_error_ != SQLITE_OK) return result;
      if (result == kInvalidParameter || result == kAccessDenied) ++refused;
    }
    return kSuccess;
  });
  if (rejected) *rejected = refused;
  return status;
}

bool Store::CheckIntegrity() {
  MutexLock lock(&mutex_);
  std::string verdict;
  RunLocked(false, [&]() OVC_REQUIRES(mutex_) {
    sqlite3_stmt* check = nullptr;
    int rc = sqlite3_prepare_v2(db_, "PRAGMA integrity_check", -1, &check, nullptr);
    if (rc == SQLITE_OK && sqlite3_step(check) == SQLITE_ROW) verdict = ColumnBytes(check, 0);
    sqlite3_finalize(check);
    return kSuccess;
  });
  return verdict == "ok";
}

std::string DefaultStorePath() {
  if (const char* path = std::getenv("OVC_REGISTRY"); path && *path) return path;
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    config = xdg;
  else
    config = HomeFolder() + "/.config";
  return config + "/" + kCompanyWord + "/registry.sqlite3";
}

std::shared_ptr<Store> DefaultStore() {
  static Mutex mutex;
  static std::shared_ptr<Store> store OVC_GUARDED_BY(mutex);
  static pid_t owner OVC_GUARDED_BY(mutex) = 0;
  std::string path = DefaultStorePath();
  MutexLock lock(&mutex);
  if (store && owner != ::getpid()) {
    // A forked child must not touch its parent's connection, not even to
    // close it: the handle is dropped without being released.
    new std::shared_ptr<Store>(std::move(store));
  }
  if (!store || store->path() != path) {
    store = std::make_shared<Store>(path);
    owner = ::getpid();
  }
  return store;
}

}  // namespace ovc::registry
