#include "engine/record/output_file_errors.h"

#include <sys/stat.h>

#include "common/message_box.h"
#include "common/trace.h"

namespace ovc {

void ReportCannotCreate(const std::string& path, int system_error, bool existed) {
  TracePrintf("Error: %d. Could not open '%s'\n. FileExist=%d", system_error, path.c_str(),
              existed ? 1 : 0);
  ShowMessageBox(existed ? "Cannot create output file. The file is read-only or being used by "
                           "other applications. \n\nPlease set another output filename under "
                           "File menu.."
                         : "Cannot create output file. Output folder does not exist or you have "
                           "no permission to create files in the output folder. \n\nTry to set "
                           "another output folder under File menu.",
                 MessageKind::kError, kButtonOk, "Error");
}

bool PathExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

}  // namespace ovc
