#include "engine/playback/capture_audio_buffer.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <random>

#include "engine/playback/capture_test_support.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr int kBlock = 2 * kChannels;
constexpr int64_t kBytesPerSecond = int64_t{kRate} * kBlock;

// `seconds` of stereo audio whose every sample is `value`.
std::vector<int16_t> Tone(double seconds, int16_t value) {
  return std::vector<int16_t>(static_cast<size_t>(std::llround(seconds * kRate)) * kChannels,
                              value);
}

int64_t Bytes(const std::vector<int16_t>& pcm) { return static_cast<int64_t>(pcm.size()) * 2; }

class CaptureAudioBufferTest : public testing::Test {
 protected:
  CaptureAudioBufferTest() { buffer_.SetFormat(kRate, kChannels); }

  // Stores `seconds` of audio starting at `t1`.
  std::optional<int64_t> Store(double t1, double seconds, int16_t value = 1000) {
    std::vector<int16_t> pcm = Tone(seconds, value);
    return buffer_.Store(pcm.data(), Bytes(pcm), t1, t1 + seconds);
  }
  int16_t SampleAt(int64_t byte) const {
    int16_t value;
    std::memcpy(&value, buffer_.bytes() + byte, 2);
    return value;
  }

  test::TempWorld world_;
  CaptureAudioBuffer buffer_;
  test::FakeTarget target_;
};

// Where a block lands relative to two seconds of buffered audio.
struct PlacementCase {
  const char* name;
  double t1;            // the block's start, seconds
  int64_t fill;         // expected bytes buffered afterwards
  double start_time;    // expected buffer start time
  int64_t block_at;     // expected byte position of the block's first sample
  bool traced;          // "Time goes back" traced
};
void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }

class PlacementTest : public CaptureAudioBufferTest,
                      public testing::WithParamInterface<PlacementCase> {};

TEST_P(PlacementTest, PlacesTheBlockByItsTimeStamp) {
  const PlacementCase& c = GetParam();
  ASSERT_TRUE(Store(0.0, 2.0, 1000));
  Store(c.t1, 0.1, 2000);
  EXPECT_EQ(buffer_.fill(), c.fill);
  EXPECT_DOUBLE_EQ(buffer_.start_time(), c.start_time);
  EXPECT_EQ(SampleAt(c.block_at), 2000);
  if (c.block_at > 0) {
    EXPECT_NE(SampleAt(c.block_at - 2), 2000);
  }
  EXPECT_EQ(test::TraceHas("Time goes back."), c.traced);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlacementTest,
    testing::Values(
        // Overlaps the buffered audio by 0.05 s: placed by its own stamp.
        PlacementCase{"OverlappingBlockKeepsItsPlace", 1.95, 2 * kBytesPerSecond +
                      kBytesPerSecond / 20, 0.0, 195 * kBytesPerSecond / 100, false},
        // 0.02 s after the end: joined to it without a seam.
        PlacementCase{"NearlyTouchingBlockIsAppended", 2.02, 21 * kBytesPerSecond / 10, 0.0,
                      2 * kBytesPerSecond, false},
        // 0.1 s before the end: the time line went back.
        PlacementCase{"EarlierBlockRestartsTheBuffer", 1.9, kBytesPerSecond / 10, 1.9, 0,
                      true}),
    [](const testing::TestParamInfo<PlacementCase>& info) { return std::string(info.param.name); });

TEST_F(CaptureAudioBufferTest, AHoleBeforeALaterBlockIsSilence) {
  // Leave stale audio in the buffer beyond the fill.
  ASSERT_TRUE(Store(0.0, 2.0, 777));
  buffer_.AlignStart(1.5);  // drops 1.5 s; the old bytes stay behind the fill
  ASSERT_EQ(buffer_.fill(), kBytesPerSecond / 2);
  Store(2.5, 0.1, 3000);  // 0.5 s after the buffered audio
  ASSERT_EQ(buffer_.fill(), kBytesPerSecond * 11 / 10);
  for (int64_t byte = kBytesPerSecond / 2; byte < kBytesPerSecond; byte += 2)
    ASSERT_EQ(SampleAt(byte), 0) << byte;
  EXPECT_EQ(SampleAt(kBytesPerSecond), 3000);
}

TEST_F(CaptureAudioBufferTest, ABlockBeyondTheCapacityDropsTheOldestAudio) {
  ASSERT_TRUE(Store(0.0, 10.0, 1));
  auto end = Store(10.0, 10.0, 2);  // ends 20 s after the start; 18 s fit
  ASSERT_TRUE(end);
  // The block joins the buffered audio one sample frame early (they nearly
  // touch), so the buffer ends one sample frame short of full.
  EXPECT_EQ(buffer_.fill(), CaptureAudioBuffer::kCapacity - kBlock);
  EXPECT_NEAR(buffer_.start_time(), 2.0, 1e-9);
  EXPECT_EQ(SampleAt(0), 1);
  EXPECT_EQ(SampleAt(8 * kBytesPerSecond - 2 * kBlock), 1);
  EXPECT_EQ(SampleAt(8 * kBytesPerSecond - kBlock), 2);
}

TEST_F(CaptureAudioBufferTest, ABlockFarAheadRestartsTheBuffer) {
  ASSERT_TRUE(Store(0.0, 1.0));
  auto end = Store(100.0, 0.1, 5);
  ASSERT_TRUE(end);
  EXPECT_GE(*end, 2 * CaptureAudioBuffer::kCapacity);
  EXPECT_EQ(buffer_.fill(), kBytesPerSecond / 10);
  EXPECT_DOUBLE_EQ(buffer_.start_time(), 100.0);
}

TEST_F(CaptureAudioBufferTest, HostileTimeStampsStayInsideTheBuffer) {
  const double extremes[] = {-1e300, -9.2e11, -1.0, 0.0, 1e-9, 17.99, 1e11, 9.2e11, 1e300,
                             std::numeric_limits<double>::quiet_NaN()};
  std::mt19937 random(5);
  std::vector<int16_t> pcm = Tone(0.5, 9);
  for (int round = 0; round < 400; ++round) {
    double t1 = extremes[random() % std::size(extremes)] + (random() % 1000) * 0.01;
    double t2 = round % 3 == 0 ? t1 - 5 : t1 + 0.5;
    buffer_.Store(pcm.data(), Bytes(pcm), t1, t2);
    ASSERT_GE(buffer_.fill(), 0);
    ASSERT_LE(buffer_.fill(), CaptureAudioBuffer::kCapacity);
    double frame_time = extremes[random() % std::size(extremes)];
    buffer_.EmitFrame(frame_time, 1 / 29.97, nullptr, &target_, 0);
    ASSERT_LE(buffer_.fill(), CaptureAudioBuffer::kCapacity);
  }
  for (const test::ProducedCall& call : target_.calls)
    ASSERT_LE(call.audio.size() * 2, static_cast<size_t>(CaptureAudioBuffer::kSplitBytes));
}

TEST_F(CaptureAudioBufferTest, ALargeSliceIsSplitAndTheLastPeriodHandedOverAgain) {
  // At 25 fps a frame period is 7,680 bytes. 103 frames without audio owe
  // 791,040 bytes, so the next frame's slice is 798,720 bytes.
  const double period = 1 / 25.0;
  const uint8_t picture[4] = {1, 2, 3, 4};
  for (int frame = 0; frame < 103; ++frame)
    buffer_.EmitFrame(frame * period, period, picture, &target_, 0);
  ASSERT_EQ(buffer_.borrow(), 103 * 7680);
  ASSERT_EQ(target_.Audio().size(), 0u);
  target_.calls.clear();

  // Five seconds of audio arrive; each sample frame holds its own index.
  std::vector<int16_t> ramp(5 * kRate * kChannels);
  for (int i = 0; i < 5 * kRate; ++i) {
    ramp[2 * i] = static_cast<int16_t>(i & 0x7FFF);
    ramp[2 * i + 1] = static_cast<int16_t>(i >> 15);
  }
  buffer_.Store(ramp.data(), Bytes(ramp), 0.0, 5.0);
  buffer_.EmitFrame(103 * period, period, picture, &target_, 0);

  ASSERT_EQ(target_.calls.size(), 2u);
  EXPECT_TRUE(target_.calls[0].has_frame);
  EXPECT_TRUE(target_.calls[1].has_frame);
  EXPECT_EQ(target_.calls[0].audio.size() * 2, 768000u);
  // The rest, plus the last period of the first call once more.
  EXPECT_EQ(target_.calls[1].audio.size() * 2, 798720u - 768000u + 7680u);
  auto index_of = [](const std::vector<int16_t>& pcm, size_t frame) {
    return pcm[2 * frame] + (pcm[2 * frame + 1] << 15);
  };
  EXPECT_EQ(index_of(target_.calls[0].audio, 0), 0);
  EXPECT_EQ(index_of(target_.calls[1].audio, 0), (768000 - 7680) / kBlock);
  EXPECT_EQ(index_of(target_.calls[1].audio, target_.calls[1].audio.size() / 2 - 1),
            798720 / kBlock - 1);
  EXPECT_TRUE(test::TraceHas("Large audio chunk. Split. x1=0 x2=798720"));
  EXPECT_EQ(buffer_.borrow(), 0);
  EXPECT_EQ(buffer_.fill(), 5 * kBytesPerSecond - 798720);
  EXPECT_NEAR(buffer_.start_time(), 104 * period, 1e-9);
}

TEST_F(CaptureAudioBufferTest, ALongDebtIsPaidWithSecondsOfSilence) {
  const double period = 1 / 25.0;
  const uint8_t picture[4] = {};
  // 200 frames (8 s) without any audio: at 1,536,000 bytes owed, one second
  // of silence is handed over with a repeated picture.
  for (int frame = 0; frame < 200; ++frame)
    buffer_.EmitFrame(frame * period, period, picture, &target_, 0);
  int silence_calls = 0;
  for (const test::ProducedCall& call : target_.calls)
    if (call.audio.size() * 2 == static_cast<size_t>(CaptureAudioBuffer::kSilenceBytes)) {
      ++silence_calls;
      for (int16_t sample : call.audio) ASSERT_EQ(sample, 0);
    }
  EXPECT_EQ(silence_calls, 1);
  EXPECT_TRUE(test::TraceHas("  Not enough audio. Fill in blank ..... audio_borrow: "));
  // The silence paid its second less the repeated frame's period.
  EXPECT_EQ(buffer_.borrow(), 200 * 7680 - (192000 - 7680));
}

// Silence after a sound that has ended, up to the end of the frames about to
// be handed over.
struct PadCase {
  const char* name;
  double stored_from;  // audio (value 1000) buffered from…
  double stored_to;    // …to (seconds; equal: none)
  double from;         // the frames' start
  double until;        // their end
  double start_time;   // expected buffer start time
  double filled_to;    // expected end of what the buffer holds, seconds
  double sound_to;     // expected end of the sound in it (silence after)
};
void PrintTo(const PadCase& c, std::ostream* os) { *os << c.name; }

class PadTest : public CaptureAudioBufferTest, public testing::WithParamInterface<PadCase> {};

TEST_P(PadTest, SilenceFollowsTheSoundUpToTheFramesEnd) {
  const PadCase& c = GetParam();
  if (c.stored_to > c.stored_from) Store(c.stored_from, c.stored_to - c.stored_from);
  buffer_.PadWithSilence(c.from, c.until);
  EXPECT_NEAR(buffer_.start_time(), c.start_time, 1e-9);
  // Silence added up to the frames' end goes one sample frame beyond it.
  const int64_t filled = std::min<int64_t>(
      std::llround((c.filled_to - c.start_time) * kRate) * kBlock +
          (c.filled_to == c.until ? kBlock : 0),
      CaptureAudioBuffer::kCapacity);
  EXPECT_EQ(buffer_.fill(), filled);
  const int64_t sound = std::llround((c.sound_to - c.start_time) * kRate) * kBlock;
  for (int64_t byte = 0; byte < buffer_.fill(); byte += kBlock)
    ASSERT_EQ(SampleAt(byte), byte < sound ? 1000 : 0) << byte;
}

INSTANTIATE_TEST_SUITE_P(
    Ends, PadTest,
    testing::Values(
        // No sound at all: the buffer starts at the frames.
        PadCase{"Empty", 0, 0, 2.0, 2.5, 2.0, 2.5, 2.0},
        // The sound ends inside the frames: silence after it.
        PadCase{"EndsInside", 0.0, 0.2, 0.1, 0.5, 0.0, 0.5, 0.2},
        // The sound reaches past the frames: nothing to add.
        PadCase{"ReachesPast", 0.0, 0.6, 0.1, 0.5, 0.0, 0.6, 0.6},
        // What is buffered lies before the frames (the pictures jumped).
        PadCase{"AllBefore", 0.0, 0.2, 3.0, 3.1, 3.0, 3.1, 3.0},
        // Never more than the buffer holds.
        PadCase{"PastTheCapacity", 0, 0, 0.0, 30.0, 0.0, 30.0, 0.0}),
    [](const testing::TestParamInfo<PadCase>& info) { return std::string(info.param.name); });

TEST_F(CaptureAudioBufferTest, SilenceAfterAnEndedSoundPaysTheDebt) {
  const double period = 1 / 25.0;
  const uint8_t picture[4] = {};
  // Two frames lacked their audio (it never came: the sound ended).
  buffer_.EmitFrame(0, period, picture, &target_, 0);
  buffer_.EmitFrame(period, period, picture, &target_, 0);
  ASSERT_GT(buffer_.borrow(), 0);
  buffer_.PadWithSilence(2 * period, 3 * period);
  buffer_.EmitFrame(2 * period, period, picture, &target_, 0);
  // Three frames' worth of audio in all.
  EXPECT_EQ(target_.Audio().size(), static_cast<size_t>(3 * kRate / 25 * kChannels));
  EXPECT_EQ(buffer_.borrow(), 0);
}

}  // namespace
}  // namespace ovc
