#include "engine/playback/recording_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/playback/capture_test_support.h"

namespace ovc {
namespace {

using media::ReferenceTime;
constexpr ReferenceTime kMs = 10000;  // 100-ns units per millisecond

class RecordingClockTest : public testing::Test {
 protected:
  test::FakeTicks ticks_;
  RecordingClock clock_{&ticks_};
};

TEST_F(RecordingClockTest, RunsAtItsSpeed) {
  ReferenceTime begin = clock_.GetTime();
  ticks_.Advance(100 * kMs);
  EXPECT_EQ(clock_.GetTime() - begin, 100 * kMs);
  clock_.SetSpeed(0.01f);
  ticks_.Advance(1000 * kMs);
  EXPECT_NEAR(clock_.GetTime() - begin, 110 * kMs, 1);
  EXPECT_FLOAT_EQ(clock_.speed(), 0.01f);
}

TEST_F(RecordingClockTest, ASpeedChangeDoesNotRewriteTheTimeAlreadyElapsed) {
  ReferenceTime begin = clock_.GetTime();
  ticks_.Advance(500 * kMs);  // not read yet
  clock_.SetSpeed(0.0005f);
  EXPECT_EQ(clock_.GetTime() - begin, 500 * kMs);
}

TEST_F(RecordingClockTest, RestartBaseDiscardsTheElapsedRealTime) {
  ReferenceTime begin = clock_.GetTime();
  ticks_.Advance(300 * kMs);
  clock_.RestartBase();
  EXPECT_EQ(clock_.GetTime(), begin);
  ticks_.Advance(2 * kMs);
  EXPECT_EQ(clock_.GetTime(), begin + 2 * kMs);
}

TEST_F(RecordingClockTest, AdvanceAddsSecondsAndNeverGoesBack) {
  clock_.SetSpeed(0.01f);
  ReferenceTime begin = clock_.GetTime();
  clock_.Advance(0.0395);
  EXPECT_EQ(clock_.GetTime() - begin, 395000);
  clock_.Advance(-5);  // ignored
  clock_.SetSpeed(-1);  // stands still
  ticks_.Advance(1000 * kMs);
  EXPECT_EQ(clock_.GetTime() - begin, 395000);
  ReferenceTime last = clock_.GetTime();
  clock_.SetSpeed(1);
  for (int i = 0; i < 100; ++i) {
    ticks_.Advance(i % 3);
    if (i % 7 == 0) clock_.RestartBase();
    ReferenceTime now = clock_.GetTime();
    ASSERT_GE(now, last);
    last = now;
  }
}

TEST_F(RecordingClockTest, AnAdvanceWakesAWaitingClientAtOnce) {
  clock_.SetSpeed(0.01f);
  ReferenceTime due = clock_.GetTime() + 40 * kMs;
  std::atomic<int> result{-1};
  std::thread client([&] { result = clock_.WaitUntil(due, {}) ? 1 : 0; });
  clock_.Advance(0.02);
  clock_.Advance(0.02);
  client.join();
  EXPECT_EQ(result, 1);
  EXPECT_GE(clock_.GetTime(), due);
}

TEST_F(RecordingClockTest, TheTimingThreadWakesClientsWhenRealTimeReachesThem) {
  ReferenceTime now = clock_.GetTime();
  std::atomic<int> woken{0};
  std::thread early([&] { woken += clock_.WaitUntil(now + 10 * kMs, {}); });
  std::thread late([&] { woken += clock_.WaitUntil(now + 20 * kMs, {}); });
  // Real time moves in small steps until both are due.
  while (woken < 2) {
    ticks_.Advance(kMs);
    std::this_thread::yield();
  }
  early.join();
  late.join();
  EXPECT_GE(clock_.GetTime(), now + 20 * kMs);
}

TEST_F(RecordingClockTest, ACancelledWaitReturnsFalse) {
  clock_.SetSpeed(0);
  std::stop_source stop;
  std::atomic<int> result{-1};
  std::thread client([&] { result = clock_.WaitUntil(clock_.GetTime() + kMs, stop.get_token()); });
  stop.request_stop();
  client.join();
  EXPECT_EQ(result, 0);
  // A time already reached is reached at once, even with a cancelled token.
  EXPECT_TRUE(clock_.WaitUntil(0, stop.get_token()));
}

TEST(RecordingClockSteadyTest, FollowsRealTimeWithoutATickSource) {
  RecordingClock clock;
  ReferenceTime begin = clock.GetTime();
  EXPECT_TRUE(clock.WaitUntil(begin + 2 * kMs, {}));
  EXPECT_GE(clock.GetTime(), begin + 2 * kMs);
}

}  // namespace
}  // namespace ovc
