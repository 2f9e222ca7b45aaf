#include "common/trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <algorithm>
#include <cstdio>

#include "common/paths.h"
#include "common/tick_count.h"

namespace ovc {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Appends the whole buffer with one write(2); O_APPEND makes the kernel place
// it at the end of the file atomically with respect to other appenders. A
// link in the log's place is not followed: whoever planted it would have the
// program append to a file of their choosing.
bool AppendLine(const std::string& path, const std::string& line) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ssize_t written;
  do {
    written = write(fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  close(fd);
  return written == static_cast<ssize_t>(line.size());
}

}  // namespace

std::string TraceLogPath() { return TempFolder() + "/" + kCompanyWord + ".elog"; }

std::string ScrambleTraceLine(std::string_view message, uint32_t tick) {
  std::string line;
  line.reserve(8 + 2 * message.size());
  for (int shift = 28; shift >= 0; shift -= 4) line.push_back(kHexDigits[(tick >> shift) & 0xF]);
  uint8_t key = static_cast<uint8_t>(tick & 0xFF) ^ kTraceKeySeed;
  for (char c : message) {
    uint8_t plain = static_cast<uint8_t>(c);
    uint8_t scrambled = plain ^ key;
    line.push_back(kHexDigits[scrambled >> 4]);
    line.push_back(kHexDigits[scrambled & 0xF]);
    key ^= plain;
  }
  return line;
}

bool UnscrambleTraceLine(std::string_view line, uint32_t* tick, std::string* message) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.size() < 8 || line.size() % 2 != 0) return false;
  uint32_t value = 0;
  for (size_t i = 0; i < 8; ++i) {
    int digit = HexValue(line[i]);
    if (digit < 0) return false;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  std::string plain_text;
  plain_text.reserve((line.size() - 8) / 2);
  uint8_t key = static_cast<uint8_t>(value & 0xFF) ^ kTraceKeySeed;
  for (size_t i = 8; i < line.size(); i += 2) {
    int high = HexValue(line[i]);
    int low = HexValue(line[i + 1]);
    if (high < 0 || low < 0) return false;
    uint8_t plain = static_cast<uint8_t>((high << 4) | low) ^ key;
    plain_text.push_back(static_cast<char>(plain));
    key ^= plain;
  }
  *tick = value;
  *message = std::move(plain_text);
  return true;
}

void WriteTraceLine(std::string_view message) {
  std::string line = ScrambleTraceLine(message, TickCount());
  line.push_back('\n');
  if (AppendLine(TraceLogPath(), line)) return;
  AppendLine(ProgramFolder() + "/" + kCompanyWord + ".elog", line);
}

void TracePrintf(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length < 0) return;
  WriteTraceLine(std::string_view(buffer, std::min<size_t>(length, sizeof buffer - 1)));
}

}  // namespace ovc
