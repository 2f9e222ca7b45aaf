#include "platform/shell/shell.h"

#include "platform/shell/process.h"

namespace ovc {

bool XdgShell::Open(const std::string& path) {
  if (path.empty()) return false;
  std::string argument = path.front() == '-' ? "./" + path : path;
  return StartDetached({program_, argument});
}

}  // namespace ovc
