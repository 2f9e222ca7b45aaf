// The capture at the ends of its streams: a source without sound, sound that
// ends before the pictures, sound that runs on after them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <vector>

#include "engine/playback/capture_stage.h"
#include "engine/playback/capture_test_support.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

using media::ReferenceTime;
using test::FakeSample;
using test::UnitsAt;

constexpr int kWidth = 16;
constexpr int kHeight = 8;
constexpr double kPictureRate = 25;
constexpr int kSoundRate = 48000;
constexpr double kBlockSeconds = 0.02;  // one delivered block of sound
constexpr int16_t kLevel = 1000;        // every sample of the source's sound

class StreamEndsTest : public testing::Test {
 protected:
  StreamEndsTest() {
    output_.width = kWidth;
    output_.height = kHeight;
    stage_.set_waits({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
    FakeSample typed(test::PictureWithId(0, kWidth, kHeight),
                     test::Yuy2Type(kWidth, kHeight, UnitsAt(1, kPictureRate)));
    stage_.AdoptVideoType(&typed);
  }

  void WithSound() {
    FakeSample typed({}, test::PcmType(kSoundRate, 2));
    stage_.AdoptAudioType(&typed);
  }
  // Pictures [first, last) at kPictureRate, each showing its number.
  void Pictures(int first, int last) {
    for (int i = first; i < last; ++i) {
      FakeSample sample(test::PictureWithId(i, kWidth, kHeight));
      ReferenceTime start = UnitsAt(i, kPictureRate);
      ReferenceTime stop = UnitsAt(i + 1, kPictureRate);
      stage_.OnVideoSample(sample, &start, &stop, 0, 0);
    }
  }
  // Stereo sound from `from` to `to` seconds, in blocks.
  void Sound(double from, double to) {
    const int64_t first = std::llround(from / kBlockSeconds);
    const int64_t last = std::llround(to / kBlockSeconds);
    const int frames = static_cast<int>(kSoundRate * kBlockSeconds);
    for (int64_t block = first; block < last; ++block) {
      std::vector<uint8_t> bytes(static_cast<size_t>(frames) * 4);
      for (size_t i = 0; i < bytes.size(); i += 2) std::memcpy(&bytes[i], &kLevel, 2);
      ReferenceTime start = UnitsAt(block * frames, kSoundRate);
      ReferenceTime stop = UnitsAt((block + 1) * frames, kSoundRate);
      FakeSample sample(std::move(bytes));
      stage_.OnAudioSample(sample, &start, &stop, 0, 0);
    }
  }
  // Sample frames handed over, and those of them that carry sound.
  int64_t SampleFrames() const { return static_cast<int64_t>(target_.Audio().size() / 2); }
  int64_t SoundFrames() const {
    int64_t count = 0;
    const std::vector<int16_t> audio = target_.Audio();
    for (size_t i = 0; i < audio.size(); i += 2) count += audio[i] != 0;
    return count;
  }
  // Output time the frames handed over cover, in seconds.
  double FramesSeconds() const { return target_.FramesProduced() / output_.out_frame_rate; }

  // The recording starts with the settings as the test left them.
  void BeginRecording(bool need_resize) {
    stage_.SetOutput(output_);
    stage_.BeginRecording(need_resize);
  }

  test::TempWorld world_;
  test::FakeTicks ticks_;
  RecordingClock clock_{&ticks_};
  OutputConfig output_;
  test::FakeTarget target_;
  test::FakeHost host_;
  CaptureStage stage_{&clock_, &target_, &host_};
};

// A source without sound: every output frame gets its own time of silence,
// the pictures their own timing.
class SoundlessTest : public StreamEndsTest, public testing::WithParamInterface<double> {};

TEST_P(SoundlessTest, EveryFrameGetsItsTimeOfSilence) {
  output_.out_frame_rate = GetParam();
  test::FakeSample earlier({}, test::PcmType(22050, 1));  // what an earlier source had
  stage_.AdoptAudioType(&earlier);
  stage_.SetSourceHasSound(false);
  EXPECT_EQ(stage_.source_audio_format().rate, kSilentTrackRate);
  EXPECT_EQ(stage_.source_audio_format().channels, kSilentTrackChannels);
  BeginRecording(false);
  Pictures(0, 50);  // 2 s
  stage_.OnVideoEnd();

  const int frames = target_.FramesProduced();
  EXPECT_NEAR(frames, 2.0 * GetParam(), 1.0);
  // Each frame call carries a frame period of silence, no call is without
  // a picture.
  for (const test::ProducedCall& call : target_.calls) {
    ASSERT_TRUE(call.has_frame);
    EXPECT_NEAR(static_cast<double>(call.audio.size() / 2), kSilentTrackRate / GetParam(), 1.0);
  }
  EXPECT_NEAR(static_cast<double>(SampleFrames()), frames * kSilentTrackRate / GetParam(), 1.0);
  EXPECT_EQ(SoundFrames(), 0);
}

INSTANTIATE_TEST_SUITE_P(OutputRates, SoundlessTest, testing::Values(25.0, 30000.0 / 1001, 15.0));

// Sound that ends before the pictures: every picture is kept, the frames
// after the sound get silence.
struct ShortSoundCase {
  const char* name;
  double sound_seconds;
  int pictures;
};
void PrintTo(const ShortSoundCase& c, std::ostream* os) { *os << c.name; }

class ShortSoundTest : public StreamEndsTest, public testing::WithParamInterface<ShortSoundCase> {};

TEST_P(ShortSoundTest, EveryPictureIsKeptWithSilenceAfterTheSound) {
  const ShortSoundCase& c = GetParam();
  output_.out_frame_rate = kPictureRate;
  WithSound();
  BeginRecording(false);
  Sound(0, c.sound_seconds);
  stage_.OnAudioEnd();
  Pictures(0, c.pictures);

  std::vector<int> expected(c.pictures);
  for (int i = 0; i < c.pictures; ++i) expected[i] = i;
  EXPECT_EQ(target_.FrameIds(), expected);
  const double seconds = c.pictures / kPictureRate;
  EXPECT_EQ(SampleFrames(), std::llround(seconds * kSoundRate));
  EXPECT_EQ(SoundFrames(), std::llround(c.sound_seconds * kSoundRate));
  EXPECT_FALSE(stage_.waiting_for_audio());
}

INSTANTIATE_TEST_SUITE_P(
    Ends, ShortSoundTest,
    testing::Values(ShortSoundCase{"MenuClip", 0.34, 22},  // 0.88 s of pictures
                    ShortSoundCase{"Halfway", 1.0, 50},
                    ShortSoundCase{"NoSoundInTheRange", 0.0, 25}),
    [](const auto& info) { return std::string(info.param.name); });

// Sound that runs on after the pictures: the output lasts as long as the
// sound, the last picture held.
struct LongSoundCase {
  const char* name;
  int pictures;
  double sound_seconds;
  double output_rate;
  double seconds;  // expected output length
};
void PrintTo(const LongSoundCase& c, std::ostream* os) { *os << c.name; }

class LongSoundTest : public StreamEndsTest, public testing::WithParamInterface<LongSoundCase> {};

TEST_P(LongSoundTest, TheLastPictureIsHeldForTheRestOfTheSound) {
  const LongSoundCase& c = GetParam();
  output_.out_frame_rate = c.output_rate;
  WithSound();
  BeginRecording(false);
  const double pictures_end = c.pictures / kPictureRate;
  // The sound runs a little ahead of the pictures, as the graph keeps it.
  Sound(0, std::min(pictures_end + 0.2, c.sound_seconds));
  Pictures(0, c.pictures);
  stage_.OnVideoEnd();
  Sound(std::min(pictures_end + 0.2, c.sound_seconds), c.sound_seconds);
  stage_.OnAudioEnd();

  EXPECT_NEAR(FramesSeconds(), c.seconds, 0.5 / c.output_rate);
  const std::vector<int> ids = target_.FrameIds();
  ASSERT_FALSE(ids.empty());
  // Pictures in order, then the last one repeated.
  const auto first_last = std::find(ids.begin(), ids.end(), c.pictures - 1);
  ASSERT_NE(first_last, ids.end());
  for (auto it = first_last; it != ids.end(); ++it) ASSERT_EQ(*it, c.pictures - 1);
  // The sound goes with them, frame by frame.
  EXPECT_NEAR(static_cast<double>(SampleFrames()), FramesSeconds() * kSoundRate,
              kSoundRate / c.output_rate);
  EXPECT_NEAR(static_cast<double>(SoundFrames()),
              std::min(c.seconds, c.sound_seconds) * kSoundRate, kSoundRate / c.output_rate);
  EXPECT_GT(host_.progress_posts, static_cast<int>(c.seconds * c.output_rate) / 20 - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, LongSoundTest,
    testing::Values(LongSoundCase{"ThreeTimesTheLength", 25, 3.0, 25, 3.0},
                    LongSoundCase{"OtherOutputRate", 25, 3.0, 30000.0 / 1001, 3.0},
                    // The rounding of the two ends is no reason to hold it.
                    LongSoundCase{"WithinTheSlack", 25, 1.02, 25, 1.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StreamEndsTest, AHeldPictureStopsAtTheStopPoint) {
  output_.out_frame_rate = kPictureRate;
  WithSound();
  stage_.SetStopTime(2.0);
  BeginRecording(false);
  Sound(0, 1.2);
  Pictures(0, 25);
  stage_.OnVideoEnd();
  Sound(1.2, 3.0);
  stage_.OnAudioEnd();
  EXPECT_EQ(target_.FramesProduced(), 50);
  EXPECT_EQ(host_.stop_points, 1);
}

TEST_F(StreamEndsTest, ANewRecordingForgetsTheEndsOfTheLastOne) {
  output_.out_frame_rate = kPictureRate;
  WithSound();
  BeginRecording(false);
  Sound(0, 0.6);
  Pictures(0, 10);
  stage_.OnVideoEnd();
  stage_.OnAudioEnd();
  target_.calls.clear();

  // The second pass: pictures that still come are no held ones, and sound
  // after the pictures waits for them instead of making frames.
  BeginRecording(false);
  Sound(0, 0.6);
  EXPECT_EQ(target_.FramesProduced(), 0);
  Pictures(0, 10);
  EXPECT_EQ(target_.FramesProduced(), 10);
  EXPECT_EQ(SoundFrames(), SampleFrames());
}

}  // namespace
}  // namespace ovc
