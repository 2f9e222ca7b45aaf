#include "common/fuzz/translation_table_fuzz.h"

#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <string_view>

#include "common/translate.h"

namespace ovc::test {
namespace {

// One memory-backed file for the whole run, rewritten for every input, so
// the reader sees a real path and the fuzzer never touches the disk.
int InputFile() {
  static const int fd = memfd_create("lang_eng.txt", MFD_CLOEXEC);
  return fd;
}

bool WriteInput(const uint8_t* data, size_t size) {
  int fd = InputFile();
  if (fd < 0 || ftruncate(fd, 0) != 0) return false;
  size_t written = 0;
  while (written < size) {
    ssize_t n = pwrite(fd, data + written, size - written, static_cast<off_t>(written));
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

std::string WithoutTrailing(std::string text, std::string_view characters) {
  while (!text.empty() && characters.find(text.back()) != std::string_view::npos) text.pop_back();
  return text;
}

std::map<std::string, std::string> ExpectedTable(std::string_view bytes) {
  constexpr size_t kPiece = 1023;  // bytes per read, the line feed included
  std::map<std::string, std::string> table;
  bool in_entry = false;
  std::string key;
  std::string text;
  auto close_entry = [&] {
    if (in_entry) table[key] = WithoutTrailing(text, "\n\f");
  };
  size_t at = 0;
  while (at < bytes.size()) {
    size_t line_end = bytes.find('\n', at);
    size_t end = line_end == std::string_view::npos ? bytes.size() : line_end + 1;
    if (end - at > kPiece) end = at + kPiece;
    std::string_view piece = bytes.substr(at, end - at);
    at = end;
    piece = piece.substr(0, piece.find('\0'));
    if (!piece.empty() && piece[0] == '@') {
      close_entry();
      key = WithoutTrailing(std::string(piece.substr(1)), " \t\r\n");
      in_entry = true;
      text.clear();
    } else if (in_entry) {
      text += '\n';
      text += piece;
    }
  }
  close_entry();
  return table;
}

std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text.substr(0, 60)) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return text.size() > 60 ? out + "..." : out;
}

}  // namespace

std::string CheckTranslationTable(const uint8_t* data, size_t size) {
  if (!WriteInput(data, size)) return "cannot write the in-memory input file";
  const std::string path = "/proc/self/fd/" + std::to_string(InputFile());
  std::map<std::string, std::string> read = LoadTranslationTable(path);
  std::map<std::string, std::string> expected =
      ExpectedTable(std::string_view(reinterpret_cast<const char*>(data), size));
  if (read == expected) return "";

  if (read.size() != expected.size())
    return "read " + std::to_string(read.size()) + " entries, expected " +
           std::to_string(expected.size());
  for (auto r = read.begin(), e = expected.begin(); r != read.end(); ++r, ++e) {
    if (r->first != e->first)
      return "key \"" + Printable(r->first) + "\", expected \"" + Printable(e->first) + "\"";
    if (r->second != e->second)
      return "text of \"" + Printable(r->first) + "\" is \"" + Printable(r->second) +
             "\", expected \"" + Printable(e->second) + "\"";
  }
  return "tables differ";
}

}  // namespace ovc::test
