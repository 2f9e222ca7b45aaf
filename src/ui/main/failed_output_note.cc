#include "ui/main/failed_output_note.h"

#include <sys/stat.h>

namespace ovc {

std::string FailedOutputNote(const std::vector<std::string>& parts) {
  std::vector<std::string> kept;
  for (const std::string& path : parts) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) kept.push_back(path);
  }
  std::string note = "the conversion stopped at the failure; ";
  if (kept.empty()) return note + "no file of it was kept";
  for (size_t i = 0; i < kept.size(); ++i) note += (i == 0 ? "" : ", ") + kept[i];
  return note + (kept.size() == 1 ? " holds" : " hold") +
         " the part converted before the failure";
}

}  // namespace ovc
