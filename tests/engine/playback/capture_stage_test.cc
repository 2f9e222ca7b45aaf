#include "engine/playback/capture_stage.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <future>
#include <ostream>
#include <random>
#include <set>
#include <thread>

#include "engine/playback/capture_test_support.h"
#include "engine/playback/frame_time_estimator.h"
#include "platform/av/i420_frame.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

using media::ReferenceTime;
using test::FakeSample;
using test::UnitsAt;

constexpr int kWidth = 16;
constexpr int kHeight = 8;

class CaptureStageTest : public testing::Test {
 protected:
  CaptureStageTest() {
    output_.width = kWidth;
    output_.height = kHeight;
    output_.out_frame_rate = 25;
    stage_.set_waits({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
  }

  // Delivers picture `id` for [start, stop), with `type` attached when given.
  int Picture(int id, ReferenceTime start, ReferenceTime stop,
              std::optional<media::MediaType> type = std::nullopt, int width = kWidth,
              int height = kHeight) {
    FakeSample sample(test::PictureWithId(id, width, height), std::move(type));
    return stage_.OnVideoSample(sample, &start, &stop, 0, 0);
  }
  // Delivers interleaved 16-bit PCM stamped at `start`.
  void Audio(const std::vector<int16_t>& pcm, ReferenceTime start, int rate, int channels,
             std::optional<media::MediaType> type = std::nullopt) {
    std::vector<uint8_t> bytes(pcm.size() * 2);
    std::memcpy(bytes.data(), pcm.data(), bytes.size());
    ReferenceTime stop = start + UnitsAt(static_cast<int64_t>(pcm.size() / channels), rate);
    FakeSample sample(std::move(bytes), std::move(type));
    stage_.OnAudioSample(sample, &start, &stop, 0, 0);
  }
  void AdoptPictureType(ReferenceTime frame_time, int width = kWidth, int height = kHeight) {
    FakeSample typed(test::PictureWithId(0, width, height),
                     test::Yuy2Type(width, height, frame_time));
    stage_.AdoptVideoType(&typed);
  }
  // Delivers `count` pictures, picture i for [start(i), stop(i)), asking
  // before each, as the decoder asks, whether the recording uses it; returns
  // those it does not (the decoder may leave them undecoded).
  std::vector<int> PicturesAskingFirst(int count, const std::function<ReferenceTime(int)>& start,
                                       const std::function<ReferenceTime(int)>& stop) {
    std::vector<int> unused;
    for (int i = 0; i < count; ++i) {
      if (i > 0 && !stage_.UsesPicture(start(i - 1), stop(i - 1), start(i), stop(i)))
        unused.push_back(i);
      Picture(i, start(i), stop(i));
    }
    return unused;
  }
  // None of the pictures left out is shown, and most of those not shown
  // (of `count`) are left out.
  void ExpectLeftOutUnshown(const std::vector<int>& unused, int count) {
    const std::vector<int> ids = target_.FrameIds();
    const std::set<int> shown(ids.begin(), ids.end());
    for (int i : unused) EXPECT_EQ(shown.count(i), 0u) << "picture " << i;
    EXPECT_GE(unused.size() * 10, (count - shown.size()) * 7);
  }
  void AdoptAudio(int rate, int channels, int bits = 16) {
    FakeSample typed({}, test::PcmType(rate, channels, bits));
    stage_.AdoptAudioType(&typed);
    target_.channels = channels;
  }

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

// ---------------------------------------------------------------------------
// The output grid.

struct GridCase {
  const char* name;
  double input_rate;   // pictures per second
  double output_rate;  // output frames per second
  int pictures;
};
void PrintTo(const GridCase& c, std::ostream* os) { *os << c.name; }

class GridTest : public CaptureStageTest, public testing::WithParamInterface<GridCase> {};

TEST_P(GridTest, EachOutputFrameShowsThePictureOnScreenAtItsMiddle) {
  const GridCase& c = GetParam();
  output_.out_frame_rate = c.output_rate;
  AdoptPictureType(UnitsAt(1, c.input_rate));
  BeginRecording(false);
  const std::vector<int> unused = PicturesAskingFirst(
      c.pictures, [&](int i) { return UnitsAt(i, c.input_rate); },
      [&](int i) { return UnitsAt(i + 1, c.input_rate); });

  // Output frame j covers [j/F, (j+1)/F); it is the picture that is on
  // screen at its middle (on a boundary: the earlier picture).
  std::vector<int> expected;
  for (int j = 0;; ++j) {
    double middle = (j + 0.5) / c.output_rate;
    int picture = static_cast<int>(std::ceil(middle * c.input_rate - 1e-6)) - 1;
    if (picture >= c.pictures) break;
    expected.push_back(picture);
  }
  // A fast source's first picture has no gap before it to be timed by: it
  // is taken to last a plausible frame, and shows in the first frame.
  if (!FrameTimeEstimator::Plausible(1 / c.input_rate)) expected.front() = 0;
  EXPECT_EQ(target_.FrameIds(), expected);
  EXPECT_EQ(host_.progress_posts, (c.pictures + 19) / 20);
  ExpectLeftOutUnshown(unused, c.pictures);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, GridTest,
    testing::Values(GridCase{"Same25", 25, 25, 100}, GridCase{"Half25To12_5", 25, 12.5, 100},
                    GridCase{"Drop25To15", 25, 15, 100}, GridCase{"Double15To30", 15, 30, 45},
                    GridCase{"Film23_976To29_97", 24000.0 / 1001, 30000.0 / 1001, 96},
                    GridCase{"Ntsc29_97To14_985", 30000.0 / 1001, 15000.0 / 1001, 90},
                    // Slow motion: pictures shorter than any plausible frame.
                    GridCase{"Fast120To29_97", 120, 30000.0 / 1001, 480},
                    GridCase{"Fast240To25", 240, 25, 480},
                    // Pictures longer than any plausible frame still cover
                    // their time.
                    GridCase{"Slow5To25", 5, 25, 10},
                    GridCase{"Slow0_5To29_97", 0.5, 30000.0 / 1001, 3},
                    GridCase{"Slow0_4To12_5", 0.4, 12.5, 3}),
    [](const testing::TestParamInfo<GridCase>& info) { return std::string(info.param.name); });

TEST_F(CaptureStageTest, ASlowMotionPictureLeftOutIsNeverOneAFrameShowsThoughStampsAreRounded) {
  // 120 pictures a second in a container that keeps milliseconds: the
  // pictures' stamps and their gaps are 8 or 9 ms.
  constexpr int kPictures = 480;
  const auto stamp = [](int i) {
    return static_cast<ReferenceTime>(std::lround(i * 1000.0 / 120)) * 10000;
  };
  output_.out_frame_rate = 30000.0 / 1001;
  AdoptPictureType(UnitsAt(1, 120));
  BeginRecording(false);
  // Every picture is said to last 8 ms, the rounded frame time.
  constexpr ReferenceTime kDuration = 80000;
  ExpectLeftOutUnshown(
      PicturesAskingFirst(kPictures, stamp, [&](int i) { return stamp(i) + kDuration; }),
      kPictures);
}

struct SpanCase {
  double declared;  // seconds; 0 or less: the sample has no stop time
  double estimate;
  bool rate_plausible;
  double span;
};

TEST(PictureSpanTest, ALongPictureOfASlowStreamCoversItsDeclaredTimeUpToTheLimit) {
  const SpanCase cases[] = {
      {0.04, 0.04, true, 0.04},    // an ordinary frame: the estimate
      {0.04, 0.04, false, 0.04},
      {0.1, 0.042, false, 0.042},  // still a plausible frame time
      {0, 0.042, false, 0.042},    // no stop time
      {-3, 0.042, false, 0.042},   // a stop before the start
      {0.2, 0.042, false, 0.2},    // 5 pictures a second
      {2.0, 0.042, false, 2.0},    // one picture every 2 s
      {kLongestPicture, 0.042, false, kLongestPicture},
      {3600, 0.042, false, kLongestPicture},
      {std::nan(""), 0.042, false, 0.042},
      // A stream of 25 pictures a second: a long picture stands before a
      // hole.
      {2.0, 0.042, true, 0.042},
      {0.2, 0.04, true, 0.04},
  };
  for (const SpanCase& c : cases)
    EXPECT_EQ(PictureSpan(c.declared, c.estimate, c.rate_plausible), c.span)
        << "declared " << c.declared << (c.rate_plausible ? " of a plausible rate" : "");
}

TEST_F(CaptureStageTest, NoOutputFrameStartsAtOrAfterTheStopPoint) {
  output_.out_frame_rate = 15;
  AdoptPictureType(UnitsAt(1, 25));
  stage_.SetStopTime(2.0);
  BeginRecording(false);
  for (int i = 0; i < 100; ++i) Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25));
  // 15 fps over [0, 2): frames 0 .. 29, the last starting at 1.933 s.
  EXPECT_EQ(target_.FramesProduced(), 30);
  EXPECT_EQ(host_.stop_points, 1);

  // A new recording forgets it; without a stop time everything goes out.
  stage_.SetStopTime(-1);
  BeginRecording(false);
  for (int i = 0; i < 50; ++i) Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25));
  EXPECT_EQ(target_.FramesProduced(), 30 + 30);
  EXPECT_EQ(host_.stop_points, 1);
}

TEST_F(CaptureStageTest, ALargeGapMovesTheGridAndEmitsNothingForIt) {
  AdoptPictureType(UnitsAt(1, 25));
  AdoptAudio(48000, 2);
  BeginRecording(false);
  // Audio all along, each sample frame holding its index + 1.
  std::vector<int16_t> audio(2 * 48000 * 5);
  for (int i = 0; i < 48000 * 5; ++i) {
    audio[2 * i] = static_cast<int16_t>((i + 1) & 0x7FFF);
    audio[2 * i + 1] = static_cast<int16_t>((i + 1) >> 15);
  }
  int fed = 0;
  auto feed_until = [&](double seconds) {
    while (fed * 960 < seconds * 48000) {
      std::vector<int16_t> block(audio.begin() + fed * 1920, audio.begin() + (fed + 1) * 1920);
      Audio(block, UnitsAt(fed * 960, 48000), 48000, 2);
      ++fed;
    }
  };
  std::vector<int> stamps;
  for (int i = 0; i < 25; ++i) stamps.push_back(i);        // 0 .. 0.96 s
  for (int i = 0; i < 25; ++i) stamps.push_back(i + 87);   // 3.48 .. 4.44 s
  for (int i = 0; i < 50; ++i) {
    feed_until(stamps[i] / 25.0 + 0.2);
    Picture(i, UnitsAt(stamps[i], 25), UnitsAt(stamps[i] + 1, 25));
  }
  ASSERT_EQ(target_.FramesProduced(), 50);
  EXPECT_TRUE(test::TraceHas("Large gap between video samples t1:3.48000 expecting:1.00000"));
  // The recorded time leaves the gap out.
  EXPECT_NEAR(stage_.recorded_seconds(), 49 * 0.04, 1e-9);
  // The first frame after the gap carries the audio of 3.48 s.
  ASSERT_EQ(target_.calls[25].audio.size(), 1920u * 2);
  int index = target_.calls[25].audio[0] + (target_.calls[25].audio[1] << 15);
  EXPECT_EQ(index, 87 * 1920 + 1);

  // A second pass has recorded nothing until its first picture: the first
  // pass's time must not read as its progress.
  BeginRecording(false);
  EXPECT_EQ(stage_.recorded_seconds(), 0);
}

TEST_F(CaptureStageTest, PacingAdvancesTheClockByWhatIsLeftOfEachPeriod) {
  AdoptPictureType(UnitsAt(1, 25));
  BeginRecording(false);
  ReferenceTime before = clock_.GetTime();
  Picture(0, 0, 400000);
  EXPECT_EQ(clock_.GetTime() - before, 395000);  // 0.04 s - 0.5 ms
  EXPECT_FLOAT_EQ(clock_.speed(), 0.01f);
  Picture(1, 400000, 800000);
  // A picture 0.1 s later: a frame was lost; the gap (less than three
  // frame times) is closed and the next waits are halved.
  before = clock_.GetTime();
  Picture(2, 1400000, 1800000);
  EXPECT_TRUE(test::TraceHas("  -- at 0.040   0.140  delta=-0.1000 0.0400000  audio_borrow="));
  EXPECT_TRUE(test::TraceHas("Slowdown: 23"));
  EXPECT_EQ(clock_.GetTime() - before, 197500);
  EXPECT_EQ(stage_.slowdown(), 22);
}

TEST_F(CaptureStageTest, TheResultFlagMarksEveryFourthPicture) {
  AdoptPictureType(UnitsAt(1, 25));
  std::vector<int> flags;
  target_.recording_flag = false;
  flags.push_back(Picture(0, 0, 400000));
  target_.recording_flag = true;
  BeginRecording(false);
  stage_.RestartFrameCounter();
  for (int i = 1; i <= 6; ++i) flags.push_back(Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25)));
  EXPECT_EQ(flags, (std::vector<int>{0, 1, 0, 0, 0, 1, 0}));

  media::MediaType extended = test::Yuy2Type(kWidth, kHeight, 400000);
  extended.format_type = media::FormatType::kVideoInfo2;
  extended.video2.bmi = extended.video.bmi;
  extended.video2.avg_time_per_frame = 400000;
  stage_.RestartFrameCounter();
  flags.clear();
  for (int i = 7; i <= 11; ++i)
    flags.push_back(Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25),
                            i == 7 ? std::optional(extended) : std::nullopt));
  EXPECT_EQ(flags, (std::vector<int>{0, 1, 1, 1, 0}));
}

TEST_F(CaptureStageTest, TheFrameTimeIsEstimatedWhenTheTypeGivesNone) {
  AdoptPictureType(0);
  target_.recording_flag = false;
  for (int i = 0; i < 5; ++i) Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25));
  EXPECT_NEAR(stage_.actual_frame_time(), 0.04, 1e-9);
  EXPECT_NEAR(stage_.long_term_frame_time(), 0.04, 1e-9);
  // A declared frame time wins; an implausible picture changes nothing.
  AdoptPictureType(333667);
  Picture(5, 0, 2000000);
  EXPECT_NEAR(stage_.actual_frame_time(), 0.0333667, 1e-9);
}

// ---------------------------------------------------------------------------
// Audio in step with the video.

struct SyncCase {
  const char* name;
  int rate;
  int channels;
  double output_rate;
  double seconds;      // video length
  double audio_from;   // audio starts here
  double hole_from;    // no audio in [hole_from, hole_to)
  double hole_to;
};
void PrintTo(const SyncCase& c, std::ostream* os) { *os << c.name; }

class SyncTest : public CaptureStageTest, public testing::WithParamInterface<SyncCase> {};

// Sample frame i of the source holds i + 1: channel 0 the low 15 bits,
// channel 1 (when there is one) the rest.
int16_t RampSample(int64_t frame, int channel) {
  if (channel == 0) return static_cast<int16_t>((frame + 1) & 0x7FFF);
  if (channel == 1) return static_cast<int16_t>((frame + 1) >> 15);
  return 0;
}

TEST_P(SyncTest, EverySampleLandsAtItsOwnTime) {
  const SyncCase& c = GetParam();
  output_.out_frame_rate = c.output_rate;
  AdoptPictureType(UnitsAt(1, 25));
  AdoptAudio(c.rate, c.channels);
  BeginRecording(false);

  const int block = 1024;
  int64_t next_block = 0;
  int64_t skipped = 0;
  const int pictures = static_cast<int>(c.seconds * 25);
  for (int i = 0; i < pictures; ++i) {
    // Audio runs up to 0.2 s ahead of the pictures.
    while (next_block * block < (i / 25.0 + 0.2) * c.rate) {
      double t = static_cast<double>(next_block * block) / c.rate;
      if (t < c.audio_from || (t >= c.hole_from && t < c.hole_to)) {
        skipped += block;
      } else {
        std::vector<int16_t> pcm(static_cast<size_t>(block) * c.channels);
        for (int f = 0; f < block; ++f)
          for (int ch = 0; ch < c.channels; ++ch)
            pcm[f * c.channels + ch] = RampSample(next_block * block + f, ch);
        Audio(pcm, UnitsAt(next_block * block, c.rate), c.rate, c.channels);
      }
      ++next_block;
    }
    Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25));
  }

  const int frames = target_.FramesProduced();
  // The frames whose middles the pictures cover.
  EXPECT_EQ(frames, static_cast<int>(std::floor(c.seconds * c.output_rate + 0.5)));
  EXPECT_EQ(target_.calls.size(), static_cast<size_t>(frames));  // nothing split or filled
  std::vector<int16_t> audio = target_.Audio();
  const int64_t handed = static_cast<int64_t>(audio.size()) / c.channels;
  EXPECT_NEAR(static_cast<double>(handed), frames * c.rate / c.output_rate, 1.0);

  int64_t silent = 0, misplaced = 0;
  for (int64_t p = 0; p < handed; ++p) {
    bool silence = true;
    bool match = true;
    for (int ch = 0; ch < c.channels; ++ch) {
      int16_t value = audio[p * c.channels + ch];
      silence &= value == 0;
      match &= value == RampSample(p, ch);
    }
    if (match) continue;
    if (silence) ++silent;
    else ++misplaced;
  }
  EXPECT_EQ(misplaced, 0);
  EXPECT_EQ(silent, skipped);
  const bool steady = c.audio_from == 0 && c.hole_from >= c.seconds;
  if (steady && c.output_rate == 25 && c.rate == 48000) {
    for (const test::ProducedCall& call : target_.calls)
      ASSERT_EQ(call.audio.size(), 1920u * c.channels);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SyncTest,
    testing::Values(SyncCase{"Stereo48kAt25", 48000, 2, 25, 20, 0, 99, 99},
                    SyncCase{"Stereo48kAt29_97LongRun", 48000, 2, 30000.0 / 1001, 60, 0, 99, 99},
                    SyncCase{"Mono44k1At14_985", 44100, 1, 15000.0 / 1001, 20, 0, 99, 99},
                    SyncCase{"Surround48kAt12_5", 48000, 6, 12.5, 10, 0, 99, 99},
                    SyncCase{"AudioHoleBecomesSilence", 48000, 2, 25, 6, 0, 1.0, 2.5},
                    SyncCase{"AudioThreeSecondsLate", 48000, 2, 25, 6, 3.0, 99, 99}),
    [](const testing::TestParamInfo<SyncCase>& info) { return std::string(info.param.name); });

// Delivers the ramp of RampSample in blocks of 1,024 stereo sample frames
// at 48 kHz, stamped at their own times, up to `seconds`.
class RampFeeder {
 public:
  explicit RampFeeder(std::function<void(const std::vector<int16_t>&, ReferenceTime)> deliver)
      : deliver_(std::move(deliver)) {}
  void FeedUntil(double seconds) {
    while (fed_ < seconds * 48000) {
      std::vector<int16_t> block(2 * 1024);
      for (int f = 0; f < 1024; ++f)
        for (int ch = 0; ch < 2; ++ch) block[2 * f + ch] = RampSample(fed_ + f, ch);
      deliver_(block, UnitsAt(fed_, 48000));
      fed_ += 1024;
    }
  }

 private:
  std::function<void(const std::vector<int16_t>&, ReferenceTime)> deliver_;
  int64_t fed_ = 0;
};

// The ramp's sample frames from `first` on, in stereo.
std::vector<int16_t> Ramp(int64_t first, int frames) {
  std::vector<int16_t> ramp;
  for (int f = 0; f < frames; ++f)
    for (int ch = 0; ch < 2; ++ch) ramp.push_back(RampSample(first + f, ch));
  return ramp;
}

class AudioOnItsWayTest : public CaptureStageTest {
 protected:
  AudioOnItsWayTest() {
    AdoptPictureType(UnitsAt(1, 25));
    AdoptAudio(48000, 2);
    BeginRecording(false);
  }
  // Picture `n` of a 25 fps source on a thread of its own.
  void PictureOnThread(int n) {
    picture_done_ = false;
    video_ = std::thread([this, n] {
      Picture(n, UnitsAt(n, 25), UnitsAt(n + 1, 25));
      picture_done_ = true;
    });
  }
  // Until the picture waits for its audio (or, when it does not, is done).
  void UntilPictureWaits() {
    while (!stage_.waiting_for_audio() && !picture_done_) std::this_thread::yield();
  }

  RampFeeder feeder_{[this](const std::vector<int16_t>& pcm, ReferenceTime start) {
    Audio(pcm, start, 48000, 2);
  }};
  std::thread video_;
  std::atomic<bool> picture_done_{false};
};

TEST_F(AudioOnItsWayTest, AfterTheGridJumpsAPictureWaitsForItsSound) {
  stage_.set_waits({std::chrono::minutes(10), std::chrono::minutes(10)});
  for (int i = 0; i < 25; ++i) {
    feeder_.FeedUntil(i / 25.0 + 0.2);
    Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25));
  }
  // No pictures from 1 s to 3 s. The sound goes on, but the first picture
  // after the hole comes before the sound of its own time.
  feeder_.FeedUntil(2.8);
  PictureOnThread(75);
  UntilPictureWaits();
  feeder_.FeedUntil(3.3);
  video_.join();
  ASSERT_EQ(target_.FramesProduced(), 26);
  EXPECT_TRUE(test::TraceHas("Large gap between video samples t1:3.00000 expecting:1.00000"));
  // That frame carries the sound of 3.00 to 3.04 s, and none is lost after.
  EXPECT_EQ(target_.calls.back().audio, Ramp(3 * 48000, 1920));
  feeder_.FeedUntil(3.6);
  for (int i = 76; i < 80; ++i) Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25));
  std::vector<int16_t> after;
  for (size_t k = target_.calls.size() - 5; k < target_.calls.size(); ++k)
    after.insert(after.end(), target_.calls[k].audio.begin(), target_.calls[k].audio.end());
  EXPECT_EQ(after, Ramp(3 * 48000, 5 * 1920));
  EXPECT_FALSE(test::TraceHas("Time goes back"));
}

TEST_F(AudioOnItsWayTest, StoppingEndsTheWaitAndTheFrameInProgressIsHandedOver) {
  stage_.set_waits({std::chrono::seconds(30), std::chrono::seconds(30)});
  feeder_.FeedUntil(0.3);
  for (int i = 0; i < 5; ++i) Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25));
  PictureOnThread(9);  // its frames need the sound up to 0.4 s
  UntilPictureWaits();
  stage_.PassCaptureLock();
  // Every frame of the picture went out (with what sound there is) before
  // the stop went on.
  EXPECT_EQ(target_.FramesProduced(), 10);
  video_.join();
}

TEST_F(AudioOnItsWayTest, SoundThatStopsCostsOneWaitUntilItComesAgain) {
  // The fixture's waits run out at once.
  feeder_.FeedUntil(0.5);
  for (int i = 0; i < 25; ++i) Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25));
  auto waits_run_out = [] {
    int count = 0;
    for (const std::string& line : test::TraceLines())
      count += line.find("No audio for 0 ms; going on without it at") != std::string::npos;
    return count;
  };
  EXPECT_EQ(waits_run_out(), 1);
  EXPECT_TRUE(test::TraceHas("No audio for 0 ms; going on without it at 0.520"));
  // The sound comes again after its hole; where it then lags, the pictures
  // wait for it again.
  RampFeeder later([this](const std::vector<int16_t>& pcm, ReferenceTime start) {
    if (start >= UnitsAt(3, 2)) Audio(pcm, start, 48000, 2);
  });
  later.FeedUntil(2.0);
  for (int i = 25; i < 60; ++i) Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25));
  EXPECT_EQ(waits_run_out(), 2);
  EXPECT_EQ(target_.FramesProduced(), 60);
}

TEST_F(CaptureStageTest, RequestsOfTheUserInterfaceDoNotWaitForACallbackHeldUpInTheTarget) {
  AdoptPictureType(UnitsAt(1, 25));
  AdoptAudio(48000, 2);
  BeginRecording(false);
  Audio(std::vector<int16_t>(2 * 9600, 5), 0, 48000, 2);  // 0.2 s
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  bool first = true;
  target_.on_produce = [&] {
    if (!first) return;
    first = false;
    entered.set_value();
    released.wait();
  };
  std::thread video([&] { Picture(0, 0, UnitsAt(1, 25)); });
  // The callback is inside the recording target with the capture lock held,
  // as after a stop that timed out.
  entered.get_future().wait();
  // What the user interface does for a new source, then at the start of
  // its playback.
  auto requests = std::async(std::launch::async, [&] {
    stage_.ResetForNewSource();
    stage_.SetConnectedTypeQueries(
        [](media::MediaType* type) {
          *type = test::Yuy2Type(176, 144, 666667);
          return true;
        },
        [](media::MediaType* type) {
          *type = test::PcmType(22050, 1);
          return true;
        });
    stage_.AdoptVideoType(nullptr);
    stage_.AdoptAudioType(nullptr);
    stage_.RestartFrameCounter();
    // The video layout reads the input size (the size last seen).
    stage_.input_width();
    stage_.input_height();
  });
  const bool returned = requests.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  release.set_value();
  video.join();
  requests.wait();
  EXPECT_TRUE(returned);
  // Applied once the callback let go, before anything else reads the state:
  // the picture left the counter at 0 and 0.16 s of sound in the buffer.
  EXPECT_EQ(stage_.frame_counter(), -1);
  EXPECT_EQ(stage_.audio_fill(), 0);
  EXPECT_EQ(stage_.input_width(), 176);
  EXPECT_EQ(stage_.audio_rate(), 22050);
  EXPECT_NEAR(stage_.actual_frame_time(), 0.0666667, 1e-9);
}

TEST_F(CaptureStageTest, TimeStampsJumpingBackResetTheAudioBuffer) {
  AdoptAudio(48000, 2);
  target_.recording_flag = false;
  Audio(std::vector<int16_t>(2 * 48000, 7), 0, 48000, 2);  // 0 .. 1 s
  EXPECT_EQ(stage_.audio_fill(), 192000);
  Audio(std::vector<int16_t>(2 * 4800, 9), UnitsAt(9, 10), 48000, 2);  // at 0.9 s
  EXPECT_EQ(stage_.audio_fill(), 19200);
  EXPECT_DOUBLE_EQ(stage_.audio_start_time(), 0.9);
  EXPECT_TRUE(test::TraceHas("Time goes back. diff=0.100000"));
}

struct LevelCase {
  const char* name;
  int volume;
  int bits;
  int16_t input;  // 16-bit sample, or the 8-bit byte
  int16_t expected;
};
void PrintTo(const LevelCase& c, std::ostream* os) { *os << c.name; }

class LevelTest : public CaptureStageTest, public testing::WithParamInterface<LevelCase> {};

TEST_P(LevelTest, ScalesEverySampleOfTheBlock) {
  const LevelCase& c = GetParam();
  output_.audio_volume = c.volume;
  AdoptPictureType(UnitsAt(1, 25));
  AdoptAudio(48000, 1, c.bits);
  BeginRecording(false);
  std::vector<uint8_t> bytes;
  if (c.bits == 8) {
    bytes.assign(1920, static_cast<uint8_t>(c.input));
  } else {
    std::vector<int16_t> pcm(1920, c.input);
    bytes.resize(pcm.size() * 2);
    std::memcpy(bytes.data(), pcm.data(), bytes.size());
  }
  ReferenceTime start = 0, stop = 400000;
  FakeSample block(std::move(bytes));
  stage_.OnAudioSample(block, &start, &stop, 0, 0);
  Picture(0, 0, 400000);
  std::vector<int16_t> audio = target_.Audio();
  ASSERT_EQ(audio.size(), 1920u);
  for (int16_t sample : audio) ASSERT_EQ(sample, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LevelTest,
    testing::Values(LevelCase{"FiveIsUnchanged", 5, 16, -1234, -1234},
                    LevelCase{"SevenMultiplies", 7, 16, 100, 272},
                    LevelCase{"SevenClipsHigh", 7, 16, 20000, 32767},
                    LevelCase{"SevenClipsLow", 7, 16, -20000, -32768},
                    LevelCase{"NineMultiplies", 9, 16, 1000, 7412},
                    LevelCase{"ThreeIsThreeFifths", 3, 16, 1000, 600},
                    LevelCase{"ZeroIsSilence", 0, 16, 12345, 0},
                    LevelCase{"EightBitMidIsSilence", 5, 8, 128, 0},
                    LevelCase{"EightBitTop", 5, 8, 255, 16256},
                    LevelCase{"EightBitBottom", 5, 8, 0, -16384}),
    [](const testing::TestParamInfo<LevelCase>& info) { return std::string(info.param.name); });

TEST_F(CaptureStageTest, AudioFarAheadWaitsForTheNextPicture) {
  AdoptPictureType(UnitsAt(1, 25));
  AdoptAudio(48000, 2);
  BeginRecording(false);
  for (int i = 0; i < 30; ++i) Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25));
  stage_.set_waits({std::chrono::minutes(10), std::chrono::minutes(10)});
  const double frame_time = stage_.actual_frame_time();

  // A block 15 s ahead: the buffer would span more than 80 % of itself.
  std::thread audio_thread([&] {
    Audio(std::vector<int16_t>(2 * 4800, 3), UnitsAt(15, 1), 48000, 2);
  });
  // The audio thread stores its block and then waits without the lock.
  while (stage_.audio_fill() == 0) std::this_thread::yield();
  Picture(30, UnitsAt(30, 25), UnitsAt(31, 25));
  audio_thread.join();
  EXPECT_TRUE(test::TraceHas("audio too much. wait for video"));
  EXPECT_NEAR(stage_.actual_frame_time(), frame_time * 0.996, 1e-12);
}

TEST_F(CaptureStageTest, LaggingEightBitAudioHoldsTheVideo) {
  AdoptPictureType(UnitsAt(1, 25));
  AdoptAudio(48000, 1, 8);
  BeginRecording(false);
  for (int i = 0; i < 25; ++i) Picture(i, UnitsAt(i, 25), UnitsAt(i + 1, 25));
  EXPECT_GT(stage_.audio_borrow(), 76800);
  EXPECT_TRUE(test::TraceHas("audio lag behind too much. wait for audio."));
}

// ---------------------------------------------------------------------------
// Parts, formats and pictures.

TEST_F(CaptureStageTest, NearTheSizeLimitTheOutputMovesToTheNextPart) {
  output_.split_size = 10;
  AdoptPictureType(UnitsAt(1, 25));
  BeginRecording(false);
  Picture(0, 0, 400000);
  target_.size_mb = 9.85;
  Picture(1, 400000, 800000);
  EXPECT_EQ(target_.next_part_calls, 0);
  target_.size_mb = 9.95;
  Picture(2, 800000, 1200000);
  EXPECT_EQ(target_.next_part_calls, 1);
  EXPECT_FLOAT_EQ(clock_.speed(), 0.01f);
  // A switch that fails ends the recording there, as a stop point does:
  // nothing more is produced and the switch is not tried again.
  target_.next_part_result = -1;
  target_.size_mb = 9.95;
  Picture(3, 1200000, 1600000);
  target_.size_mb = 9.95;
  Picture(4, 1600000, 2000000);
  EXPECT_EQ(target_.next_part_calls, 2);
  EXPECT_EQ(target_.FramesProduced(), 4);
  EXPECT_EQ(host_.stop_points, 1);
}

struct TypeCase {
  const char* name;
  media::MediaType type;
  int trace_level;
  int input_width, input_height;
  std::vector<std::pair<int, int>> layouts;
  std::vector<std::string> traces;
};
void PrintTo(const TypeCase& c, std::ostream* os) { *os << c.name; }

media::MediaType Extended(int width, int height, int aspect_x, int aspect_y, int source_right,
                          int source_bottom, uint32_t interlace) {
  media::MediaType type;
  type.major = media::MajorType::kVideo;
  type.subtype = media::kSubtypeYuy2;
  type.format_type = media::FormatType::kVideoInfo2;
  type.video2.bmi.width = width;
  type.video2.bmi.height = height;
  type.video2.avg_time_per_frame = 400000;
  type.video2.picture_aspect_x = aspect_x;
  type.video2.picture_aspect_y = aspect_y;
  type.video2.source.right = source_right;
  type.video2.source.bottom = source_bottom;
  type.video2.interlace_flags = interlace;
  return type;
}

class TypeTest : public CaptureStageTest, public testing::WithParamInterface<TypeCase> {};

TEST_P(TypeTest, AdoptsSizeAspectAndFrameTime) {
  const TypeCase& c = GetParam();
  stage_.set_trace_level(c.trace_level);
  // The window, told of the layout, reads the input size from its own
  // thread while the capture still holds its lock.
  std::vector<int> widths_read;
  host_.on_layout = [&] {
    std::thread window([&] { widths_read.push_back(stage_.input_width()); });
    window.join();
  };
  FakeSample sample({}, c.type);
  EXPECT_EQ(stage_.AdoptVideoType(&sample), 1);
  EXPECT_EQ(widths_read, std::vector<int>(c.layouts.size(), c.input_width));
  EXPECT_EQ(stage_.input_width(), c.input_width);
  EXPECT_EQ(stage_.input_height(), c.input_height);
  EXPECT_EQ(host_.layouts, c.layouts);
  EXPECT_NEAR(stage_.actual_frame_time(), 0.04, 1e-12);
  for (const std::string& line : c.traces) EXPECT_TRUE(test::TraceHas(line)) << line;
  // The same type again tells the main window nothing new.
  stage_.AdoptVideoType(&sample);
  EXPECT_EQ(host_.layouts, c.layouts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TypeTest,
    testing::Values(
        TypeCase{"PlainHeader", test::Yuy2Type(320, 240, 400000), 1, 320, 240, {{320, 240}},
                 {"Input Type Changed ........",
                  "Movie resolution (input): 320 240; SRC: 0x0; TGT:0x0 frametime:0.04\n"}},
        TypeCase{"ExtendedNotInterlaced", Extended(720, 576, 16, 9, 704, 576, 0), 0, 704, 576,
                 {{16, 9}},
                 {"Movie resolution (input): 720 576; SRC: 704x576; TGT:0x0; frame_time:0.04;  "
                  "16:9",
                  "NOT interlaced"}},
        TypeCase{"ExtendedBob", Extended(720, 480, 4, 3, 0, 0, 1), 0, 720, 480, {{4, 3}},
                 {"Interleaved BOB only"}},
        TypeCase{"ExtendedOtherInterlace", Extended(720, 480, 4, 3, 0, 0, 0x83), 0, 720, 480,
                 {{4, 3}}, {"Interleaved ???"}},
        TypeCase{"ExtendedWithoutAspect", Extended(640, 480, 0, 0, 0, 0, 0), 0, 640, 480, {},
                 {"NOT interlaced"}},
        // A source rectangle wider than the picture is held to the picture.
        TypeCase{"ExtendedSourceBeyondPicture", Extended(320, 240, 4, 3, 4000, 3000, 0), 0, 320,
                 240, {{4, 3}}, {}}),
    [](const testing::TestParamInfo<TypeCase>& info) { return std::string(info.param.name); });

TEST_F(CaptureStageTest, WithoutASampleTheConnectedTypeIsAdopted) {
  FakeSample untyped({});
  EXPECT_EQ(stage_.AdoptVideoType(&untyped), 0);
  EXPECT_EQ(stage_.AdoptVideoType(nullptr), 0);  // no grabber yet
  stage_.SetConnectedTypeQueries(
      [](media::MediaType* type) {
        *type = test::Yuy2Type(176, 144, 666667);
        return true;
      },
      [](media::MediaType* type) {
        *type = test::PcmType(22050, 1);
        return true;
      });
  EXPECT_EQ(stage_.AdoptVideoType(nullptr), 1);
  EXPECT_EQ(stage_.AdoptAudioType(nullptr), 1);
  EXPECT_EQ(stage_.input_width(), 176);
  EXPECT_EQ(stage_.audio_rate(), 22050);
  EXPECT_EQ(stage_.source_audio_format().rate, 22050);
  EXPECT_EQ(stage_.source_audio_format().channels, 1);
  EXPECT_TRUE(test::TraceHas("Audio Input sample freq = 22050,  1 channels\n"));
}

TEST_F(CaptureStageTest, AudioWithoutAFormatBlockIsCdAudioAndTooManyChannelsAreRefused) {
  FakeSample typed({}, media::MediaType{});
  stage_.AdoptAudioType(&typed);
  EXPECT_EQ(stage_.audio_rate(), 44100);
  EXPECT_EQ(stage_.audio_channels(), 2);
  FakeSample eight({}, test::PcmType(48000, 8));
  stage_.AdoptAudioType(&eight);
  EXPECT_EQ(stage_.audio_channels(), 2);
  target_.recording_flag = false;
  Audio(std::vector<int16_t>(8 * 480, 1), 0, 48000, 8);
  EXPECT_EQ(stage_.audio_fill(), 0);
  EXPECT_TRUE(test::TraceHas("Audio input not supported: 48000 Hz, 8 channels, 16 bits"));
}

// A picture whose luma at (x, y) is `luma(x, y)` and whose chroma is flat.
std::vector<uint8_t> LumaPicture(int width, int height, const std::function<uint8_t(int, int)>& luma) {
  std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 2, 128);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture[(y * width + x) * 2] = luma(x, y);
  return picture;
}

TEST_F(CaptureStageTest, ScaleFrameCropsTheRegionOfTheCropRectangle) {
  // (0.1, 0, 1, 0.9) of 720 x 480 is 648 x 432 from x 72: no scaling left.
  output_.width = 648;
  output_.height = 432;
  target_.keep_frames = true;
  target_.frame_bytes = av::I420Frame{648, 432}.bytes();
  stage_.set_crop(CropRect{0.1, 0, 0.9, 1});
  AdoptPictureType(400000, 720, 480);
  BeginRecording(true);
  ReferenceTime start = 0, stop = 400000;
  FakeSample sample(LumaPicture(720, 480, [](int x, int y) { return uint8_t((x + 3 * y) & 0xFF); }));
  stage_.OnVideoSample(sample, &start, &stop, 0, 0);
  ASSERT_EQ(target_.calls.size(), 1u);
  const std::vector<uint8_t>& frame = target_.calls[0].frame;
  for (int y : {0, 100, 431})
    for (int x : {0, 1, 300, 647})
      ASSERT_EQ(frame[y * 648 + x], uint8_t((x + 72 + 3 * y) & 0xFF)) << x << "," << y;
  EXPECT_EQ(frame[648 * 432], 128);
  EXPECT_EQ(frame.back(), 128);
}

TEST_F(CaptureStageTest, TheWholePictureIsShownAtTheAreaOfItsCropGrownByWhatTheCropLeavesOut) {
  output_.width = 480;
  output_.height = 272;
  stage_.SetOutput(output_);
  EXPECT_EQ(stage_.ShownPictureSize(), PictureArea{}) << "no input yet";
  // An upright 720x1280 stands 272 lines high, about 153 wide.
  AdoptPictureType(400000, 720, 1280);
  const PictureArea whole = stage_.ShownPictureSize();
  EXPECT_EQ(whole.height, 272);
  EXPECT_NEAR(whole.width, 153, 2);
  // Its left half fills about 76 of the same lines; its top half stands
  // 272 lines high, the whole twice that.
  stage_.set_crop(CropRect{0, 0, 1, 0.5});
  EXPECT_NEAR(stage_.ShownPictureSize().width, 153, 4);
  EXPECT_EQ(stage_.ShownPictureSize().height, 272);
  stage_.set_crop(CropRect{0, 0, 0.5, 1});
  EXPECT_NEAR(stage_.ShownPictureSize().width, 306, 4);
  EXPECT_EQ(stage_.ShownPictureSize().height, 544);
}

// A picture whose last byte is the last readable byte before an unmapped
// page, as a sample from outside the decoder may lie in memory.
class PictureAtPageEnd : public media::MediaSample {
 public:
  explicit PictureAtPageEnd(const std::vector<uint8_t>& picture) : bytes_(picture.size()) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    span_ = (picture.size() + page - 1) / page * page + page;
    base_ = static_cast<uint8_t*>(
        mmap(nullptr, span_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    mprotect(base_ + span_ - page, page, PROT_NONE);
    data_ = base_ + span_ - page - picture.size();
    std::copy(picture.begin(), picture.end(), data_);
  }
  ~PictureAtPageEnd() override { munmap(base_, span_); }
  const uint8_t* data() const override { return data_; }
  int32_t length() const override { return static_cast<int32_t>(bytes_); }
  bool GetMediaType(media::MediaType*) const override { return false; }

 private:
  size_t bytes_;
  size_t span_ = 0;
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
};

TEST_F(CaptureStageTest, APictureEndingAtItsLastReadableByteIsScaledWithinIt) {
  // 10 pixels make a line of 20 bytes; the scaler reads lines 32 bytes at a
  // time.
  target_.keep_frames = true;
  target_.frame_bytes = av::I420Frame{kWidth, kHeight}.bytes();
  AdoptPictureType(400000, 10, 6);
  BeginRecording(true);
  ReferenceTime start = 0, stop = 400000;
  PictureAtPageEnd sample(LumaPicture(10, 6, [](int, int) { return uint8_t(200); }));
  stage_.OnVideoSample(sample, &start, &stop, 0, 0);
  ASSERT_EQ(target_.calls.size(), 1u);
  EXPECT_NEAR(target_.calls[0].frame[(kHeight - 1) * kWidth], 200, 2);
}

struct BrightnessCase {
  const char* name;
  int offset;   // brightness_a
  float gain;   // brightness_b
  uint8_t input;
  uint8_t expected;
};
void PrintTo(const BrightnessCase& c, std::ostream* os) { *os << c.name; }

class BrightnessTest : public CaptureStageTest,
                       public testing::WithParamInterface<BrightnessCase> {};

TEST_P(BrightnessTest, BrightensTheLumaOfEveryScaledFrame) {
  const BrightnessCase& c = GetParam();
  output_.brightness_a = c.offset;
  output_.brightness_b = c.gain;
  output_.width = 32;
  output_.height = 18;
  target_.keep_frames = true;
  target_.frame_bytes = av::I420Frame{32, 18}.bytes();
  // A large input (more than the first buffers hold) scaled down, filling
  // the frame of its shape.
  AdoptPictureType(400000, 1280, 720);
  BeginRecording(true);
  ReferenceTime start = 0, stop = 400000;
  FakeSample sample(LumaPicture(1280, 720, [&](int, int) { return c.input; }));
  stage_.OnVideoSample(sample, &start, &stop, 0, 0);
  ASSERT_EQ(target_.calls.size(), 1u);
  const std::vector<uint8_t>& frame = target_.calls[0].frame;
  for (size_t i = 0; i < frame.size(); ++i) ASSERT_EQ(frame[i], i < 32 * 18 ? c.expected : 128) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrightnessTest,
    testing::Values(BrightnessCase{"Neutral", 0, 1.0f, 100, 100},
                    // Without an offset the gain is not applied either.
                    BrightnessCase{"GainAloneDoesNothing", 0, 1.36f, 100, 100},
                    // 100 x trunc(1.36 x 128) / 128 = 135.9 -> 136, + 35.
                    BrightnessCase{"LevelThree", 35, 1.36f, 100, 171},
                    BrightnessCase{"LevelOneSaturates", 12, 1.12f, 240, 255}),
    [](const testing::TestParamInfo<BrightnessCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(CaptureStageTest, APictureOfAnotherShapeSitsBetweenBarsThatStayBlack) {
  // 16:9 into a square frame: 18 lines of picture from line 6, and the
  // brightness applies to the picture alone.
  output_.brightness_a = 35;
  output_.brightness_b = 1.36f;
  output_.width = 32;
  output_.height = 32;
  target_.keep_frames = true;
  target_.frame_bytes = av::I420Frame{32, 32}.bytes();
  AdoptPictureType(400000, 1280, 720);
  BeginRecording(true);
  ReferenceTime start = 0, stop = 400000;
  FakeSample sample(LumaPicture(1280, 720, [](int, int) { return uint8_t(100); }));
  stage_.OnVideoSample(sample, &start, &stop, 0, 0);
  ASSERT_EQ(target_.calls.size(), 1u);
  const std::vector<uint8_t>& frame = target_.calls[0].frame;
  for (int y = 0; y < 32; ++y) {
    const bool picture = y >= 6 && y < 24;
    for (int x = 0; x < 32; ++x) ASSERT_EQ(frame[y * 32 + x], picture ? 171 : 16) << x << "," << y;
  }
  for (size_t i = 32 * 32; i < frame.size(); ++i) ASSERT_EQ(frame[i], 128) << i;
}

// A picture as the decoder delivers it: 4:2:0 planes, whose packed bytes
// are made only when asked for (counted).
class PlanarSample : public media::MediaSample {
 public:
  PlanarSample(int width, int height, const std::function<uint8_t(int, int, int)>& value)
      : layout_{width, height}, frame_(layout_.bytes()) {
    layout_.Planes(static_cast<const uint8_t*>(frame_.data()), picture_.planes, picture_.strides);
    picture_.width = width;
    picture_.height = height;
    for (int plane = 0; plane < 3; ++plane) {
      const int w = plane == 0 ? width : layout_.chroma_width();
      const int h = plane == 0 ? height : layout_.chroma_height();
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          frame_[picture_.planes[plane] - frame_.data() + y * picture_.strides[plane] + x] =
              value(plane, x, y);
    }
  }
  // The packed picture of the same planes, chroma lines repeated.
  std::vector<uint8_t> Packed() const {
    std::vector<uint8_t> packed(layout_.luma_bytes() * 2);
    for (int y = 0; y < layout_.height; ++y)
      for (int x = 0; x < layout_.width; ++x) {
        uint8_t* p = &packed[(static_cast<size_t>(y) * layout_.width + x) * 2];
        p[0] = picture_.planes[0][y * picture_.strides[0] + x];
        p[1] = picture_.planes[1 + x % 2][y / 2 * picture_.strides[1] + x / 2];
      }
    return packed;
  }
  const uint8_t* data() const override {
    ++packed_reads;
    packed_ = Packed();
    return packed_.data();
  }
  int32_t length() const override { return static_cast<int32_t>(layout_.luma_bytes() * 2); }
  bool GetMediaType(media::MediaType*) const override { return false; }
  const media::PlanarPicture* planar_source() const override { return &picture_; }

  mutable int packed_reads = 0;

 private:
  av::I420Frame layout_;
  std::vector<uint8_t> frame_;
  media::PlanarPicture picture_;
  mutable std::vector<uint8_t> packed_;
};

struct PlanesCase {
  const char* name;
  int in_width, in_height, out_width, out_height;
  bool need_resize;
  int brightness;  // brightness_a; brightness_b is 1.36
};
void PrintTo(const PlanesCase& c, std::ostream* os) { *os << c.name; }

class PlanesTest : public CaptureStageTest, public testing::WithParamInterface<PlanesCase> {};

// The decoder's planes and the packed picture made of them give the same
// frame (bars, brightness and all), and the planes are used without the
// packed bytes ever being made.
TEST_P(PlanesTest, PlanesAndPackedPictureGiveTheSameFrame) {
  const PlanesCase& c = GetParam();
  output_.width = c.out_width;
  output_.height = c.out_height;
  output_.brightness_a = c.brightness;
  output_.brightness_b = 1.36f;
  target_.keep_frames = true;
  const av::I420Frame layout{c.out_width, c.out_height};
  target_.frame_bytes = layout.bytes();
  AdoptPictureType(400000, c.in_width, c.in_height);
  BeginRecording(c.need_resize);
  PlanarSample planar(c.in_width, c.in_height, [](int plane, int x, int y) {
    return static_cast<uint8_t>(plane == 0 ? 40 + (x * 3 + y) % 160 : plane == 1 ? 90 + y % 40 : 200 - x % 50);
  });
  ReferenceTime start = 0, stop = 400000;
  stage_.OnVideoSample(planar, &start, &stop, 0, 0);
  EXPECT_EQ(planar.packed_reads, 0);
  FakeSample packed(planar.Packed());
  start = 400000, stop = 800000;
  stage_.OnVideoSample(packed, &start, &stop, 0, 0);
  ASSERT_EQ(target_.calls.size(), 2u);
  const std::vector<uint8_t>& from_planes = target_.calls[0].frame;
  const std::vector<uint8_t>& from_packed = target_.calls[1].frame;
  ASSERT_EQ(from_planes.size(), layout.bytes());
  ASSERT_EQ(from_packed.size(), layout.bytes());
  for (size_t i = 0; i < layout.luma_bytes(); ++i) ASSERT_EQ(from_planes[i], from_packed[i]) << i;
  for (size_t i = layout.luma_bytes(); i < layout.bytes(); ++i)
    ASSERT_NEAR(from_planes[i], from_packed[i], 2) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanesTest,
    testing::Values(PlanesCase{"ScaledBetweenBarsAndBrightened", 160, 90, 32, 32, true, 35},
                    PlanesCase{"Scaled", 160, 120, 64, 48, true, 0},
                    PlanesCase{"SameSizeUnchanged", 64, 48, 64, 48, false, 35}),
    [](const testing::TestParamInfo<PlanesCase>& info) { return std::string(info.param.name); });

TEST_F(CaptureStageTest, TheStillPictureIsABlueFirstBitmapOfTheInputPlanes) {
  target_.recording_flag = false;
  // Pure red in BT.601: Y 81, U 90, V 240.
  std::vector<uint8_t> red = {81, 90, 81, 240, 81, 90, 81, 240};
  media::MediaType type = test::Yuy2Type(4, 1, 400000);
  FakeSample sample(red, type);
  ReferenceTime start = 0, stop = 400000;
  stage_.OnVideoSample(sample, &start, &stop, 0, 0);
  Bitmap24 bitmap = stage_.StillPicture();
  ASSERT_EQ(bitmap.width, 4);
  ASSERT_EQ(bitmap.height, 1);
  EXPECT_EQ(bitmap.pixels, (std::vector<uint8_t>{0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255}));
}

TEST_F(CaptureStageTest, FirstRecordedPictureStartsTheRecording) {
  host_.position = 12.5;
  AdoptPictureType(UnitsAt(1, 25));
  BeginRecording(false);
  EXPECT_TRUE(stage_.first_picture_pending());
  Picture(0, UnitsAt(50, 25), UnitsAt(51, 25));
  EXPECT_FALSE(stage_.first_picture_pending());
  EXPECT_DOUBLE_EQ(stage_.pass_start_position(), 12.5);
  EXPECT_DOUBLE_EQ(stage_.next_output_time(), 2.04);
  EXPECT_TRUE(test::TraceHas("%%%%%% SampleStartTime=2.000000   ActualFrameTime=0.040000"));
}

TEST_F(CaptureStageTest, HostileTimeStampsNeitherCrashNorFlood) {
  AdoptPictureType(UnitsAt(1, 25));
  AdoptAudio(48000, 2);
  BeginRecording(false);
  const ReferenceTime extremes[] = {INT64_MIN, -1000000000000LL, -1, 0, 1, 399999,
                                    9000000000000LL, INT64_MAX};
  std::mt19937 random(11);
  std::vector<int16_t> pcm(2 * 960, 5);
  for (int round = 0; round < 300; ++round) {
    ReferenceTime start = extremes[random() % std::size(extremes)];
    ReferenceTime stop = extremes[random() % std::size(extremes)];
    size_t before = target_.calls.size();
    Picture(round, start, stop);
    // At most a picture's longest span of output frames.
    ASSERT_LE(target_.calls.size() - before, kLongestPicture * output_.out_frame_rate + 1);
    std::vector<uint8_t> bytes(pcm.size() * 2, 1);
    FakeSample block(std::move(bytes));
    stage_.OnAudioSample(block, &start, &stop, 0, 0);
    ASSERT_LE(stage_.audio_fill(), CaptureAudioBuffer::kCapacity);
  }
  for (const test::ProducedCall& call : target_.calls)
    ASSERT_LE(call.audio.size() * 2, static_cast<size_t>(CaptureAudioBuffer::kSplitBytes));
}

}  // namespace
}  // namespace ovc
