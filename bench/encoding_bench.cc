// Throughput of the audio steps on the encoding threads: splitting the
// interleaved input into the two planes the encoders take, and cutting the
// buffered audio into frame periods. Items are sample frames.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "engine/record/channel_split.h"
#include "engine/record/encoding_engine.h"

namespace {

void BM_ChannelSplit(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  const int output_channels = static_cast<int>(state.range(1));
  constexpr int kFrames = 3200;  // one period of 48 kHz at 15 fps
  std::vector<int16_t> input(static_cast<size_t>(kFrames) * channels);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<int16_t>(i * 7919);
  std::vector<int16_t> left(kFrames), right(kFrames);
  for (auto _ : state) {
    ovc::ChannelSplit(input.data(), kFrames, channels, output_channels, 0, left.data(), right.data());
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_ChannelSplit)->Args({1, 2})->Args({2, 1})->Args({2, 2})->Args({6, 2});

void BM_PeriodCutter(benchmark::State& state) {
  ovc::PeriodCutter cutter;
  long frames = 0;
  for (auto _ : state) {
    int n = cutter.Next(44100, 29.97);
    frames += n;
    benchmark::DoNotOptimize(n);
  }
  state.SetItemsProcessed(frames);
}
BENCHMARK(BM_PeriodCutter);

// The whole inline path without an encoder: append a frame's audio, cut
// the period and hand it on, as EncodeInline does for every output frame.
class NullSink : public ovc::OutputSink {
 public:
  int EncodeAudioPeriod(const int16_t*, int, int) override { return 0; }
  int EncodeVideoFrame(const uint8_t*, int) override { return 0; }
};

void BM_InlinePeriods(benchmark::State& state) {
  ovc::EncodingEngine engine;
  NullSink sink;
  engine.Open(ovc::EncodingEngine::Format{16, 16, 29.97, 44100, 2}, &sink, true);
  engine.StartInline();
  std::vector<int16_t> pcm(1472 * 2, 1);
  long frames = 0;
  for (auto _ : state) {
    engine.EncodeInline(nullptr, pcm.data(), 1471);
    frames += 1471;
  }
  engine.Stop();
  state.SetItemsProcessed(frames);
}
BENCHMARK(BM_InlinePeriods);

}  // namespace

BENCHMARK_MAIN();
