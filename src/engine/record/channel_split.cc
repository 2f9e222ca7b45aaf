#include "engine/record/channel_split.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ovc {
namespace {

inline int16_t Saturate(int value) {
  return static_cast<int16_t>(std::clamp(value, -32768, 32767));
}

// Sums of up to four channels fit an int; their half may not fit 16 bits.
inline int16_t Half(int sum) { return Saturate(sum / 2); }

}  // namespace

void ChannelSplit(const int16_t* in, int n, int channels, int output_channels,
                  int left_right_channel, int16_t* left, int16_t* right) {
  switch (channels) {
    case 1:
      std::memcpy(left, in, sizeof(int16_t) * static_cast<size_t>(std::max(n, 0)));
      return;
    case 2:
      if (output_channels == 1) {
        for (int i = 0; i < n; ++i) {
          int l = in[2 * i], r = in[2 * i + 1];
          switch (left_right_channel) {
            case 1: left[i] = static_cast<int16_t>(l); break;
            case 2: left[i] = static_cast<int16_t>(r); break;
            default: left[i] = Saturate(l + r / 2); break;
          }
        }
      } else {
        for (int i = 0; i < n; ++i) {
          left[i] = in[2 * i];
          right[i] = in[2 * i + 1];
        }
      }
      return;
    case 3:
      for (int i = 0; i < n; ++i, in += 3) {
        left[i] = Half(in[1] + in[2]);
        right[i] = Half(in[0] + in[2]);
      }
      return;
    case 4:
      for (int i = 0; i < n; ++i, in += 4) {
        left[i] = Half(in[1] + in[2] + in[3]);
        right[i] = Half(in[0] + in[2] + in[3]);
      }
      return;
    case 5:
      for (int i = 0; i < n; ++i, in += 5) {
        left[i] = Half(in[1] + in[2] + in[3] + in[4]);
        right[i] = Half(in[0] + in[2] + in[3] + in[4]);
      }
      return;
    case 6:
      for (int i = 0; i < n; ++i, in += 6) {
        left[i] = Half(in[0] + in[2] + in[3] + in[4]);
        right[i] = Half(in[1] + in[2] + in[3] + in[5]);
      }
      return;
    default:
      return;
  }
}

double SamplesPerFrame(double rate, double fps) {
  double samples = rate / fps;
  if (samples > kMaxSamplesPerFrame) return kMaxSamplesPerFrame;  // a frame rate of 0 too
  if (!(samples >= 1)) return 1;  // negated, so that NaN lands here
  return samples;
}

int PeriodCutter::Next(double rate, double fps) {
  double exact = SamplesPerFrame(rate, fps);
  int n = static_cast<int>(exact + 0.5);
  remainder_ += exact - n;
  if (remainder_ >= 1) {
    ++n;
    remainder_ -= 1;
  } else if (remainder_ <= -1) {
    --n;
    remainder_ += 1;
  }
  return n;
}

}  // namespace ovc
