#include "engine/record/output_file_errors.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

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

std::string WriteFailureReason(int system_error) {
  switch (system_error) {
    case ENOSPC:
      return "There is no space left on the device.";
    case EDQUOT:
      return "The disk quota is used up.";
    case EFBIG:
      return "The file has grown as large as the system allows.";
    case ENOENT:
    case ENOTDIR:
    case ESTALE:
      return "The file or its folder is no longer there.";
    case EROFS:
      return "The device has become read-only.";
    case EIO:
      return "The device reported an input/output error.";
    default: {
      std::string text = std::strerror(system_error);
      return text + ".";
    }
  }
}

std::string WriteFailureText(const std::string& what, const std::string& path,
                             int system_error) {
  return what + "\n\n" + path + "\n" + WriteFailureReason(system_error);
}

bool IsFileWriteError(int av_error, int* system_error) {
  if (av_error >= 0) return false;
  switch (-av_error) {  // AVERROR(e) is -e on this system
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case ENOENT:
    case ENOTDIR:
    case ESTALE:
    case EROFS:
    case EIO:
      if (system_error) *system_error = -av_error;
      return true;
    default:
      return false;
  }
}

}  // namespace ovc
