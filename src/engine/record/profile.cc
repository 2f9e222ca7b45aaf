#include "engine/record/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include "common/paths.h"
#include "engine/record/output_config.h"
#include "engine/record/wmv_codec_list.h"

namespace ovc {

namespace {

// White space as the C locale's isspace sees it.
constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool IsSeparator(char c) { return c == '=' || c == ',' || c == '{' || c == '}'; }

// Splits one line (without its line end) into tokens. Empty tokens (only a
// quoted "" can be empty) are kept here; the caller decides which count.
std::vector<std::string_view> SplitLine(std::string_view line) {
  std::vector<std::string_view> tokens;
  size_t pos = 0;
  while (true) {
    while (pos < line.size() && (IsSpace(line[pos]) || IsSeparator(line[pos]))) ++pos;
    if (pos >= line.size()) break;
    if (line[pos] == '"') {
      size_t start = pos + 1;
      size_t close = line.find('"', start);
      if (close == std::string_view::npos) {
        tokens.push_back(line.substr(start));
        break;
      }
      tokens.push_back(line.substr(start, close - start));
      pos = close + 1;
      continue;
    }
    size_t start = pos;
    while (pos < line.size() && !IsSeparator(line[pos])) ++pos;
    size_t end = pos;
    while (end > start && IsSpace(line[end - 1])) --end;
    tokens.push_back(line.substr(start, end - start));
    if (pos < line.size()) ++pos;  // the separator
  }
  return tokens;
}

// The leading decimal integer of a text as atoi reads it, clamped to the
// 32-bit range; 0 when the text doesn't start with a number.
int32_t ReadInt(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    value = value * 10 + (text[pos] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

// The leading real number of a text, read in the C locale whatever the
// process locale is; 0 when there is none or it isn't finite.
double ReadReal(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  if (pos < text.size() && text[pos] == '+') {
    ++pos;
    if (pos < text.size() && text[pos] == '-') return 0.0;
  }
  double value = 0.0;
  auto [end, error] = std::from_chars(text.data() + pos, text.data() + text.size(), value,
                                      std::chars_format::general);
  (void)end;
  if (error != std::errc() || !std::isfinite(value)) return 0.0;
  return value;
}

// "%g" of a real, in the C locale whatever the process locale is.
std::string FormatReal(double value) {
  char buffer[64];
  auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  if (error != std::errc()) return "0";
  return std::string(buffer, end);
}

// A text as it can stand between double quotes on one line.
std::string Writable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '"' && c != '\n' && c != '\0') out.push_back(c);
  }
  return out;
}

void AppendChoices(std::string& out, const std::vector<std::string>& choices) {
  std::vector<std::string> kept;
  for (const std::string& choice : choices) {
    std::string text = Writable(choice);
    if (!text.empty()) kept.push_back(std::move(text));
  }
  if (kept.empty()) {
    out += "\n";
    return;
  }
  out += "{ ";
  for (size_t i = 0; i < kept.size(); ++i) {
    out += '"';
    out += kept[i];
    out += i + 1 < kept.size() ? "\", " : "\" }\n";
  }
}

void AppendQuoted(std::string& out, const char* key_and_equals, const std::string& value) {
  out += key_and_equals;
  out += '"';
  out += Writable(value);
  out += "\" ";
}

// Writes all bytes to a new file beside `path` and renames it over `path`.
int ReplaceFile(const std::string& folder, const std::string& path, const std::string& bytes) {
  static std::atomic<unsigned> counter{0};
  std::string temp = folder + "/.profile-save-" + std::to_string(getpid()) + "-" +
                     std::to_string(counter.fetch_add(1)) + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) ok = false;
    else done += static_cast<size_t>(put);
  }
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp.c_str(), path.c_str()) == 0) return 0;
  unlink(temp.c_str());
  return -1;
}

// What a profile may ask of a conversion. Outside these the encoders either
// refuse to open or, with a frame rate of 0, the audio periods (sample rate
// divided by frame rate) become infinite.
constexpr int32_t kMinProfileSide = 16;     // pixels
constexpr int32_t kMaxProfileSide = 4096;   // pixels
constexpr int32_t kMaxVideoKbits = 100000;  // kbit/s
constexpr double kMinFrameRate = 1;         // frames per second
constexpr double kMaxFrameRate = 120;       // frames per second
constexpr int32_t kMaxAudioKbits = 1536;    // kbit/s
constexpr int32_t kMinSampleRate = 8000;    // Hz
constexpr int32_t kMaxSampleRate = 192000;  // Hz
constexpr int32_t kMaxChannels = 2;
constexpr int32_t kMaxCrf = 51;             // x264's and x265's coarsest

// How a '/' of a profile's name stands in its file's name.
constexpr std::string_view kSlashInFileName = "%2F";
constexpr std::string_view kProfileExtension = ".pr";

bool IsWindowsMediaName(std::string_view video_codec) {
  return video_codec.starts_with("WMV") || video_codec.starts_with("Windows Media");
}

}  // namespace

std::string ProfileFolder() { return ProgramFolder() + "/profile"; }

bool IsPlainProfileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return false;
  }
  return true;
}

std::optional<int> DeviceKindOf(std::string_view device) {
  static constexpr std::pair<std::string_view, DeviceKind> kKinds[] = {
      {"PSP", kDevicePsp},     {"iPod", kDeviceIpod}, {"phone", kDevicePhone},
      {"hevc", kDeviceHevc},   {"webm", kDeviceWebm}, {"av1", kDeviceAv1},
  };
  for (const auto& [name, kind] : kKinds)
    if (device == name) return kind;
  return std::nullopt;
}

std::string ProfileFileName(std::string_view name) {
  std::string file;
  for (char c : name) {
    if (c == '/') file += kSlashInFileName;
    else file += c;
  }
  return file + std::string(kProfileExtension);
}

std::string ProfileNameOfFile(std::string_view file_name) {
  if (file_name.size() <= kProfileExtension.size() || !file_name.ends_with(kProfileExtension))
    return std::string();
  file_name.remove_suffix(kProfileExtension.size());
  std::string name;
  for (size_t i = 0; i < file_name.size(); ++i) {
    if (file_name.substr(i, kSlashInFileName.size()) == kSlashInFileName) {
      name += '/';
      i += kSlashInFileName.size() - 1;
    } else {
      name += file_name[i];
    }
  }
  return name;
}

int CProfile::Load(const std::string& profile_name, std::string* refusal) {
  if (refusal) refusal->clear();
  if (!IsPlainProfileName(profile_name)) return -1;
  std::string text;
  if (!ReadRegularFile(ProfileFolder() + "/" + ProfileFileName(profile_name), &text)) return -1;
  CProfile loaded = *this;
  loaded.name = profile_name;
  loaded.device.clear();
  loaded.fileext.clear();
  loaded.ParseText(text);
  if (loaded.IsWindowsMedia()) loaded.RebuildWindowsMediaAudioChoices();
  std::string problem = loaded.Problem();
  if (!problem.empty()) {
    if (refusal) *refusal = std::move(problem);
    return -1;
  }
  *this = std::move(loaded);
  return 0;
}

std::string CProfile::Problem() const {
  auto refuse = [&](const char* what, const char* key, const std::string& rule,
                    const std::string& value) {
    return "Profile \"" + name + "\": " + what + " \"" + key + "\" must be " + rule + " (it is \"" +
           value + "\")";
  };
  auto in_range = [](int64_t value, int64_t low, int64_t high) {
    return value >= low && value <= high;
  };

  if (!s.empty()) {
    // The size reads as the recording reads it: a leading number, 'x' or
    // 'X', another number.
    size_t x = s.find('x');
    if (x == std::string::npos) x = s.find('X');
    bool digits = s[0] >= '0' && s[0] <= '9' && x != std::string::npos && x + 1 < s.size() &&
                  s[x + 1] >= '0' && s[x + 1] <= '9';
    int32_t width = digits ? ReadInt(s) : 0;
    int32_t height = digits ? ReadInt(std::string_view(s).substr(x + 1)) : 0;
    if (!in_range(width, kMinProfileSide, kMaxProfileSide) ||
        !in_range(height, kMinProfileSide, kMaxProfileSide)) {
      return refuse("frame size", "s",
                    "WIDTHxHEIGHT from " + std::to_string(kMinProfileSide) + "x" +
                        std::to_string(kMinProfileSide) + " to " +
                        std::to_string(kMaxProfileSide) + "x" + std::to_string(kMaxProfileSide),
                    s);
    }
  }
  if (!in_range(b, 1, kMaxVideoKbits))
    return refuse("video bit rate", "b",
                  "between 1 and " + std::to_string(kMaxVideoKbits) + " kbit/s", std::to_string(b));
  // Written as a negated test so that NaN fails it too.
  if (!(r >= kMinFrameRate && r <= kMaxFrameRate))
    return refuse("frame rate", "r",
                  "between " + FormatReal(kMinFrameRate) + " and " + FormatReal(kMaxFrameRate) +
                      " frames per second",
                  FormatReal(r));
  if (!in_range(crf, 0, kMaxCrf))
    return refuse("constant quality", "crf", "between 0 and " + std::to_string(kMaxCrf),
                  std::to_string(crf));
  if (IsWindowsMedia()) return std::string();
  if (!in_range(ab, 1, kMaxAudioKbits))
    return refuse("audio bit rate", "ab",
                  "between 1 and " + std::to_string(kMaxAudioKbits) + " kbit/s", std::to_string(ab));
  if (!in_range(ar, kMinSampleRate, kMaxSampleRate))
    return refuse("sampling rate", "ar",
                  "between " + std::to_string(kMinSampleRate) + " and " +
                      std::to_string(kMaxSampleRate) + " Hz",
                  std::to_string(ar));
  if (!in_range(ReadInt(ac), 1, kMaxChannels))
    return refuse("channels", "ac", "1 or " + std::to_string(kMaxChannels), ac);
  return std::string();
}

void CProfile::RebuildWindowsMediaAudioChoices() {
  // The audio lists of a Windows Media profile are what the installed
  // codecs offer; the bit rate is the number the format text starts with.
  WmAudioCodecList list;
  if (EnumerateWmAudioCodecs(acodec, aformat, &list) != 0) return;
  acodec_choices = list.codecs;
  aformat_choices = list.formats;
  ab = std::atoi(aformat.c_str());
}

int CProfile::Save(const std::string& profile_name) const {
  if (!IsPlainProfileName(profile_name)) return -1;
  std::string folder = ProfileFolder();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return ReplaceFile(folder, folder + "/" + ProfileFileName(profile_name), ToText());
}

bool CProfile::IsWindowsMedia() const { return IsWindowsMediaName(vcodec); }

void CProfile::ParseText(std::string_view text) {
  while (!text.empty()) {
    size_t line_end = text.find('\n');
    std::string_view line = text.substr(0, line_end);
    text.remove_prefix(line_end == std::string_view::npos ? text.size() : line_end + 1);
    if (size_t nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    std::vector<std::string_view> tokens = SplitLine(line);
    size_t next = 0;
    while (next < tokens.size() && tokens[next].empty()) ++next;
    if (next >= tokens.size()) continue;
    std::string_view key = tokens[next++];
    // The token right after the key is the value even when it is a quoted "":
    // skipping it would turn the first choice into the value.
    if (next >= tokens.size()) continue;
    std::string_view value = tokens[next++];
    std::vector<std::string> choices;
    for (; next < tokens.size(); ++next) {
      if (!tokens[next].empty()) choices.emplace_back(tokens[next]);
    }

    auto set_text = [&](std::string& field, std::vector<std::string>& list) {
      field.assign(value);
      list = std::move(choices);
    };
    auto set_int = [&](int32_t& field, std::vector<std::string>& list) {
      field = ReadInt(value);
      list = std::move(choices);
    };
    if (key == "device") device.assign(value);
    else if (key == "fileext") fileext.assign(value);
    else if (key == "t") t = ReadInt(value);
    else if (key == "ss") ss = ReadInt(value);
    else if (key == "an") an = ReadInt(value);
    else if (key == "vcodec") set_text(vcodec, vcodec_choices);
    else if (key == "s") set_text(s, s_choices);
    else if (key == "b") set_int(b, b_choices);
    else if (key == "r") {
      r = ReadReal(value);
      r_choices = std::move(choices);
    } else if (key == "acodec") set_text(acodec, acodec_choices);
    else if (key == "aformat") set_text(aformat, aformat_choices);
    else if (key == "ab") set_int(ab, ab_choices);
    else if (key == "ar") set_int(ar, ar_choices);
    else if (key == "ac") set_text(ac, ac_choices);
    else if (key == "crf") set_int(crf, crf_choices);
  }
}

std::string CProfile::ToText() const {
  std::string out;
  AppendQuoted(out, "device  = ", device);
  out += "\n";
  AppendQuoted(out, "fileext = ", fileext);
  out += "\n";
  out += "t       = 0 \n";
  out += "ss      = 0 \n";
  AppendQuoted(out, "vcodec  = ", vcodec);
  AppendChoices(out, vcodec_choices);
  AppendQuoted(out, "s\t    = ", s);
  AppendChoices(out, s_choices);
  out += "b\t    = " + std::to_string(b) + " ";
  AppendChoices(out, b_choices);
  out += "r       = " + FormatReal(r) + " ";
  AppendChoices(out, r_choices);
  // The layout follows the codec name as written, so that it reads back as
  // the same kind of profile.
  if (IsWindowsMediaName(Writable(vcodec))) {
    AppendQuoted(out, "acodec  = ", acodec);
    out += "\n";
    AppendQuoted(out, "aformat = ", aformat);
    out += "\n";
  } else {
    AppendQuoted(out, "acodec  = ", acodec);
    AppendChoices(out, acodec_choices);
    AppendQuoted(out, "ac\t    = ", ac);
    AppendChoices(out, ac_choices);
    out += "ab\t    = " + std::to_string(ab) + " ";
    AppendChoices(out, ab_choices);
    out += "ar\t    = " + std::to_string(ar) + " ";
    AppendChoices(out, ar_choices);
  }
  if (OffersQuality()) {
    out += "crf     = " + std::to_string(crf) + " ";
    AppendChoices(out, crf_choices);
  }
  return out;
}

}  // namespace ovc
