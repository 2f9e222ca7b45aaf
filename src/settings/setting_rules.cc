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
  return last_output.substr(0, last_output.rfind('.')) + OutputExtension(format);
}

double OutputSizeFromStored(double stored) { return stored == 0 ? 250.0 : stored; }

}  // namespace ovc
