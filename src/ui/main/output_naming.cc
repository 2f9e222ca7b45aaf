#include "ui/main/output_naming.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace ovc {

namespace {

// The longest file name the file systems take, in bytes.
constexpr size_t kMaxFileNameBytes = 255;
constexpr size_t kMaxExtensionBytes = 15;
constexpr int kLastPspNumber = 99999;

bool IsPlainExtension(const std::string& extension) {
  if (extension.empty() || extension.size() > kMaxExtensionBytes) return false;
  for (char c : extension) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '/' || u < 0x20 || u == 0x7f) return false;
  }
  return true;
}

bool EntryExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

}  // namespace

const char* ContainerExtension(int format) {
  switch (format) {
    case 0:
    case 3:
      return "avi";
    case 1:
      return "wmv";
    case 4:
      return "mpg";
    default:
      return "mp4";
  }
}

std::string OutputExtension(const std::string& fileext, int format) {
  std::string extension = fileext;
  if (!extension.empty() && extension[0] == '.') extension.erase(0, 1);
  return IsPlainExtension(extension) ? extension : ContainerExtension(format);
}


std::string PspFileName(bool h264, int number) {
  char name[32];
  std::snprintf(name, sizeof name, h264 ? "MAQ%05d.MP4" : "M4V%05d.MP4", number);
  return name;
}

int FirstFreePspNumber(const std::string& folder, bool h264, int first) {
  // A PSP lists five digits: the numbers go round rather than grow a
  // sixth. A number is free when neither its video nor its thumbnail is
  // there, so that a conversion never writes over a thumbnail left alone.
  const int start = first < 0 || first > kLastPspNumber ? 0 : first;
  auto taken = [&](int number) {
    const std::string path = folder + "/" + PspFileName(h264, number);
    return EntryExists(path) || EntryExists(path.substr(0, path.size() - 3) + "THM");
  };
  for (int i = 0; i <= kLastPspNumber; ++i) {
    const int number = (start + i) % (kLastPspNumber + 1);
    if (!taken(number)) return number;
  }
  return start;  // every number taken: the overwrite question decides
}

std::string SourceTitle(const std::string& source_path) {
  const size_t slash = source_path.rfind('/');
  if (slash == std::string::npos) return "";
  std::string name = source_path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::string NameWithExtension(const std::string& name, const std::string& extension) {
  const std::string suffix = "." + extension;
  auto lower = [](std::string text) {
    for (char& c : text)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
  };
  if (name.size() > suffix.size() &&
      lower(name.substr(name.size() - suffix.size())) == lower(suffix))
    return name;
  return name + suffix;
}

bool DeriveOutputPath(const std::string& source_path, const std::string& output_path,
                      const OutputNaming& naming, DerivedOutput* out) {
  const size_t slash = output_path.rfind('/');
  const bool chosen = !naming.chosen_name.empty() && !naming.psp_file;
  if (slash == std::string::npos || (!chosen && source_path.find('/') == std::string::npos))
    return false;
  const std::string folder = output_path.substr(0, slash);
  const std::string title = SourceTitle(source_path);

  DerivedOutput derived;
  derived.title = title;
  derived.file_number = naming.file_number;
  std::string file_name;
  if (naming.psp_file) {
    derived.file_number = FirstFreePspNumber(folder, naming.h264, naming.file_number);
    file_name = PspFileName(naming.h264, derived.file_number);
  } else if (chosen) {
    file_name =
        NameWithExtension(naming.chosen_name, OutputExtension(naming.fileext, naming.format));
    if (file_name.size() > kMaxFileNameBytes) return false;
  } else {
    const std::string suffix = "." + OutputExtension(naming.fileext, naming.format);
    // The title gives way so that the name and the path stay openable.
    const size_t path_room = kMaxOutputPathBytes - std::min(kMaxOutputPathBytes, folder.size() + 1);
    size_t room = std::min(path_room, kMaxFileNameBytes);
    room = room > suffix.size() ? room - suffix.size() : 0;
    std::string base = CutUtf8(title, room);
    if (base.empty() && !title.empty()) return false;
    file_name = base + suffix;
  }
  derived.path = folder + "/" + file_name;
  if (derived.path.size() > kMaxOutputPathBytes) return false;
  *out = std::move(derived);
  return true;
}

std::string ComposedOutputPath(const std::string& folder_text, const std::string& output_path,
                               int format, const std::string& home_folder) {
  std::string folder = folder_text.empty() ? home_folder : folder_text;
  if (!folder.empty() && folder.back() == '/') folder.pop_back();
  const size_t slash = output_path.rfind('/');
  if (slash != std::string::npos) return folder + output_path.substr(slash);
  return folder + "/" + UntitledFileName(format);
}

}  // namespace ovc
