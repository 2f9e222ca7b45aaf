#include "ui/main/profile_panel_cells.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "engine/record/profile.h"
#include "ui/main/time_text.h"

namespace ovc {

namespace {

constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view SkipSpace(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  return text.substr(i);
}

// A whole number of a real, cut toward zero and held in 32 bits.
int WholeClamped(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return 2147483647;
  if (value <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(value);
}

// The Quality cell of a profile whose bit rate rules, and the coarsest
// constant quality x264 and x265 take.
constexpr std::string_view kBitRateQuality = "bit rate";
constexpr int kMaxCrf = 51;

ValueRow Row(const char* key, std::string value, std::vector<std::string> choices, bool pick_list,
             bool read_only) {
  return ValueRow{key, std::move(value), std::move(choices), pick_list, read_only};
}

std::string_view Trim(std::string_view text) {
  text = SkipSpace(text);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

bool ParseValueWithUnit(std::string_view text, std::string_view unit, double* value) {
  text = Trim(text);
  size_t end = 0;
  while (end < text.size() && ((text[end] >= '0' && text[end] <= '9') || text[end] == '.')) ++end;
  const std::string_view number = text.substr(0, end);
  if (number.empty() || number == "." || number.find('.') != number.rfind('.')) return false;
  const std::string_view rest = Trim(text.substr(end));
  if (!rest.empty()) {
    if (rest.size() != unit.size()) return false;
    for (size_t i = 0; i < rest.size(); ++i) {
      auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
      if (lower(rest[i]) != lower(unit[i])) return false;
    }
  }
  *value = LeadingReal(number);
  return true;
}

int LeadingInt(std::string_view text) {
  text = SkipSpace(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) value = 2147483648LL;  // saturate; keeps the sum small
  }
  if (negative) value = -value;
  if (value > 2147483647LL) value = 2147483647LL;
  return static_cast<int>(value);
}

double LeadingReal(std::string_view text) {
  text = SkipSpace(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  double value = 0;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0;
  return value;
}

std::string DurationCellText(int seconds) { return seconds == 0 ? "Full" : FormatHms(seconds); }

std::string KbpsCellText(int kbit_per_second) {
  char text[32];
  std::snprintf(text, sizeof text, "%d kbps", kbit_per_second);
  return text;
}

std::string FpsCellText(double frames_per_second) {
  char text[64];
  std::snprintf(text, sizeof text, "%g fps", frames_per_second);
  return text;
}

std::vector<ValueRow> TimeRows(const CProfile* profile) {
  return {Row("Duration=", profile ? DurationCellText(profile->t) : "", {}, false, false),
          Row("Start=", profile ? FormatHms(profile->ss) : "", {}, false, false)};
}

std::vector<ValueRow> VideoRows(const CProfile* profile, bool size_fps_read_only) {
  if (!profile) {
    return {Row("Codec=", "", {}, true, true), Row("Size=", "", {}, true, size_fps_read_only),
            Row("Bitrate=", "", {}, true, false), Row("FPS=", "", {}, true, size_fps_read_only)};
  }
  std::vector<ValueRow> rows = {
      Row("Codec=", profile->vcodec, profile->vcodec_choices, true, true),
      Row("Size=", profile->s, profile->s_choices, true, size_fps_read_only),
      Row("Bitrate=", KbpsCellText(profile->b), profile->b_choices, true, false),
      Row("FPS=", FpsCellText(profile->r), profile->r_choices, true, size_fps_read_only)};
  if (profile->OffersQuality()) {
    std::vector<std::string> choices = {QualityCellText(0)};
    for (const std::string& choice : profile->crf_choices)
      if (LeadingInt(choice) > 0) choices.push_back(QualityCellText(LeadingInt(choice)));
    rows.push_back(Row("Quality=", QualityCellText(profile->crf), choices, true, false));
  }
  return rows;
}

std::string QualityCellText(int crf) {
  return crf > 0 ? "CRF " + std::to_string(crf) : std::string(kBitRateQuality);
}

bool ParseQualityCell(std::string_view text, int* crf) {
  std::string lower(Trim(text));
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (lower == kBitRateQuality) {
    *crf = 0;
    return true;
  }
  std::string_view number = lower;
  if (number.starts_with("crf")) number.remove_prefix(3);
  double value = 0;
  if (!ParseValueWithUnit(number, "", &value) || value != static_cast<int>(value) || value < 0 ||
      value > kMaxCrf)
    return false;
  *crf = static_cast<int>(value);
  return true;
}

std::vector<ValueRow> AudioRows(const CProfile* profile, bool all_read_only) {
  if (!profile) {
    return {Row("Codec=", "", {}, true, true), Row("Bitrate=", "", {}, true, true),
            Row("Sampling=", "", {}, true, all_read_only),
            Row("Channels=", "", {}, true, all_read_only)};
  }
  if (profile->IsWindowsMedia()) {
    return {Row("Codec=", profile->acodec, profile->acodec_choices, true, true),
            Row("Format=", profile->aformat, profile->aformat_choices, true, true)};
  }
  return {Row("Codec=", profile->acodec, profile->acodec_choices, true, true),
          Row("Bitrate=", KbpsCellText(profile->ab), profile->ab_choices, true, true),
          Row("Sampling=", std::to_string(profile->ar), profile->ar_choices, true, all_read_only),
          Row("Channels=", profile->ac, profile->ac_choices, true, all_read_only)};
}

std::string MbPerMinuteText(int video_kbps, int audio_kbps) {
  const double mb = (static_cast<double>(video_kbps) + audio_kbps) * 60 * 0.125 / 1024;
  char text[64];
  std::snprintf(text, sizeof text, "About %.1f MB per minute", mb);
  return text;
}

std::string EstimatedSizeText(double title_seconds, int video_kbps, int audio_kbps) {
  const double mb =
      title_seconds * (static_cast<double>(video_kbps) + audio_kbps) * 0.125 / 1024 + 0.5;
  char text[64];
  std::snprintf(text, sizeof text, "Estimated size: %d MB", WholeClamped(mb));
  return text;
}

}  // namespace ovc
