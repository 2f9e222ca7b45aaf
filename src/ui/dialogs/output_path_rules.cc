#include "ui/dialogs/output_path_rules.h"

namespace ovc {

const char* SaveFilterForFormat(int format) {
  switch (format) {
    case 0:
    case 3:
      return "AVI|*.avi";
    case 1:
      return "WMV|*.wmv";
    case 2:
      return "MP4|*.mp4";
    case 6:
      return "3gp|*.3gp";
    default:
      return nullptr;
  }
}

std::string FilePartOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(slash);
}

std::string FolderPartOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(0, slash);
}

std::string LimitOutputPath(const std::string& path) {
  if (path.size() <= kMaxOutputPathBytes) return path;
  size_t cut = kMaxOutputPathBytes;
  // Step back over continuation bytes (10xxxxxx) so the character whose
  // lead byte would be cut off goes as a whole.
  while (cut > 0 && (static_cast<unsigned char>(path[cut]) & 0xC0) == 0x80) --cut;
  return path.substr(0, cut);
}

}  // namespace ovc
