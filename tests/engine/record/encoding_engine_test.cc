#include "engine/record/encoding_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ovc {
namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 8;
constexpr int kFrameBytes = kWidth * kHeight * 2;

// Records what the engine hands over; can hold either kind of call until
// released, and can fail on a given frame.
class RecordingSink : public OutputSink {
 public:
  int EncodeAudioPeriod(const int16_t* pcm, int frames, int period) override {
    WaitGate(&audio_open_);
    std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_EQ(period, static_cast<int>(period_sizes.size()) + 1);
    period_sizes.push_back(frames);
    samples.insert(samples.end(), pcm, pcm + frames * channels);
    if (period != fail_at_period) return 0;
    file_failed = fail_takes_the_file;
    return -1;
  }
  bool FileFailed() const override { return file_failed; }
  int EncodeVideoFrame(const uint8_t* i420, int frame) override {
    WaitGate(&video_open_);
    std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_EQ(frame, static_cast<int>(frame_ids.size()) + 1);
    int id;
    std::memcpy(&id, i420, sizeof id);
    frame_ids.push_back(id);
    return frame == fail_at_frame ? -1 : 0;
  }

  void SetVideoOpen(bool open) { SetGate(&video_open_, open); }
  void SetAudioOpen(bool open) { SetGate(&audio_open_, open); }

  int channels = 2;
  int fail_at_frame = -1;
  int fail_at_period = -1;
  // Whether the failing period took the whole file with it (a failed
  // write) or only the sound (an encoder error).
  bool fail_takes_the_file = false;
  std::atomic<bool> file_failed{false};
  std::vector<int> period_sizes;
  std::vector<int16_t> samples;
  std::vector<int> frame_ids;

 private:
  void WaitGate(bool* gate) {
    std::unique_lock<std::mutex> lock(gate_mutex_);
    gate_changed_.wait(lock, [&] { return *gate; });
  }
  void SetGate(bool* gate, bool open) {
    {
      std::lock_guard<std::mutex> lock(gate_mutex_);
      *gate = open;
    }
    gate_changed_.notify_all();
  }
  std::mutex mutex_;
  std::mutex gate_mutex_;
  std::condition_variable gate_changed_;
  bool video_open_ = true;
  bool audio_open_ = true;
};

std::vector<uint8_t> Frame(int id, size_t bytes = kFrameBytes) {
  std::vector<uint8_t> frame(bytes, 0x80);
  std::memcpy(frame.data(), &id, sizeof id);
  return frame;
}

// A ramp of stereo samples continuing from `start` sample frames.
std::vector<int16_t> Audio(int start, int n) {
  std::vector<int16_t> pcm(static_cast<size_t>(n) * 2);
  for (int i = 0; i < n; ++i) {
    pcm[2 * i] = static_cast<int16_t>((start + i) & 0x7fff);
    pcm[2 * i + 1] = static_cast<int16_t>(-((start + i) & 0x7fff));
  }
  return pcm;
}

// Polls a condition with a deadline; for states only another thread reaches.
template <typename Condition>
bool Eventually(Condition condition) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

EncodingEngine::Format StereoFormat(int rate, double fps) {
  return EncodingEngine::Format{kWidth, kHeight, fps, rate, 2};
}

enum class Producer { kThreads, kInline };

class EncodingEngineBoth : public testing::TestWithParam<Producer> {
 protected:
  void Start(EncodingEngine& engine) {
    if (GetParam() == Producer::kThreads) engine.StartThreads();
    else engine.StartInline();
  }
  void Produce(EncodingEngine& engine, const uint8_t* frame, const int16_t* audio, int n) {
    if (GetParam() == Producer::kThreads) engine.PushSample(frame, audio, n);
    else engine.EncodeInline(frame, audio, n);
  }
  // Frame `id` with the next 3200 sample frames of sound; `produced` counts
  // the sample frames handed over so far.
  void ProduceBlock(EncodingEngine& engine, int id, int* produced) {
    auto pcm = Audio(*produced, 3200);
    *produced += 3200;
    auto frame = Frame(id);
    Produce(engine, frame.data(), pcm.data(), 3200);
  }
};

TEST_P(EncodingEngineBoth, EveryFrameAndWholePeriodReachesTheSinkInOrder) {
  // 44100 Hz at 29.97 fps: periods of 1471 or 1472 sample frames. The
  // producer hands the audio in uneven pieces.
  EncodingEngine engine;
  RecordingSink sink;
  engine.Open(StereoFormat(44100, 29.97), &sink, true);
  Start(engine);
  constexpr int kFrames = 300;
  int produced = 0;
  for (int i = 0; i < kFrames; ++i) {
    int n = (i % 3 == 0) ? 1000 : 1707;
    auto pcm = Audio(produced, n);
    produced += n;
    auto frame = Frame(i);
    Produce(engine, frame.data(), pcm.data(), n);
  }
  engine.Stop();

  std::vector<int> expected_ids(kFrames);
  for (int i = 0; i < kFrames; ++i) expected_ids[i] = i;
  EXPECT_EQ(sink.frame_ids, expected_ids);

  // The audio comes out as it went in, cut into periods; the last period is
  // what was left when the capture ended, so nothing stays behind.
  EXPECT_EQ(sink.samples, Audio(0, produced));
  for (size_t i = 0; i + 1 < sink.period_sizes.size(); ++i)
    EXPECT_TRUE(sink.period_sizes[i] == 1471 || sink.period_sizes[i] == 1472) << sink.period_sizes[i];
  EXPECT_EQ(engine.video_frames(), kFrames);
}

TEST_P(EncodingEngineBoth, AFrameRateOfZeroStillDeliversEverything) {
  // The audio periods are rate / fps sample frames; at 0 fps that was an
  // infinite count, which the period buffer could not be sized to.
  EncodingEngine engine;
  RecordingSink sink;
  engine.Open(StereoFormat(44100, 0), &sink, true);
  Start(engine);
  int produced = 0;
  for (int i = 0; i < 10; ++i) {
    auto pcm = Audio(produced, 1470);
    produced += 1470;
    auto frame = Frame(i);
    Produce(engine, frame.data(), pcm.data(), 1470);
  }
  engine.Stop();
  EXPECT_EQ(sink.frame_ids, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(sink.samples, Audio(0, produced));
}

TEST_P(EncodingEngineBoth, FirstOfTwoPassesEncodesNoAudio) {
  EncodingEngine engine;
  RecordingSink sink;
  engine.Open(StereoFormat(48000, 15), &sink, /*audio_enabled=*/false);
  Start(engine);
  auto pcm = Audio(0, 3200);
  for (int i = 0; i < 50; ++i) {
    auto frame = Frame(i);
    Produce(engine, frame.data(), pcm.data(), 3200);
  }
  engine.Stop();
  EXPECT_EQ(sink.frame_ids.size(), 50u);
  EXPECT_TRUE(sink.period_sizes.empty());
  EXPECT_EQ(engine.buffered_audio_bytes(), 0);
}

TEST_P(EncodingEngineBoth, SwitchingPartsLosesNothingAndRestartsTheCounts) {
  EncodingEngine engine;
  RecordingSink first, second;
  engine.Open(StereoFormat(48000, 15), &first, true);
  Start(engine);
  int produced = 0;
  auto produce = [&](int id) { ProduceBlock(engine, id, &produced); };
  for (int i = 0; i < 40; ++i) produce(i);
  engine.HoldForSwitch();
  size_t first_frames = first.frame_ids.size();
  size_t first_samples = first.samples.size();
  EXPECT_EQ(engine.queued_frames(), 0);
  engine.ResumeAfterSwitch(&second);
  for (int i = 40; i < 80; ++i) produce(i);
  engine.Stop();

  EXPECT_EQ(first.frame_ids.size(), first_frames) << "the old part was written after the switch";
  EXPECT_EQ(first_samples, first.samples.size());
  std::vector<int> all = first.frame_ids;
  all.insert(all.end(), second.frame_ids.begin(), second.frame_ids.end());
  ASSERT_EQ(all.size(), 80u);
  for (int i = 0; i < 80; ++i) EXPECT_EQ(all[i], i);
  // Audio carries on seamlessly from one part into the next.
  std::vector<int16_t> audio = first.samples;
  audio.insert(audio.end(), second.samples.begin(), second.samples.end());
  EXPECT_EQ(audio, Audio(0, produced));
}

TEST_P(EncodingEngineBoth, AFailingSinkNeverBlocksTheProducerAndIsToldOnce) {
  EncodingEngine engine;
  RecordingSink sink;
  std::atomic<int> told{0};
  engine.set_failure_listener([&] { ++told; });
  sink.fail_at_frame = 10;
  engine.Open(StereoFormat(48000, 15), &sink, true);
  Start(engine);
  auto pcm = Audio(0, 3200);
  for (int i = 0; i < 300; ++i) {
    auto frame = Frame(i);
    Produce(engine, frame.data(), pcm.data(), 3200);
  }
  engine.Stop();
  EXPECT_EQ(sink.frame_ids.size(), 10u);
  EXPECT_EQ(told.load(), 1);
  EXPECT_TRUE(engine.output_failed());
  // The next file starts afresh.
  engine.Open(StereoFormat(48000, 15), &sink, true);
  EXPECT_FALSE(engine.output_failed());
}

TEST_P(EncodingEngineBoth, AFailedOutputTakesNothingMoreAndIsToldOnce) {
  EncodingEngine engine;
  RecordingSink sink;
  std::atomic<int> told{0};
  engine.set_failure_listener([&] { ++told; });
  engine.Open(StereoFormat(48000, 15), &sink, true);
  Start(engine);
  int produced = 0;
  auto produce = [&](int id) { ProduceBlock(engine, id, &produced); };
  for (int i = 0; i < 20; ++i) produce(i);
  engine.FailOutput();
  engine.FailOutput();
  // Far more than the queue and the audio buffer hold: a producer that
  // waited for room would never get here.
  for (int i = 1000; i < 1400; ++i) produce(i);
  engine.Stop();
  EXPECT_EQ(told.load(), 1);
  for (int id : sink.frame_ids) EXPECT_LT(id, 1000);
  EXPECT_LE(sink.samples.size(), static_cast<size_t>(20 * 3200 * 2));
}

// Sound that fails on its own leaves the pictures going; a file that
// failed under the sound ends the output.
TEST_P(EncodingEngineBoth, AFailedPeriodEndsTheOutputOnlyWhenTheFileFailed) {
  for (bool file : {false, true}) {
    SCOPED_TRACE(file);
    EncodingEngine engine;
    RecordingSink sink;
    std::atomic<int> told{0};
    engine.set_failure_listener([&] { ++told; });
    sink.fail_at_period = 5;
    sink.fail_takes_the_file = file;
    engine.Open(StereoFormat(48000, 15), &sink, true);
    Start(engine);
    auto pcm = Audio(0, 3200);
    for (int i = 0; i < 100; ++i) {
      auto frame = Frame(i);
      Produce(engine, frame.data(), pcm.data(), 3200);
    }
    engine.Stop();
    EXPECT_EQ(told.load(), file ? 1 : 0);
    EXPECT_EQ(engine.output_failed(), file);
    EXPECT_EQ(sink.period_sizes.size(), 5u);
    if (!file) {
      EXPECT_EQ(sink.frame_ids.size(), 100u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Producers, EncodingEngineBoth,
                         testing::Values(Producer::kThreads, Producer::kInline),
                         [](const testing::TestParamInfo<Producer>& info) {
                           return info.param == Producer::kThreads ? "Threads" : "Inline";
                         });

// The queue's bound by frame size: by count for small frames, by bytes for
// large ones, never below the few frames that keep the encoders fed.
struct QueueCase {
  int width, height, limit;
};
const QueueCase kQueueCases[] = {
    {kWidth, kHeight, 80}, {320, 240, 80}, {720, 480, 32}, {1280, 720, 12}, {1920, 1080, 8}};

TEST(EncodingEngineQueue, BoundByCountAndBytes) {
  for (const QueueCase& c : kQueueCases) {
    EXPECT_EQ(EncodingEngine::QueueLimit(c.width, c.height), c.limit) << c.width << "x" << c.height;
  }
}

class EncodingEngineFullQueue : public testing::TestWithParam<QueueCase> {
 protected:
  EncodingEngine::Format Shape() const {
    return EncodingEngine::Format{GetParam().width, GetParam().height, 15, 48000, 2};
  }
  size_t FrameBytes() const {
    return static_cast<size_t>(GetParam().width) * GetParam().height * 2;
  }
};

INSTANTIATE_TEST_SUITE_P(Sizes, EncodingEngineFullQueue,
                         testing::Values(kQueueCases[0], kQueueCases[3]),
                         [](const testing::TestParamInfo<QueueCase>& info) {
                           return std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height);
                         });

TEST_P(EncodingEngineFullQueue, InlineDropsTheFrameBeyondTheLimit) {
  // With audio enabled and no audio yet, the inline loop keeps frames queued.
  const int limit = GetParam().limit;
  EncodingEngine engine;
  RecordingSink sink;
  engine.Open(Shape(), &sink, true);
  engine.StartInline();
  for (int i = 0; i < limit + 1; ++i) {
    auto frame = Frame(i, FrameBytes());
    engine.EncodeInline(frame.data(), nullptr, 0);
  }
  EXPECT_EQ(engine.queued_frames(), limit);
  EXPECT_TRUE(sink.frame_ids.empty());
  // A period of audio (and one sample frame more) lets a frame through.
  auto pcm = Audio(0, 3201);
  engine.EncodeInline(nullptr, pcm.data(), 3201);
  EXPECT_EQ(sink.frame_ids, std::vector<int>{0});
  engine.Stop();
}

TEST_P(EncodingEngineFullQueue, ProducerWaitsWhileTheQueueIsFull) {
  const int limit = GetParam().limit;
  EncodingEngine engine;
  RecordingSink sink;
  sink.SetVideoOpen(false);
  engine.Open(Shape(), &sink, /*audio_enabled=*/false);
  engine.StartThreads();
  std::atomic<int> pushed{0};
  std::thread producer([&] {
    for (int i = 0; i < limit + 40; ++i) {
      auto frame = Frame(i, FrameBytes());
      engine.PushSample(frame.data(), nullptr, 0);
      ++pushed;
    }
  });
  // One frame is held by the closed sink, the limit waits in the queue.
  ASSERT_TRUE(Eventually([&] { return engine.queued_frames() == limit; }));
  EXPECT_LE(pushed.load(), limit + 1);
  sink.SetVideoOpen(true);
  producer.join();
  engine.Stop();
  EXPECT_EQ(sink.frame_ids.size(), static_cast<size_t>(limit + 40));
}

TEST(EncodingEngineInline, AudioBeyondTheBufferMakesRoomInsteadOfOverflowing) {
  // A producer that delivers audio only: whole periods are encoded to make
  // room, and what is kept is exactly what was given.
  EncodingEngine engine;
  RecordingSink sink;
  engine.Open(StereoFormat(48000, 15), &sink, true);
  engine.StartInline();
  int produced = 0;
  for (int i = 0; i < 20; ++i) {
    auto pcm = Audio(produced, 96000);
    produced += 96000;
    engine.EncodeInline(nullptr, pcm.data(), 96000);
    ASSERT_LE(engine.buffered_audio_bytes(), EncodingEngine::kAudioBufferBytes);
  }
  size_t kept = sink.samples.size() / 2 + engine.buffered_audio_bytes() / 4;
  EXPECT_EQ(kept, static_cast<size_t>(produced));
  EXPECT_EQ(sink.samples, Audio(0, static_cast<int>(sink.samples.size() / 2)));
  engine.Stop();
}

TEST(EncodingEngineThreads, AudioFarAheadOfVideoWaitsForRoom) {
  EncodingEngine engine;
  RecordingSink sink;
  sink.SetAudioOpen(false);
  engine.Open(StereoFormat(48000, 15), &sink, true);
  engine.StartThreads();
  std::atomic<int> pushed{0};
  constexpr int kBlock = 96000;  // 384,000 bytes of stereo
  std::thread producer([&] {
    int start = 0;
    for (int i = 0; i < 8; ++i) {
      auto pcm = Audio(start, kBlock);
      start += kBlock;
      engine.PushSample(nullptr, pcm.data(), kBlock);
      ++pushed;
    }
  });
  // The buffer takes four blocks (minus the period the closed sink holds);
  // the producer then waits for room.
  ASSERT_TRUE(Eventually([&] { return pushed.load() >= 4; }));
  ASSERT_TRUE(Eventually([&] {
    return engine.buffered_audio_bytes() + kBlock * 4 > EncodingEngine::kAudioBufferBytes;
  }));
  EXPECT_LT(pushed.load(), 8);
  sink.SetAudioOpen(true);
  producer.join();
  engine.Stop();
  EXPECT_EQ(sink.samples, Audio(0, 8 * kBlock));
}

}  // namespace
}  // namespace ovc
