#pragma once

#include <string>

namespace ovc {

// Conversions from stored settings to the values the program works with.

// "AudioSampling" code to Hz: 0 → 22050, 1 → 44100, 2 → 8000, 3 and above →
// 48000. A negative code (only a hand-edited store holds one) is taken as 0.
int SamplingRateFromCode(int code);

// "stereo" code to channels: 3 → 1, anything else → 2.
int ChannelsFromStereoCode(int code);

// The brightness terms of slider level 0..3 (clamped to that range):
// "brightness_a" 0, 12, 23, 35 and "brightness_b" 1 + 0.12 × level, computed
// in single precision as the capture stage uses it, so level 1 is stored as
// "1.1200000048" and level 3 as "1.3600000143".
struct Brightness {
  int a;
  float b;
};
Brightness BrightnessForLevel(int level);

// The output file extension of a "format" code: 0 and 3 ".avi", 1 ".wmv",
// anything else ".MP4".
const char* OutputExtension(int format);

// The stored "LastOutput" with everything from its last '.' on replaced by
// the extension of `format` (the whole text is kept when its file name has
// no '.'; a dot in a folder name is not an extension).
std::string OutputPathForFormat(const std::string& last_output, int format);

// "output_size" as used: a stored 0 means 250.
double OutputSizeFromStored(double stored);

}  // namespace ovc
