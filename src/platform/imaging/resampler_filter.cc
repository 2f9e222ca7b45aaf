#include "platform/imaging/resampler_filter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace ovc {
namespace {

// Kaiser's empirical beta for a stop-band attenuation of `attenuation` dB.
double BetaForAttenuation(double attenuation) {
  if (attenuation > 50.0) return 0.1102 * (attenuation - 8.7);
  if (attenuation >= 21.0) {
    return 0.5842 * std::pow(attenuation - 21.0, 0.4) + 0.07886 * (attenuation - 21.0);
  }
  return 0.0;
}

// Modified Bessel function of the first kind, order 0, by its power series
// (converges quickly for the arguments a window uses, |x| <= 40).
double BesselI0(double x) {
  double sum = 1.0;
  double term = 1.0;
  const double half_x_squared = x * x / 4.0;
  for (int k = 1; k < 500; ++k) {
    term *= half_x_squared / (static_cast<double>(k) * k);
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

double Sinc(double x) {
  if (x == 0.0) return 1.0;
  const double a = std::numbers::pi * x;
  return std::sin(a) / a;
}

// Kaiser's estimate of the transition width (radians per sample) a window
// of `taps` taps gives at `attenuation` dB.
double TransitionWidth(double attenuation, double taps) {
  return (attenuation - 7.95) / (2.285 * std::max(taps - 1.0, 1.0));
}

}  // namespace

double KaiserAttenuation(double kaiser_beta) {
  if (kaiser_beta <= 0.0) return 21.0;
  double low = 21.0;
  double high = 1000.0;
  for (int i = 0; i < 100; ++i) {
    const double mid = 0.5 * (low + high);
    if (BetaForAttenuation(mid) < kaiser_beta) {
      low = mid;
    } else {
      high = mid;
    }
  }
  return 0.5 * (low + high);
}

LowpassDesign DesignLowpass(double stretch, double cutoff, double kaiser_beta, int max_half_span) {
  const double attenuation = KaiserAttenuation(kaiser_beta);
  // Transition band as a fraction of the lower rate's Nyquist frequency.
  const double wanted_transition = 2.0 * (1.0 - cutoff);
  int half_span = max_half_span;
  if (wanted_transition > 0.0) {
    const double taps = (attenuation - 7.95) / (2.285 * std::numbers::pi * wanted_transition) + 1.0;
    const double needed = std::ceil(std::ceil(taps / 2.0) * stretch);
    if (needed < max_half_span) half_span = std::max(1, static_cast<int>(needed));
  }
  // The transition band the chosen span really gives, at the lower rate.
  const double transition =
      TransitionWidth(attenuation, 2.0 * half_span / stretch) / std::numbers::pi;
  double relative_cutoff = std::min(cutoff, 1.0 - transition / 2.0);
  // A span too short for any real stop band still gets a usable low-pass.
  relative_cutoff = std::max(relative_cutoff, 0.1 * cutoff);

  LowpassDesign design;
  design.half_span = half_span;
  design.cutoff = relative_cutoff * 0.5 / stretch;
  design.kaiser_beta = kaiser_beta;
  return design;
}

void FillCoefficientSet(const LowpassDesign& design, double phase, float* taps, int stride) {
  const int count = 2 * design.half_span;
  const double span = design.half_span;
  const double window_norm = BesselI0(design.kaiser_beta);
  const double two_fc = 2.0 * design.cutoff;
  std::vector<double> values(count);
  double sum = 0.0;
  for (int k = 0; k < count; ++k) {
    const double distance = phase + span - 1.0 - k;
    const double u = distance / span;
    double value = 0.0;
    if (u > -1.0 && u < 1.0) {
      const double window = BesselI0(design.kaiser_beta * std::sqrt(1.0 - u * u)) / window_norm;
      value = two_fc * Sinc(two_fc * distance) * window;
    }
    values[k] = value;
    sum += value;
  }
  const double scale = sum != 0.0 ? 1.0 / sum : 1.0;
  for (int k = 0; k < count; ++k) taps[k] = static_cast<float>(values[k] * scale);
  std::fill(taps + count, taps + stride, 0.0f);
}

}  // namespace ovc
