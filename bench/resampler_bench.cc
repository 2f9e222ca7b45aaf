// Speed of the sample-rate converter: input sample frames per second for
// one channel, fed in periods of one video frame as the audio encoding
// thread feeds it.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "platform/imaging/zntv_resampler.h"
#include "platform/imaging/resampler.h"

namespace {

std::vector<int16_t> Program(int rate, int count) {
  std::vector<int16_t> samples(count);
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / rate;
    samples[i] = static_cast<int16_t>(std::lrint(12000.0 * std::sin(2 * std::numbers::pi * 440 * t) +
                                                 6000.0 * std::sin(2 * std::numbers::pi * 5500 * t)));
  }
  return samples;
}

// Arguments: input rate, output rate, samples per call.
void BM_ZntvResampler(benchmark::State& state) {
  const int input_rate = static_cast<int>(state.range(0));
  const int output_rate = static_cast<int>(state.range(1));
  const int period = static_cast<int>(state.range(2));
  const std::vector<int16_t> source = Program(input_rate, input_rate);  // one second
  ovc::ZntvResampler resampler;
  if (resampler.Initialise(input_rate, output_rate) != 0) {
    state.SkipWithError("Initialise failed");
    return;
  }
  std::vector<int16_t> destination(resampler.MaxProduced(period));
  size_t offset = 0;
  int64_t produced_total = 0;
  for (auto _ : state) {
    if (offset + period > source.size()) offset = 0;
    int produced = 0;
    resampler.Convert(source.data() + offset, period, destination.data(), &produced);
    benchmark::DoNotOptimize(destination.data());
    offset += period;
    produced_total += produced;
  }
  state.SetItemsProcessed(state.iterations() * period);
  state.counters["out/s"] =
      benchmark::Counter(static_cast<double>(produced_total), benchmark::Counter::kIsRate);
  state.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * period / input_rate, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ZntvResampler)
    ->ArgNames({"in", "out", "period"})
    ->Args({44100, 48000, 1471})
    ->Args({48000, 24000, 1600})
    ->Args({48000, 44100, 1600})
    ->Args({48000, 8000, 1600})
    ->Args({8000, 48000, 267})
    ->Args({44100, 44100, 1471})
    ->Args({44100, 48000, 4096 * 4});

// Building a converter (its coefficient tables), once per channel at open.
void BM_CreateResampler(benchmark::State& state) {
  const int input_rate = static_cast<int>(state.range(0));
  const int output_rate = static_cast<int>(state.range(1));
  for (auto _ : state) {
    ovc::ResamplerPtr handle;
    benchmark::DoNotOptimize(
        ovc::CreateResampler(&handle, input_rate, output_rate, 256, 0.95f, 9.0f, 1));
  }
}

BENCHMARK(BM_CreateResampler)
    ->ArgNames({"in", "out"})
    ->Args({44100, 48000})
    ->Args({48000, 8000})
    ->Args({44100, 47999})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
