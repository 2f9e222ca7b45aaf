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

std::string CutUtf8(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  // Step back over continuation bytes (10xxxxxx) so the character whose
  // lead byte would be cut off goes as a whole.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string LimitOutputPath(const std::string& path) { return CutUtf8(path, kMaxOutputPathBytes); }

std::string UntitledFileName(int format) {
  switch (format) {
    case 0:
    case 3:
      return "untitled.avi";
    case 1:
      return "untitled.wmv";
    case 4:
      return "untitled.mpg";
    case 5:
      return "untitled.vob";
    case 6:
      return "untitled.3gp";
    case 7:
      return "untitled.mov";
    default:
      return "untitled.mp4";
  }
}

}  // namespace ovc
