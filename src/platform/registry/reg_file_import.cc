#include "platform/registry/reg_file_import.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "common/trace.h"

namespace ovc::registry {
namespace {

constexpr uintmax_t kMaxScriptBytes = 64u << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool StartsWithFolded(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsFolded(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One to eight hex digits and nothing else.
std::optional<uint32_t> ParseHex32(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  return value;
}

void AppendUtf8(std::string* out, uint32_t code_point) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

// UTF-16LE to UTF-8; an unpaired surrogate becomes U+FFFD, an odd last byte
// is dropped.
std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t units = bytes.size() / 2;
  auto unit_at = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[2 * i])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(bytes[2 * i + 1])) << 8);
  };
  for (size_t i = 0; i < units; ++i) {
    uint32_t unit = unit_at(i);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
      uint32_t low = unit_at(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(&out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(&out, (unit >= 0xD800 && unit <= 0xDFFF) ? 0xFFFD : unit);
  }
  return out;
}

std::string DecodeScript(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
      static_cast<uint8_t>(bytes[1]) == 0xFE) {
    return Utf16LeToUtf8(bytes.substr(2));
  }
  if (bytes.size() >= 3 && static_cast<uint8_t>(bytes[0]) == 0xEF &&
      static_cast<uint8_t>(bytes[1]) == 0xBB && static_cast<uint8_t>(bytes[2]) == 0xBF) {
    bytes.remove_prefix(3);
  }
  return std::string(bytes);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// Reads a quoted string at the start of *text (which starts with '"'),
// undoing the \\ and \" escapes, and removes it from *text.
std::optional<std::string> TakeQuoted(std::string_view* text) {
  std::string out;
  size_t i = 1;
  while (i < text->size()) {
    char c = (*text)[i];
    if (c == '"') {
      text->remove_prefix(i + 1);
      return out;
    }
    if (c == '\\') {
      if (i + 1 >= text->size()) return std::nullopt;
      char escaped = (*text)[i + 1];
      if (escaped != '\\' && escaped != '"') return std::nullopt;
      out.push_back(escaped);
      i += 2;
      continue;
    }
    out.push_back(c);
    ++i;
  }
  return std::nullopt;  // no closing quote
}

// A comma-separated list of bytes, each one or two hex digits; blanks around
// them and one trailing comma are allowed.
std::optional<std::string> ParseHexList(std::string_view list) {
  std::string bytes;
  list = Trim(list);
  if (list.empty()) return bytes;
  size_t start = 0;
  while (true) {
    size_t comma = list.find(',', start);
    std::string_view item = Trim(list.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    bool last = comma == std::string_view::npos;
    if (item.empty()) {
      // Only a single trailing comma may leave an empty item.
      if (last && start > 0) return bytes;
      return std::nullopt;
    }
    if (item.size() > 2) return std::nullopt;
    int high = HexDigit(item[0]);
    int low = item.size() == 2 ? HexDigit(item[1]) : 0;
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(item.size() == 2 ? (high << 4) | low : high));
    if (last) return bytes;
    start = comma + 1;
  }
}

struct Section {
  bool usable = false;
  Hive hive = Hive::kCurrentUser;
  std::string key;
};

// "[HIVE\path]" or "[-HIVE\path]"; false when the hive is unknown.
bool ParseSection(std::string_view inside, Section* section, bool* deletion) {
  *deletion = !inside.empty() && inside.front() == '-';
  if (*deletion) inside.remove_prefix(1);
  size_t slash = inside.find('\\');
  std::string_view hive_name = inside.substr(0, slash);
  if (EqualsFolded(hive_name, "HKEY_CURRENT_USER") || EqualsFolded(hive_name, "HKCU")) {
    section->hive = Hive::kCurrentUser;
  } else if (EqualsFolded(hive_name, "HKEY_LOCAL_MACHINE") || EqualsFolded(hive_name, "HKLM")) {
    section->hive = Hive::kLocalMachine;
  } else {
    return false;
  }
  section->key =
      slash == std::string_view::npos ? std::string() : std::string(inside.substr(slash + 1));
  return true;
}

// The value part of a line after '='; false when it does not parse.
bool ParseData(std::string_view data, Change* change) {
  data = Trim(data);
  if (data == "-") {
    change->kind = Change::Kind::kDeleteValue;
    return true;
  }
  change->kind = Change::Kind::kSetValue;
  if (!data.empty() && data.front() == '"') {
    std::optional<std::string> text = TakeQuoted(&data);
    if (!text || !Trim(data).empty()) return false;
    change->value = TextValue(*text);
    return true;
  }
  if (StartsWithFolded(data, "dword:")) {
    std::optional<uint32_t> number = ParseHex32(data.substr(6));
    if (!number) return false;
    change->value = DwordValue(*number);
    return true;
  }
  uint32_t type = kRegBinary;
  if (StartsWithFolded(data, "hex:")) {
    data.remove_prefix(4);
  } else if (StartsWithFolded(data, "hex(")) {
    size_t close = data.find(')');
    if (close == std::string_view::npos || close + 1 >= data.size() || data[close + 1] != ':')
      return false;
    std::optional<uint32_t> number = ParseHex32(data.substr(4, close - 4));
    if (!number) return false;
    type = *number;
    data.remove_prefix(close + 2);
  } else {
    return false;
  }
  std::optional<std::string> bytes = ParseHexList(data);
  if (!bytes) return false;
  change->value = Value{type, std::move(*bytes)};
  return true;
}

bool IsHexData(std::string_view data) {
  data = TrimLeft(data);
  return StartsWithFolded(data, "hex:") || StartsWithFolded(data, "hex(");
}

}  // namespace

RegScript ParseRegScript(std::string_view bytes) {
  RegScript script;
  std::string text = DecodeScript(bytes);
  std::vector<std::string_view> lines = SplitLines(text);

  size_t index = 0;
  while (index < lines.size() && Trim(lines[index]).empty()) ++index;
  if (index == lines.size()) {
    script.status = kInvalidData;
    return script;
  }
  std::string_view header = Trim(lines[index]);
  if (header != "REGEDIT4" && header != "Windows Registry Editor Version 5.00") {
    script.status = kInvalidData;
    return script;
  }
  ++index;

  Section section;
  for (; index < lines.size(); ++index) {
    std::string_view line = Trim(lines[index]);
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '[') {
      bool deletion = false;
      Section next;
      if (line.back() != ']' || line.size() < 2 ||
          !ParseSection(line.substr(1, line.size() - 2), &next, &deletion)) {
        ++script.malformed_lines;
        section = Section();
        continue;
      }
      Change change;
      change.kind = deletion ? Change::Kind::kDeleteKey : Change::Kind::kCreateKey;
      change.hive = next.hive;
      change.key = next.key;
      script.changes.push_back(std::move(change));
      // Values after a deletion have no key to go to.
      next.usable = !deletion;
      section = std::move(next);
      continue;
    }

    if (line.front() != '"' && line.front() != '@') {
      ++script.malformed_lines;
      continue;
    }

    Change change;
    std::string_view rest = line;
    bool name_ok = true;
    if (rest.front() == '@') {
      rest.remove_prefix(1);
    } else {
      std::optional<std::string> name = TakeQuoted(&rest);
      if (name)
        change.name = std::move(*name);
      else
        name_ok = false;
    }
    rest = TrimLeft(rest);
    name_ok = name_ok && !rest.empty() && rest.front() == '=';
    if (name_ok) rest.remove_prefix(1);

    // A hex list may go on over lines that end in a backslash; the whole
    // list is one logical line.
    std::string joined;
    if (name_ok && IsHexData(rest)) {
      joined = std::string(TrimRight(rest));
      while (!joined.empty() && joined.back() == '\\' && index + 1 < lines.size()) {
        joined.pop_back();
        ++index;
        joined += Trim(lines[index]);
      }
      if (!joined.empty() && joined.back() == '\\') joined.pop_back();
      rest = joined;
    }

    if (!name_ok || !section.usable || !ParseData(rest, &change)) {
      ++script.malformed_lines;
      continue;
    }
    change.hive = section.hive;
    change.key = section.key;
    script.changes.push_back(std::move(change));
  }
  return script;
}

int ImportRegFile(const std::string& file, Store& store, int* malformed_lines) {
  if (malformed_lines) *malformed_lines = 0;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return kFileNotFound;
  uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec) return kFileNotFound;
  if (size > kMaxScriptBytes) {
    TracePrintf("Registry import of %s: file of %ju bytes is too large", file.c_str(), size);
    return kInvalidData;
  }
  std::unique_ptr<FILE, int (*)(FILE*)> input(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (!input) return kFileNotFound;
  std::string bytes(static_cast<size_t>(size), '\0');
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), input.get()));

  RegScript script = ParseRegScript(bytes);
  if (script.status != kSuccess) {
    TracePrintf("Registry import of %s: not a registry script", file.c_str());
    return script.status;
  }
  int rejected = 0;
  int status = store.Apply(script.changes, &rejected);
  int skipped = script.malformed_lines + rejected;
  if (malformed_lines) *malformed_lines = skipped;
  TracePrintf("Registry import of %s: %zu changes, %d malformed lines skipped, status %d",
              file.c_str(), script.changes.size() - static_cast<size_t>(rejected), skipped, status);
  return status;
}

int ImportRegFile(const std::string& file) {
  std::shared_ptr<Store> store = DefaultStore();
  return ImportRegFile(file, *store);
}

}  // namespace ovc::registry
