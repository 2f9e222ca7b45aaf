#pragma once

#include <string>

namespace ovc {

// What a save-file dialog offers. `filter` is "Description|*.ext" (several
// pairs may follow, each separated by '|'); empty offers every file.
struct SaveFileRequest {
  std::string filter;
  std::string default_extension;  // without the '.', added when the user types none
  std::string initial_path;       // the file the dialog starts on; may be empty
  // Asks for a folder instead of a file (filter and extension unused).
  bool pick_folder = false;
};

// The system's save-file dialog, shown modally. The desktop program shows
// its own dialog; tests answer from a script.
class SaveFileDialog {
 public:
  virtual ~SaveFileDialog() = default;

  // Runs the dialog. Returns true and sets *chosen when the user confirmed a
  // file; returns false and leaves *chosen untouched when the dialog was
  // cancelled.
  virtual bool Run(const SaveFileRequest& request, std::string* chosen) = 0;
};

}  // namespace ovc
