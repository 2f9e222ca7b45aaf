#pragma once

namespace ovc {

// The low-pass filter of the sample-rate converter: a sinc windowed by a
// Kaiser window, laid out on the input sample grid.
//
// All distances are in input samples. The filter reaches `half_span` samples
// on each side of an output position, so an output at position i + phase
// (i whole, 0 <= phase <= 1) weighs the 2 * half_span input samples
// i - half_span + 1 … i + half_span.
struct LowpassDesign {
  int half_span = 0;
  // The -6 dB point in cycles per input sample.
  double cutoff = 0.0;
  double kaiser_beta = 0.0;
};

// Designs the filter for a stretch s >= 1 (the input rate divided by the
// lower of the two rates, or more to narrow the band further), a cutoff
// relative to the lower rate's Nyquist frequency (0 < cutoff <= 1) and the
// window's beta. The span is what the window needs for a transition band of
// 2 × (1 - cutoff) of that Nyquist frequency at the window's stop-band
// attenuation, widened by the stretch and limited to `max_half_span`. When
// the limit makes the transition band wider, the cutoff moves down so that
// the stop band still starts at the lower rate's Nyquist frequency.
LowpassDesign DesignLowpass(double stretch, double cutoff, double kaiser_beta, int max_half_span);

// Stop-band attenuation in dB that a Kaiser window of this beta gives.
double KaiserAttenuation(double kaiser_beta);

// Fills taps[0 .. stride) with the coefficient set for an output at
// fractional offset `phase` (0 … 1) past an input sample: taps[k] weighs
// input sample i - half_span + 1 + k. The set sums to 1 (unity gain at 0 Hz);
// taps past 2 * half_span are zero. Needs stride >= 2 * half_span.
void FillCoefficientSet(const LowpassDesign& design, double phase, float* taps, int stride);

}  // namespace ovc
