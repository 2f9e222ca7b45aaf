#include "settings/setting_rules.h"

#include <algorithm>

namespace ovc {

int SamplingRateFromCode(int code) {
  switch (code) {
    case 1:
      return 44100;
    case 2:
      return 8000;
    default:
      return code >= 3 ? 48000 : 22050;
  }
}

int ChannelsFromStereoCode(int code) { return code == 3 ? 1 : 2; }

Brightness BrightnessForLevel(int level) {
  static constexpr int kOffsets[] = {0, 12, 23, 35};
  level = std::clamp(level, 0, 3);
  return Brightness{kOffsets[level], 1.0f + 0.12f * static_cast<float>(level)};
}

const char* OutputExtension(int format) {
  switch (format) {
    case 0:
    case 3:
      return ".avi";
    case 1:
      return ".wmv";
    default:
      return ".MP4";
  }
}

std::string OutputPathForFormat(const std::string& last_output, int format) {
  // Only a dot in the file name starts its extension: "/home/j.smith/clip"
  // keeps its folder.
  const size_t slash = last_output.rfind('/');
  const size_t dot = last_output.rfind('.');
  const bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (has_extension ? last_output.substr(0, dot) : last_output) + OutputExtension(format);
}

double OutputSizeFromStored(double stored) { return stored == 0 ? 250.0 : stored; }

}  // namespace ovc
