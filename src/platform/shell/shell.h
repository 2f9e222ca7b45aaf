#pragma once

#include <string>
#include <utility>

namespace ovc {

// Opens files and folders the way the desktop does: a folder in the file
// manager, a video in the user's player, an address in the browser.
class Shell {
 public:
  virtual ~Shell() = default;

  // Opens `path` (a file, a folder or an address) with its default program
  // and returns at once. Returns whether the opener started; whether the
  // program then copes with the path is not known here. Callers do not
  // report failures to the user.
  virtual bool Open(const std::string& path) = 0;
};

// Shell through the desktop's opener program (xdg-open): started detached,
// never waited for, the path handed over as one argument.
class XdgShell : public Shell {
 public:
  // `program` is the opener to run, by name or path; tests point it at a
  // stand-in.
  explicit XdgShell(std::string program = "xdg-open") : program_(std::move(program)) {}

  // An empty path opens nothing (false). A path that starts with '-' is
  // passed as "./-…" so that the opener cannot read it as an option.
  bool Open(const std::string& path) override;

 private:
  std::string program_;
};

}  // namespace ovc
