#pragma once

#include <string>

#include "platform/shell/shell.h"

namespace ovc {

// Shell through the desktop's own services (QDesktopServices): a folder
// opens in the file manager, a file in its default program, an address
// ("http://…", "mailto:…") in the browser. GUI thread only.
class QtShell final : public Shell {
 public:
  // False for an empty path or when the desktop found nothing to open it
  // with: where the desktop's xdg-open does the opening, it reports a
  // missing program only on its terminal, so the desktop's default program
  // for the kind of file (or address) is looked up first.
  bool Open(const std::string& path) override;
};

// What QtShell hands to the desktop: an address with a scheme as it is,
// anything else as a local file (relative paths taken from the working
// directory).
bool LooksLikeAddress(const std::string& target);

}  // namespace ovc
