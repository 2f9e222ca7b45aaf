#include "ui/main/cpu_load.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

namespace ovc {
namespace {

// Hands out the given /proc/stat texts one per read.
CpuLoad::StatReader Samples(std::deque<std::string>* texts) {
  return [texts] {
    std::string text = texts->front();
    texts->pop_front();
    return text;
  };
}

TEST(CpuLoad, LoadBetweenTwoSamples) {
  // 400 jiffies pass, 200 of them idle or waiting for I/O.
  std::deque<std::string> texts{
      "cpu  1000 50 300 8000 100 10 10 0 0 0\n"
      "cpu0 500 25 150 4000 50 5 5 0 0 0\n"
      "intr 12345\n",
      "cpu  1150 50 340 8150 150 15 15 0 900 900\n"
      "cpu0 575 25 170 4075 75 7 8 0 0 0\n"};
  CpuLoad load(Samples(&texts));
  EXPECT_EQ(load.Sample(), 0);  // first sample
  // Guest time (last two fields) is already in user and nice.
  EXPECT_DOUBLE_EQ(load.Sample(), 100 - 50 + 0.5);
}

TEST(CpuLoad, OneBusyCoreOfFourIsAQuarter) {
  std::deque<std::string> texts{"cpu  0 0 0 0 0 0 0 0\n", "cpu  100 0 0 300 0 0 0 0\n"};
  CpuLoad load(Samples(&texts));
  load.Sample();
  EXPECT_DOUBLE_EQ(load.Sample(), 25.5);
}

TEST(CpuLoad, FailedReadGivesZeroAndKeepsThePreviousSample) {
  std::deque<std::string> texts{"cpu  0 0 0 0\n", "", "garbage\n", "cpu  x\n",
                                "cpu  300 0 100 400\n"};
  CpuLoad load(Samples(&texts));
  load.Sample();
  EXPECT_EQ(load.Sample(), 0);
  EXPECT_EQ(load.Sample(), 0);
  EXPECT_EQ(load.Sample(), 0);
  // Four fields (an old kernel) are enough; measured from the first sample.
  EXPECT_DOUBLE_EQ(load.Sample(), 100 - 50 + 0.5);
}

TEST(CpuLoad, RealProcStatGivesAPercentage) {
  CpuLoad load;
  EXPECT_EQ(load.Sample(), 0);
  const double second = load.Sample();
  EXPECT_GE(second, 0);
  EXPECT_LE(second, 100.5);
}

}  // namespace
}  // namespace ovc
