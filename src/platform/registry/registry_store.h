#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/mutex.h"
#include "platform/registry/registry_types.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ovc::registry {

// One change of a batch applied by Store::Apply.
struct Change {
  enum class Kind {
    kCreateKey,    // create the key and its missing ancestors
    kDeleteKey,    // delete the key with all its subkeys and values
    kSetValue,     // set a value, creating the key when missing
    kDeleteValue,  // delete one value of the key
  };
  Kind kind = Kind::kCreateKey;
  Hive hive = Hive::kCurrentUser;
  std::string key;
  std::string name;  // kSetValue and kDeleteValue: the value's name, "" = default value
  Value value;       // kSetValue
};

// A hierarchical key/value store kept in one SQLite database file.
//
// Key paths are relative to a hive and use '\' between key names; empty
// names (a leading, trailing or doubled '\') are ignored, so "" is the hive
// itself. Key and value names compare without regard to ASCII case and keep
// the spelling used when they were created. A key name holds at most 255
// bytes, a value name at most 16383, and keys nest at most 512 deep.
//
// Every change runs in a transaction of its own (a batch in one), in WAL mode
// with full syncs, so several processes may share the file and a process
// killed mid-write loses none of its committed changes. A new file is made
// with mode 0600.
//
// Locks of other processes are waited for, but for no more than the busy
// budget in all over the store's life. A lock that outlasts it is reported
// once (stderr and the trace log) and the store goes on in memory for the
// rest of the run, starting from what it could still read from the file.
//
// A file that SQLite reports as damaged (SQLITE_CORRUPT, SQLITE_NOTADB or a
// failed integrity check) is reported once, renamed to
// "<file>.corrupt-<UTC time stamp>" in the same folder, and replaced by a new
// empty store. A file that cannot be used for any other reason (no
// permission, a folder or another program's database in its place) is left
// alone: the store reports the path and the reason once and keeps its data in
// memory for the rest of the run, as it does when not even a new file can be
// created.
//
// Thread-safe: one mutex serialises every use of the connection.
class Store {
 public:
  // Opens the database at `path`, creating it and its folders when missing.
  // ":memory:" gives a private store that lives as long as this object.
  // `busy_budget`: the longest this store waits for other processes' locks,
  // summed over all its calls.
  static constexpr std::chrono::milliseconds kDefaultBusyBudget{8000};
  explicit Store(std::string path, std::chrono::milliseconds busy_budget = kDefaultBusyBudget);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  const std::string& path() const { return path_; }

  // kSuccess when the key exists (or was created), kFileNotFound when it
  // does not (OpenKey).
  int CreateKey(Hive hive, const std::string& key);
  int OpenKey(Hive hive, const std::string& key);
  // Deletes the key, its subkeys and all their values. kFileNotFound when
  // the key is missing, kAccessDenied for the hive itself.
  int DeleteKey(Hive hive, const std::string& key);

  // Sets a value, creating the key and its missing ancestors first.
  int SetValue(Hive hive, const std::string& key, const std::string& name, const Value& value);
  // kFileNotFound when the key or the value is missing.
  int QueryValue(Hive hive, const std::string& key, const std::string& name, Value* value);
  int DeleteValue(Hive hive, const std::string& key, const std::string& name);

  // Names in their stored spelling, sorted by their folded form.
  int ListSubkeys(Hive hive, const std::string& key, std::vector<std::string>* names);
  int ListValues(Hive hive, const std::string& key, std::vector<NamedValue>* values);

  // Applies the changes in order in one transaction. Deleting a missing key or
  // value is no error; a change with an invalid key path or name is skipped
  // and counted in *rejected. Returns kSuccess or the database failure.
  int Apply(const std::vector<Change>& changes, int* rejected = nullptr);

  // Runs SQLite's full integrity check; true when it reports "ok".
  bool CheckIntegrity();

 private:
  struct KeyPath;
  class StatementUse;

  void OpenLocked() OVC_REQUIRES(mutex_);
  void CloseLocked() OVC_REQUIRES(mutex_);
  // Opens path_ as it is (or memory, after a fall-back); returns SQLITE_OK
  // or the failing SQLite code and sets *damaged when SQLite finds the file
  // damaged. `seed`, when given, is a connection whose database is copied
  // into a new memory store.
  int TryOpenLocked(bool* damaged, std::string* reason, sqlite3* seed = nullptr) OVC_REQUIRES(mutex_);
  // TryOpenLocked, repeated while another process holds a lock and the busy
  // budget lasts: SQLite reports the locks taken while a file is created or
  // switched to WAL at once, without waiting.
  int OpenWaitingLocked(bool* damaged, std::string* reason) OVC_REQUIRES(mutex_);
  // SQLite's busy handler: waits a little and charges it to the budget; 0
  // once the budget is spent.
  static int OnBusy(void* store, int attempts);
  bool WaitForLockLocked() OVC_REQUIRES(mutex_);
  // After a failure that is not damage (a lock that outlasted the budget, a
  // file that cannot be used): reports it and switches to a memory store.
  void FallBackLocked(int sqlite_code, const std::string& reason) OVC_REQUIRES(mutex_);
  void UseMemoryLocked(const std::string& message) OVC_REQUIRES(mutex_);
  void RecoverLocked(const std::string& reason) OVC_REQUIRES(mutex_);
  sqlite3_stmt* PrepareLocked(const char* sql) OVC_REQUIRES(mutex_);
  // Runs one operation with the store open, inside one transaction (a write
  // transaction when `write`). Damage found on the way is repaired and the
  // operation retried once on the fresh store.
  template <typename Operation>
  int RunLocked(bool write, Operation&& operation) OVC_REQUIRES(mutex_);
  int ResolveLocked(Hive hive, const KeyPath& path, bool create, int64_t* id) OVC_REQUIRES(mutex_);
  int DeleteKeyLocked(Hive hive, const KeyPath& path) OVC_REQUIRES(mutex_);
  int SetValueLocked(Hive hive, const KeyPath& path, const std::string& name, const Value& value) OVC_REQUIRES(mutex_);
  int DeleteValueLocked(Hive hive, const KeyPath& path, const std::string& name) OVC_REQUIRES(mutex_);
  // Maps a failed SQLite call to a status and remembers its code.
  int FailLocked(int sqlite_code, int status) OVC_REQUIRES(mutex_);

  const std::string path_;
  const std::chrono::steady_clock::duration busy_budget_;
  Mutex mutex_;
  sqlite3* db_ OVC_GUARDED_BY(mutex_) = nullptr;
  std::map<const char*, sqlite3_stmt*> statements_ OVC_GUARDED_BY(mutex_);
  int last_sqlite_error_ OVC_GUARDED_BY(mutex_) = 0;
  bool in_memory_fallback_ OVC_GUARDED_BY(mutex_) = false;
  std::chrono::steady_clock::duration busy_waited_ OVC_GUARDED_BY(mutex_){};
  // Identity of the file last opened; 0 = none.
  dev_t opened_device_ OVC_GUARDED_BY(mutex_) = 0;
  ino_t opened_inode_ OVC_GUARDED_BY(mutex_) = 0;
};

// The database file: $OVC_REGISTRY, else
// ${XDG_CONFIG_HOME:-~/.config}/Orvane/registry.sqlite3.
std::string DefaultStorePath();

// The process-wide store at DefaultStorePath(). The path is looked up on
// every call; when it changed (or the process forked) a new store is opened.
// Holders of an older store may keep using it until they let it go.
std::shared_ptr<Store> DefaultStore();

}  // namespace ovc::registry
