#pragma once

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace ovc::test {

// Another process that holds an exclusive lock on a database until this
// object is destroyed. On a store in WAL mode others can still read; on a
// file in rollback mode the lock keeps readers out too. The test binary
// links SQLite.
class DatabaseLock {
 public:
  explicit DatabaseLock(const std::string& path) {
    int ready[2], release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(release[1]);
      sqlite3* db = nullptr;
      char ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
      if (write(ready[1], &ok, 1) != 1) _exit(1);
      char byte;
      while (read(release[0], &byte, 1) > 0) {
      }
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    char ok = 0;
    locked_ = read(ready[0], &ok, 1) == 1 && ok;
    close(ready[0]);
  }
  DatabaseLock(const DatabaseLock&) = delete;
  DatabaseLock& operator=(const DatabaseLock&) = delete;
  ~DatabaseLock() {
    if (release_ >= 0) close(release_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  bool locked() const { return locked_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool locked_ = false;
};

}  // namespace ovc::test
