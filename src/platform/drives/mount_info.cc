#include "platform/drives/mount_info.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace ovc {
namespace fs = std::filesystem;

namespace {

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// Splits a line at spaces; mountinfo never has empty fields.
std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t pos = 0;
  while (pos < line.size()) {
    size_t end = line.find(' ', pos);
    if (end == std::string_view::npos) end = line.size();
    if (end > pos) fields.push_back(line.substr(pos, end - pos));
    pos = end + 1;
  }
  return fields;
}

bool ParseNumber(std::string_view text, unsigned* value) {
  if (text.empty() || text.size() > 9) return false;
  unsigned result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<unsigned>(c - '0');
  }
  *value = result;
  return true;
}

bool ParseLine(std::string_view line, MountEntry* entry) {
  std::vector<std::string_view> fields = SplitFields(line);
  // At least: id parent maj:min root point options - type source.
  if (fields.size() < 9) return false;
  size_t separator = 6;
  while (separator < fields.size() && fields[separator] != "-") ++separator;
  if (separator + 2 >= fields.size()) return false;

  std::string_view device = fields[2];
  size_t colon = device.find(':');
  if (colon == std::string_view::npos) return false;
  if (!ParseNumber(device.substr(0, colon), &entry->major) ||
      !ParseNumber(device.substr(colon + 1), &entry->minor))
    return false;
  entry->root = UnescapeMountField(fields[3]);
  entry->mount_point = UnescapeMountField(fields[4]);
  entry->fs_type = UnescapeMountField(fields[separator + 1]);
  entry->source = UnescapeMountField(fields[separator + 2]);
  return true;
}

}  // namespace

std::string UnescapeMountField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
        IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
      int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      if (value <= 0xFF) {
        out.push_back(static_cast<char>(value));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> entries;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    MountEntry entry;
    if (ParseLine(text.substr(pos, end - pos), &entry)) entries.push_back(std::move(entry));
    pos = end + 1;
  }
  return entries;
}

bool IsRemovableBlockDevice(unsigned major, unsigned minor, const std::string& sysfs_root) {
  if (major == 0) return false;  // anonymous devices: proc, tmpfs, overlays, FUSE
  std::error_code ec;
  fs::path device = fs::canonical(
      fs::path(sysfs_root) / "dev" / "block" / (std::to_string(major) + ":" + std::to_string(minor)),
      ec);
  if (ec) return false;
  fs::path disk = fs::exists(device / "partition", ec) ? device.parent_path() : device;
  std::ifstream in(disk / "removable");
  int removable = 0;
  return (in >> removable) && removable == 1;
}

std::string VolumeLabel(const std::string& device, const std::string& by_label_dir) {
  std::error_code ec;
  const fs::path target = fs::canonical(device, ec);
  if (ec) return std::string();
  for (fs::directory_iterator it(by_label_dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code link_ec;
    if (fs::canonical(it->path(), link_ec) != target || link_ec) continue;
    // udev writes unsafe bytes of a label as \xHH ("MY\x20STICK").
    const std::string name = it->path().filename().string();
    std::string label;
    for (size_t i = 0; i < name.size(); ++i) {
      if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
          std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
          std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
        label.push_back(static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16)));
        i += 3;
      } else {
        label.push_back(name[i]);
      }
    }
    return label;
  }
  return std::string();
}

}  // namespace ovc
