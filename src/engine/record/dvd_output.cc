#include "engine/record/dvd_output.h"

#include <cmath>
#include <cstdlib>

namespace ovc {
namespace {

constexpr int kDvdWidths[] = {720, 704, 352};
constexpr int kNtscHeight = 480;
constexpr int kPalHeight = 576;
constexpr double kNtscRate = 29.97;
constexpr double kPalRate = 25;

bool Near(double rate, double target) { return std::fabs(rate - target) < 0.5; }

bool IsPal(const OutputConfig& output) {
  const double rate = output.out_frame_rate;
  if (Near(rate, kPalRate)) return true;
  if (Near(rate, 23.976) || Near(rate, kNtscRate)) return false;
  return output.height == kPalHeight || output.height == kPalHeight / 2;
}

}  // namespace

void FitDvdOutput(OutputConfig* output) {
  const bool pal = IsPal(*output);
  const int full = pal ? kPalHeight : kNtscHeight;
  int width = kDvdWidths[0];
  for (int candidate : kDvdWidths)
    if (std::abs(candidate - output->width) < std::abs(width - output->width)) width = candidate;
  const bool half = width == 352 && output->height > 0 && output->height * 4 < full * 3;
  output->width = width;
  output->height = half ? full / 2 : full;
  output->out_frame_rate = pal ? kPalRate : kNtscRate;
  output->audio_output_freq = kDvdSampleRate;
  const int most_audio_kbps = output->mpg_ac3 ? 448 : 384;
  if (output->audio_bitrate > most_audio_kbps) output->audio_bitrate = most_audio_kbps;
}

bool DvdTakesWidescreen(const OutputConfig& output) { return output.width >= 704; }

}  // namespace ovc
